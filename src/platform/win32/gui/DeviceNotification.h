#pragma once
// Registration of a window for the device-interface arrival and removal
// messages (WM_DEVICECHANGE).

#include "platform/win32/Win32Handle.h"

#include <windows.h>

#include <dbt.h>

namespace ldt::gui {

// Registers `window` for the arrival and removal of interfaces of
// `interfaceClass`; the owner is empty when the system did not take it.
inline win32::UniqueDeviceNotification NotifyInterfaceChanges(HWND window, const GUID& interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    return win32::UniqueDeviceNotification(
        RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

// Whether a WM_DEVICECHANGE tells of a device interface that arrived or
// left: the arrival and removal events, with a device-interface broadcast.
inline bool IsInterfaceArrivalOrRemoval(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    return header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

}  // namespace ldt::gui
