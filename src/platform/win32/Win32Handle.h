#pragma once
// The owners of Windows resources, and the glue between the seams' types
// (WString, Guid) and the platform's (wide strings, GUID).

#include "platform/UniqueResource.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"

#include <windows.h>

#include <string>

namespace ldt::win32 {

// The function `name` of system library `dll` cast to `Fn`, or null where
// it cannot be had. Loaded: only if someone already loaded the library.
// LateLoad: the library is loaded by this call if need be (and kept to the
// end), for libraries that only some uses need, so that starting the
// program does not load them; and for functions newer systems only have.
template <class Fn>
Fn ProcIn(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}
template <class Fn>
Fn Loaded(const wchar_t* dll, const char* name) { return ProcIn<Fn>(GetModuleHandleW(dll), name); }
template <class Fn>
Fn LateLoad(const wchar_t* dll, const char* name) { return ProcIn<Fn>(LoadLibraryW(dll), name); }

// Each owner frees its resource exactly once (platform/UniqueResource.h).

// A kernel handle (file, device, event), closed with CloseHandle. Both null
// and INVALID_HANDLE_VALUE mean "none".
struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Free(HANDLE h) { return CloseHandle(h) != 0; }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// An owner whose handle is null for "none", freed by `free`, which says
// whether the system did so.
template <class H, auto free>
struct NullableTraits {
    using Handle = H;
    static H Invalid() { return nullptr; }
    static bool Valid(H h) { return h != nullptr; }
    static bool Free(H h) { return free(h); }
};
inline bool DeleteGdiObject(HGDIOBJ h) { return DeleteObject(h) != 0; }
inline bool Unregister(HDEVNOTIFY h) { return UnregisterDeviceNotification(h) != 0; }
inline bool FreeGlobal(HGLOBAL h) { return GlobalFree(h) == nullptr; }

// A GDI object (bitmap, font, region, ...), deleted with DeleteObject.
template <class Object>
using GdiObject = UniqueResource<NullableTraits<Object, &DeleteGdiObject>>;
// A registration for device notifications, ended with UnregisterDeviceNotification.
using UniqueDeviceNotification = UniqueResource<NullableTraits<HDEVNOTIFY, &Unregister>>;
// A global memory block, freed with GlobalFree unless the system took it.
using UniqueGlobal = UniqueResource<NullableTraits<HGLOBAL, &FreeGlobal>>;

// The seams' interface class as the system's GUID.
inline GUID ToWinGuid(const Guid& g) {
    const std::uint8_t* d = g.data4;
    return {g.data1, g.data2, g.data3, {d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]}};
}

// wchar_t is 16-bit on Windows: conversions copy code units.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

inline std::wstring ToWin(const WString& text) { return std::wstring(text.begin(), text.end()); }
inline WString FromWin(const wchar_t* text, std::size_t length) { return WString(text, text + length); }
inline WString FromWin(const std::wstring& text) { return WString(text.begin(), text.end()); }

// The system's description of error `code` (FormatMessageW), without the
// trailing line break; "Error N." when the system has none.
WString SystemErrorText(DWORD code);

}  // namespace ldt::win32
