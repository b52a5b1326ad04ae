#include "app/win32/WindowAccessible.h"

#include "platform/win32/Win32Handle.h"
#include "ui/Scale.h"

#include <utility>

namespace ldt {

namespace {

// The text as a new BSTR in *out; E_OUTOFMEMORY (and null) when none
// could be made. The string library (whose allocator the caller frees
// with) loads with the first string a screen reader asks for, not at every
// start.
HRESULT Bstr(const WString& text, BSTR* out) {
    static const auto allocate =
        win32::LateLoad<BSTR(WINAPI*)(const OLECHAR*, UINT)>(L"oleaut32.dll", "SysAllocStringLen");
    *out = allocate ? allocate(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))
                    : nullptr;
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChild(VARIANT* v, long id) {
    v->vt = VT_I4;
    v->lVal = id;
}

}  // namespace

WindowAccessible::WindowAccessible(HWND window, Source& source) : window_(window), source_(&source) {
    CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard_));
}

WindowAccessible::~WindowAccessible() {
    if (standard_) standard_->Release();
}

void WindowAccessible::Disconnect() {
    source_ = nullptr;
    if (standard_) std::exchange(standard_, nullptr)->Release();
}

HRESULT WindowAccessible::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    // IDispatch's id written here: the uuid library's copy comes in an
    // object that brings some hundred other ids with it.
    static constexpr IID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    if (riid == IID_IUnknown || riid == kIDispatch || riid == IID_IAccessible) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG WindowAccessible::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG WindowAccessible::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT WindowAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT WindowAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT WindowAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT WindowAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

template <class Fn>
HRESULT WindowAccessible::WithChild(const VARIANT& child, Fn fn) const {
    if (!source_) return RPC_E_DISCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return fn(nullptr);
    const std::vector<AccessibleItem> items = source_->Items();
    if (child.lVal < 1 || static_cast<std::size_t>(child.lVal) > items.size()) return E_INVALIDARG;
    return fn(&items[static_cast<std::size_t>(child.lVal) - 1]);
}

template <class Out, class Fn>
HRESULT WindowAccessible::WithChild(const VARIANT& child, Out* out, Fn fn) const {
    const HRESULT start = Start(out);
    return start != S_OK ? start : WithChild(child, fn);
}

HRESULT WindowAccessible::get_accParent(IDispatch** parent) {
    const HRESULT start = Start(parent);
    return start != S_OK ? start : standard_ ? standard_->get_accParent(parent) : S_FALSE;
}

HRESULT WindowAccessible::get_accChildCount(long* count) {
    if (!count) return E_POINTER;
    if (!source_) return RPC_E_DISCONNECTED;
    *count = static_cast<long>(source_->Items().size());
    return S_OK;
}

HRESULT WindowAccessible::get_accChild(VARIANT child, IDispatch** object) {
    // The children are simple elements.
    return WithChild(child, object, [](const AccessibleItem* item) { return item ? S_FALSE : E_INVALIDARG; });
}

HRESULT WindowAccessible::get_accName(VARIANT child, BSTR* name) {
    return WithChild(child, name, [&](const AccessibleItem* item) {
        if (!item) return standard_ ? standard_->get_accName(child, name) : S_FALSE;
        return Bstr(item->name, name);
    });
}

HRESULT WindowAccessible::get_accValue(VARIANT child, BSTR* value) {
    return WithChild(child, value, [&](const AccessibleItem* item) {
        if (!item || item->role != AccessibleRole::StaticText) return DISP_E_MEMBERNOTFOUND;
        return Bstr(item->value, value);
    });
}

HRESULT WindowAccessible::get_accDescription(VARIANT child, BSTR* description) {
    return WithChild(child, description, [&](const AccessibleItem* item) {
        if (!item || item->description.empty()) return S_FALSE;
        return Bstr(item->description, description);
    });
}

HRESULT WindowAccessible::get_accRole(VARIANT child, VARIANT* role) {
    return WithChild(child, role, [&](const AccessibleItem* item) {
        SetChild(role, !item                                       ? ROLE_SYSTEM_CLIENT
                       : item->role == AccessibleRole::PushButton ? ROLE_SYSTEM_PUSHBUTTON
                                                                  : ROLE_SYSTEM_STATICTEXT);
        return S_OK;
    });
}

HRESULT WindowAccessible::get_accState(VARIANT child, VARIANT* state) {
    return WithChild(child, state, [&](const AccessibleItem* item) {
        if (!item) return standard_ ? standard_->get_accState(child, state) : S_FALSE;
        long bits = STATE_SYSTEM_READONLY;
        if (item->role == AccessibleRole::PushButton) {
            bits = STATE_SYSTEM_FOCUSABLE;
            if (item->button == source_->Focused() && GetForegroundWindow() == window_) bits |= STATE_SYSTEM_FOCUSED;
        }
        SetChild(state, bits);
        return S_OK;
    });
}

HRESULT WindowAccessible::get_accHelp(VARIANT child, BSTR* help) {
    return WithChild(child, help, [](const AccessibleItem*) { return S_FALSE; });
}

HRESULT WindowAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return WithChild(child, [](const AccessibleItem*) { return S_FALSE; });
}

HRESULT WindowAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    return WithChild(child, shortcut, [](const AccessibleItem*) { return S_FALSE; });
}

HRESULT WindowAccessible::get_accFocus(VARIANT* child) {
    if (const HRESULT start = Start(child); start != S_OK) return start;
    if (GetForegroundWindow() != window_) return S_FALSE;
    const std::vector<AccessibleItem> items = source_->Items();
    const std::size_t at = IndexOfButton(items, source_->Focused());
    SetChild(child, at < items.size() ? static_cast<long>(at) + 1 : CHILDID_SELF);
    return S_OK;
}

HRESULT WindowAccessible::get_accSelection(VARIANT* children) {
    const HRESULT start = Start(children);
    return start == S_OK ? S_FALSE : start;
}

HRESULT WindowAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    return WithChild(child, action, [&](const AccessibleItem* item) {
        if (!item || item->role != AccessibleRole::PushButton) return DISP_E_MEMBERNOTFOUND;
        return Bstr(u"Press", action);
    });
}

HRESULT WindowAccessible::accSelect(long, VARIANT child) {
    return WithChild(child, [](const AccessibleItem*) { return DISP_E_MEMBERNOTFOUND; });
}

HRESULT WindowAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    return WithChild(child, [&](const AccessibleItem* item) {
        if (!item) return standard_ ? standard_->accLocation(left, top, width, height, child) : S_FALSE;
        const Rect r = ScaleRect(item->rect, source_->Dpi());
        POINT origin = {r.left, r.top};
        ClientToScreen(window_, &origin);
        *left = origin.x;
        *top = origin.y;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    });
}

HRESULT WindowAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    return WithChild(start, end, [&](const AccessibleItem* item) {
        const long count = static_cast<long>(source_->Items().size());
        long to = 0;
        if (!item) {
            if (direction == NAVDIR_FIRSTCHILD) to = 1;
            else if (direction == NAVDIR_LASTCHILD) to = count;
            else return standard_ ? standard_->accNavigate(direction, start, end) : S_FALSE;
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
            to = start.lVal + 1;
        } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
            to = start.lVal - 1;
        }
        if (to < 1 || to > count) return S_FALSE;
        SetChild(end, to);
        return S_OK;
    });
}

HRESULT WindowAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (const HRESULT start = Start(child); start != S_OK) return start;
    POINT p = {x, y};
    ScreenToClient(window_, &p);
    RECT client{};
    GetClientRect(window_, &client);
    if (!PtInRect(&client, p)) return S_FALSE;
    const std::vector<AccessibleItem> items = source_->Items();
    const int dpi = source_->Dpi();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (ScaleRect(items[i].rect, dpi).Contains(p.x, p.y)) {
            SetChild(child, static_cast<long>(i) + 1);
            return S_OK;
        }
    }
    SetChild(child, CHILDID_SELF);
    return S_OK;
}

HRESULT WindowAccessible::accDoDefaultAction(VARIANT child) {
    return WithChild(child, [this](const AccessibleItem* item) {
        if (!item || item->role != AccessibleRole::PushButton) return DISP_E_MEMBERNOTFOUND;
        source_->Press(item->button);
        return S_OK;
    });
}

HRESULT WindowAccessible::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
HRESULT WindowAccessible::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

}  // namespace ldt
