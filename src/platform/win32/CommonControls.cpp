#include "platform/win32/CommonControls.h"

namespace ldt::win32 {

CommonControlsScope::CommonControlsScope() {
    // Made once and kept for the process's life.
    static const HANDLE context = [] {
        ACTCTXW request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.hModule = GetModuleHandleW(nullptr);
        request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
        return CreateActCtxW(&request);
    }();
    active_ = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_);
}

CommonControlsScope::~CommonControlsScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

}  // namespace ldt::win32
