#pragma once
// A modal dialog over a dialog template.
//
// Every message after WM_INITDIALOG goes first to WindowProc, then down the
// dialog's message map: a static table of (message, typed handler) entries,
// the most derived class's table first, then its base's, each in order.
// The first entry that takes the message handles it. A message nobody takes
// gets the dialog manager's default processing. A handler may run that
// default processing itself, at the point it chooses, with Default().

#include <windows.h>
#include <windowsx.h>

#include <cstddef>

namespace ldt::gui {

class Dialog;

// Runs one message for `self`. Returns false when the entry declines it;
// the walk then goes on to the next entry.
using MessageThunk = bool (*)(Dialog& self, WPARAM wParam, LPARAM lParam, LRESULT& result);

struct MessageEntry {
    UINT message;
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base;  // walked after this one; null ends the walk
    const MessageEntry* entries;
    std::size_t count;
};

template <std::size_t N>
constexpr MessageMap MakeMessageMap(const MessageMap* base, const MessageEntry (&entries)[N]) {
    return {base, entries, N};
}

class Dialog {
public:
    // A top-level window.
    explicit Dialog(UINT templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog from its template in the application's resources
    // and runs it modally. Returns the value given to EndDialog, or -1 when
    // the dialog could not be created.
    INT_PTR DoModal();

    // The dialog window while it exists, else null.
    HWND Handle() const { return hwnd_; }

    // For tests: makes installing the message filter fail, as the system
    // may refuse it.
    static void RefuseMessageFilterForTesting(bool refuse);

protected:
    // WM_INITDIALOG. TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // IDOK and IDCANCEL commands: end the dialog with that id.
    virtual void OnOK();
    virtual void OnCancel();

    // Ends the modal loop once the current message has been handled.
    void EndDialog(INT_PTR result);

    // Sees each message the modal loop takes for this dialog or one of its
    // child windows, before the dialog manager does. Returns true when it
    // handled the message, which then goes no further (not translated into
    // characters, not dispatched). Should the thread's message filter not
    // install, it still sees the key presses (WM_KEYDOWN, WM_SYSKEYDOWN),
    // as they are dispatched, after the dialog manager's navigation keys.
    virtual bool PreTranslateMessage(const MSG& message);

    // Sees every message before the message map. Returns true when it
    // handled the message, with `result` as the message's result.
    virtual bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Runs the default processing of the message being handled, now, and
    // returns its result: the dialog manager's handling of dialog messages,
    // and DefWindowProcW for the rest. The message is then not processed by
    // default a second time. Outside a handler it does nothing.
    LRESULT Default();

    virtual const MessageMap& GetMessageMap() const;

    // The table every dialog inherits: WM_COMMAND IDOK -> OnOK,
    // IDCANCEL -> OnCancel.
    static const MessageMap kBaseMessageMap;

private:
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    static const MessageEntry kBaseEntries[2];

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The thread's message filter while a modal loop of this framework
    // runs: hands the dialog's own messages to PreTranslateMessage.
    static LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam);
    // Without the filter: key presses reach PreTranslateMessage from the
    // dialog's procedure and, through this procedure, from its children.
    static LRESULT CALLBACK ChildKeyProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam);
    static bool KeyWithoutFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND hwnd_ = nullptr;
    const Message* current_ = nullptr;  // the message a handler is running for
    const Message* bypass_ = nullptr;   // handed back unhandled to Default()'s call
    Dialog* outerModal_ = nullptr;      // the modal dialog this one's loop runs inside
};

namespace detail {

template <class F>
struct HandlerTraits;
template <class C, class R, class... A>
struct HandlerTraits<R (C::*)(A...)> {
    using Class = C;
};

template <auto Handler>
typename HandlerTraits<decltype(Handler)>::Class& Self(Dialog& self) {
    return static_cast<typename HandlerTraits<decltype(Handler)>::Class&>(self);
}

}  // namespace detail

// Map entries, one per handler signature.

// WM_QUERYDRAGICON: HCURSOR OnQueryDragIcon()
template <auto Handler>
constexpr MessageEntry MapQueryDragIcon() {
    return {WM_QUERYDRAGICON, [](Dialog& self, WPARAM, LPARAM, LRESULT& result) {
                result = reinterpret_cast<LRESULT>((detail::Self<Handler>(self).*Handler)());
                return true;
            }};
}

// Mouse messages: void OnXxx(UINT flags, POINT clientPoint)
template <UINT Message, auto Handler>
constexpr MessageEntry MapMouse() {
    return {Message, [](Dialog& self, WPARAM wParam, LPARAM lParam, LRESULT& result) {
                (detail::Self<Handler>(self).*Handler)(static_cast<UINT>(wParam),
                                                   POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                result = 0;
                return true;
            }};
}

// WM_SETCURSOR: BOOL OnSetCursor(HWND window, UINT hitTest, UINT message)
template <auto Handler>
constexpr MessageEntry MapSetCursor() {
    return {WM_SETCURSOR, [](Dialog& self, WPARAM wParam, LPARAM lParam, LRESULT& result) {
                result = (detail::Self<Handler>(self).*Handler)(reinterpret_cast<HWND>(wParam), LOWORD(lParam),
                                                                HIWORD(lParam));
                return true;
            }};
}

// WM_COMMAND with one id: void OnXxx()
template <UINT Id, auto Handler>
constexpr MessageEntry MapCommand() {
    return {WM_COMMAND, [](Dialog& self, WPARAM wParam, LPARAM lParam, LRESULT& result) {
                if (LOWORD(wParam) != Id) return false;
                // A command from a disabled control (Escape with a disabled
                // Cancel button) is dropped: a disabled button must not act.
                const HWND control = reinterpret_cast<HWND>(lParam);
                if (!control || IsWindowEnabled(control)) (detail::Self<Handler>(self).*Handler)();
                result = 0;
                return true;
            }};
}

// Any message, raw: LRESULT OnXxx(WPARAM, LPARAM)
template <UINT Message, auto Handler>
constexpr MessageEntry MapMessage() {
    return {Message, [](Dialog& self, WPARAM wParam, LPARAM lParam, LRESULT& result) {
                result = (detail::Self<Handler>(self).*Handler)(wParam, lParam);
                return true;
            }};
}

}  // namespace ldt::gui
