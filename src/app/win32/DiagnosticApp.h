#pragma once
// The application object: runs the diagnostic dialog once and ends.

#include "platform/win32/gui/WinApp.h"

namespace ldt {

class DiagnosticApp final : public gui::WinApp {
public:
    BOOL InitInstance() override;
};

}  // namespace ldt
