#include "platform/win32/gui/Dialog.h"

#include "platform/win32/gui/WinApp.h"

#include <utility>

namespace ldt::gui {

namespace {

// Messages whose result a dialog procedure returns directly (among them the
// WM_CTLCOLOR* range); for all others the result goes through
// DWLP_MSGRESULT and the procedure returns TRUE.
bool ResultIsReturnValue(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
           message == WM_INITDIALOG;
}

// The innermost modal dialog of this thread, and the thread's message
// filter hook while any runs.
thread_local Dialog* t_innermostModal = nullptr;
thread_local HHOOK t_messageFilter = nullptr;
bool g_refuseMessageFilter = false;

// The window property holding a child's own procedure while ChildKeyProc
// stands in front of it.
constexpr wchar_t kChildProcProperty[] = L"ldt.gui.childproc";

}  // namespace

const MessageEntry Dialog::kBaseEntries[2] = {
    MapCommand<IDOK, &Dialog::OnOK>(),
    MapCommand<IDCANCEL, &Dialog::OnCancel>(),
};
const MessageMap Dialog::kBaseMessageMap = MakeMessageMap(nullptr, kBaseEntries);

Dialog::Dialog(UINT templateId) : templateId_(templateId) {}

Dialog::~Dialog() {
    // Only reached with a live window if the modal loop was left abnormally:
    // make sure no later message reaches this object.
    if (hwnd_) SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
}

INT_PTR Dialog::DoModal() {
    // For the length of the loop the dialog is the thread's innermost modal
    // one, and the message filter is installed (once, by the outermost).
    // Should the system refuse the filter, the dialog procedure takes the
    // keys instead (KeyWithoutFilter).
    outerModal_ = t_innermostModal;
    t_innermostModal = this;
    if (!t_messageFilter && !g_refuseMessageFilter)
        t_messageFilter = SetWindowsHookExW(WH_MSGFILTER, &Dialog::MessageFilter, nullptr, GetCurrentThreadId());
    const INT_PTR result = DialogBoxParamW(ResourceHandle(), MAKEINTRESOURCEW(templateId_), nullptr,
                                           &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!outerModal_ && t_messageFilter) UnhookWindowsHookEx(std::exchange(t_messageFilter, nullptr));
    t_innermostModal = std::exchange(outerModal_, nullptr);
    return result;
}

BOOL Dialog::OnInitDialog() { return TRUE; }

void Dialog::OnOK() { EndDialog(IDOK); }

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd_) ::EndDialog(hwnd_, result);
}

bool Dialog::PreTranslateMessage(const MSG&) { return false; }

void Dialog::RefuseMessageFilterForTesting(bool refuse) { g_refuseMessageFilter = refuse; }

bool Dialog::KeyWithoutFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (t_messageFilter || (message != WM_KEYDOWN && message != WM_SYSKEYDOWN)) return false;
    const HWND owner = GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD ? GetParent(hwnd) : hwnd;
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(owner, DWLP_USER));
    if (!self) return false;
    return self->PreTranslateMessage({hwnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}});
}

LRESULT CALLBACK Dialog::ChildKeyProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto own = reinterpret_cast<WNDPROC>(GetPropW(child, kChildProcProperty));
    if (!own) return DefWindowProcW(child, message, wParam, lParam);
    if (KeyWithoutFilter(child, message, wParam, lParam)) return 0;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
        RemovePropW(child, kChildProcProperty);
    }
    return CallWindowProcW(own, child, message, wParam, lParam);
}

LRESULT CALLBACK Dialog::MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    // The system's dialog loop (IsDialogMessage) asks the filter first with
    // MSGF_DIALOGBOX; so do message boxes, whose windows are no dialog's
    // children here.
    if (code == MSGF_DIALOGBOX && lParam) {
        const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
        for (Dialog* dialog = t_innermostModal; dialog && msg.hwnd; dialog = dialog->outerModal_) {
            if (dialog->hwnd_ && (msg.hwnd == dialog->hwnd_ || IsChild(dialog->hwnd_, msg.hwnd))) {
                if (dialog->PreTranslateMessage(msg)) return TRUE;
                break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Dialog::WindowProc(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

const MessageMap& Dialog::GetMessageMap() const { return kBaseMessageMap; }

LRESULT Dialog::Default() {
    if (!current_ || !hwnd_) return 0;
    // DefDlgProcW first asks the dialog procedure; that call is answered
    // "not handled" so that the dialog manager's own processing runs.
    const Message* outer = bypass_;
    bypass_ = current_;
    const LRESULT result = DefDlgProcW(hwnd_, current_->message, current_->wParam, current_->lParam);
    bypass_ = outer;
    return result;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!self) return FALSE;
    }

    if (const Message* pass = self->bypass_;
        pass && pass->message == message && pass->wParam == wParam && pass->lParam == lParam) {
        self->bypass_ = nullptr;
        return FALSE;
    }

    const Message msg = {message, wParam, lParam};
    const Message* outer = self->current_;
    self->current_ = &msg;

    LRESULT result = 0;
    bool handled = KeyWithoutFilter(hwnd, message, wParam, lParam) || self->WindowProc(message, wParam, lParam, result);
    if (!handled && message == WM_INITDIALOG) {
        result = self->OnInitDialog();
        handled = true;
        if (!t_messageFilter) {
            for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                const LONG_PTR own = GetWindowLongPtrW(child, GWLP_WNDPROC);
                if (own && SetPropW(child, kChildProcProperty, reinterpret_cast<HANDLE>(own)))
                    SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Dialog::ChildKeyProc));
            }
        }
    }
    // The message map walk: the first entry that takes the message ends it.
    for (const MessageMap* map = &self->GetMessageMap(); map && !handled; map = map->base)
        for (std::size_t i = 0; i < map->count && !handled; ++i)
            handled = map->entries[i].message == message && map->entries[i].thunk(*self, wParam, lParam, result);

    self->current_ = outer;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }

    if (!handled) return FALSE;
    if (ResultIsReturnValue(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace ldt::gui
