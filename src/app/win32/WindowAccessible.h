#pragma once
// The diagnostic window's client area for screen readers (MSAA): an
// IAccessible whose children are the items of the core's description of
// the window, as simple elements (child id = position + 1).

#include <windows.h>
#include <oleacc.h>

#include "ui/AccessibleModel.h"

#include <vector>

namespace ldt {

class WindowAccessible final : public IAccessible {
public:
    // The window's side: what is shown, at which DPI, and what a default
    // action does.
    class Source {
    public:
        virtual std::vector<AccessibleItem> Items() const = 0;
        virtual int Dpi() const = 0;
        virtual HotButton Focused() const = 0;
        // Must not block: a client waits for the call to return.
        virtual void Press(HotButton button) = 0;

    protected:
        ~Source() = default;
    };

    // With one reference, the caller's.
    WindowAccessible(HWND window, Source& source);
    // From now on every call fails as disconnected (the window is gone;
    // clients may still hold the object).
    void Disconnect();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: not offered (clients use the vtable).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

private:
    ~WindowAccessible();
    // The one guard of every method taking a child id: RPC_E_DISCONNECTED
    // once the window is gone, E_INVALIDARG for a VARIANT other than VT_I4
    // or an id naming nothing; otherwise what fn(item) returns, item null
    // for the client itself.
    template <class Fn>
    HRESULT WithChild(const VARIANT& child, Fn fn) const;
    // The same after clearing *out (E_POINTER when it is null).
    template <class Out, class Fn>
    HRESULT WithChild(const VARIANT& child, Out* out, Fn fn) const;
    // Clears *out (E_POINTER when it is null); RPC_E_DISCONNECTED once the
    // window is gone; else S_OK.
    template <class Out>
    HRESULT Start(Out* out) const {
        if (!out) return E_POINTER;
        *out = Out{};
        return source_ ? S_OK : RPC_E_DISCONNECTED;
    }

    LONG refs_ = 1;
    HWND window_;
    Source* source_;
    IAccessible* standard_ = nullptr;  // the system's client object, for the client itself
};

}  // namespace ldt
