// msaa_client.exe [press NAME | watch SECONDS | bad | burst N NAME]
//
// Reads the client area of the window titled "Laser Diagnostic Tool" as a
// screen reader does, from another process (AccessibleObjectFromWindow),
// and prints one line for the client object and one per child, UTF-8,
// fields separated by tabs:
//   client  ROLE  CHILDREN
//   ID  ROLE  STATE  NAME  VALUE  LEFT TOP WIDTH HEIGHT  DEFAULT-ACTION
// ROLE and STATE are the numbers MSAA defines; VALUE is "-" when the child
// has none. With "press NAME", afterwards runs the default action of the
// child called NAME. With "watch SECONDS", instead prints "watching" once
// it listens, then for SECONDS one line per event the window raises:
//   event  EVENT  OBJECT  CHILD   (EVENT in hex, as MSAA numbers them)
// With "bad", instead calls every method taking a child with each bad
// child VARIANT and prints one line per call: METHOD  CASE  HRESULT (hex).
// With "burst N NAME", instead runs the default action of the child called
// NAME N times in a row and prints "burst MILLISECONDS FAILURES".
// Exits 0 on success, 1 when the window or its object is missing or the
// press failed, 2 on bad arguments.

#include <windows.h>
#include <oleacc.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(BSTR text) {
    if (!text) return "";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    SysFreeString(text);
    return out;
}

VARIANT Child(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    std::printf("event\t%lx\t%ld\t%ld\n", event, object, child);
    std::fflush(stdout);
}

int Watch(HWND window, int seconds) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, process, 0,
                                         WINEVENT_OUTOFCONTEXT);
    if (!hook) return 1;
    std::printf("watching\n");
    std::fflush(stdout);
    const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    for (DWORD now = GetTickCount(); now < end; now = GetTickCount()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    UnhookWinEvent(hook);
    return 0;
}

// Every IAccessible method that takes a child, called with `child`.
void CallsWithBadChildren(IAccessible* client) {
    struct Case {
        const char* name;
        VARIANT child;
    };
    Case cases[] = {{"id -1", Child(-1)},           {"id 22", Child(22)},   {"id 1000000", Child(1000000)},
                    {"id INT_MIN", Child(LONG_MIN)}, {"id INT_MAX", Child(LONG_MAX)},
                    {"VT_EMPTY", {}},                {"VT_BSTR", {}},       {"VT_I2", Child(1)}};
    VariantInit(&cases[5].child);
    cases[6].child.vt = VT_BSTR;
    cases[6].child.bstrVal = SysAllocString(L"1");
    cases[7].child.vt = VT_I2;
    for (Case& c : cases) {
        BSTR text = nullptr;
        VARIANT out;
        IDispatch* dispatch = nullptr;
        long a = 0, b = 0, w = 0, h = 0;
        const struct {
            const char* method;
            HRESULT result;
        } calls[] = {
            {"get_accChild", client->get_accChild(c.child, &dispatch)},
            {"get_accName", client->get_accName(c.child, &text)},
            {"get_accValue", client->get_accValue(c.child, &text)},
            {"get_accDescription", client->get_accDescription(c.child, &text)},
            {"get_accRole", client->get_accRole(c.child, &out)},
            {"get_accState", client->get_accState(c.child, &out)},
            {"get_accHelp", client->get_accHelp(c.child, &text)},
            {"get_accHelpTopic", client->get_accHelpTopic(&text, c.child, &a)},
            {"get_accKeyboardShortcut", client->get_accKeyboardShortcut(c.child, &text)},
            {"get_accDefaultAction", client->get_accDefaultAction(c.child, &text)},
            {"accSelect", client->accSelect(SELFLAG_TAKEFOCUS, c.child)},
            {"accLocation", client->accLocation(&a, &b, &w, &h, c.child)},
            {"accNavigate", client->accNavigate(NAVDIR_NEXT, c.child, &out)},
            {"accDoDefaultAction", client->accDoDefaultAction(c.child)},
        };
        for (const auto& call : calls) std::printf("%s\t%s\t%lx\n", call.method, c.name, static_cast<unsigned long>(call.result));
    }
    SysFreeString(cases[6].child.bstrVal);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool press = argc == 3 && std::wcscmp(argv[1], L"press") == 0;
    const bool watch = argc == 3 && std::wcscmp(argv[1], L"watch") == 0;
    const bool bad = argc == 2 && std::wcscmp(argv[1], L"bad") == 0;
    const bool burst = argc == 4 && std::wcscmp(argv[1], L"burst") == 0;
    if (argc != 1 && !press && !watch && !bad && !burst) {
        std::fprintf(stderr, "usage: msaa_client [press NAME | watch SECONDS | bad | burst N NAME]\n");
        return 2;
    }
    CoInitialize(nullptr);
    const HWND window = FindWindowW(nullptr, L"Laser Diagnostic Tool");
    if (watch) return window ? Watch(window, std::wcstol(argv[2], nullptr, 10)) : 1;
    IAccessible* client = nullptr;
    if (!window || FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible,
                                                     reinterpret_cast<void**>(&client)))) {
        std::fprintf(stderr, "msaa_client: no window or no client object\n");
        return 1;
    }
    if (bad) {
        CallsWithBadChildren(client);
        client->Release();
        return 0;
    }
    VARIANT role;
    VariantInit(&role);
    long count = 0;
    client->get_accRole(Child(CHILDID_SELF), &role);
    client->get_accChildCount(&count);
    std::printf("client\t%ld\t%ld\n", role.vt == VT_I4 ? role.lVal : -1L, count);
    long pressed = 0;
    for (long id = 1; id <= count; ++id) {
        BSTR name = nullptr, value = nullptr, action = nullptr, description = nullptr;
        VARIANT r, state;
        VariantInit(&r);
        VariantInit(&state);
        long x = 0, y = 0, w = 0, h = 0;
        client->get_accName(Child(id), &name);
        const HRESULT hasValue = client->get_accValue(Child(id), &value);
        client->get_accRole(Child(id), &r);
        client->get_accState(Child(id), &state);
        client->accLocation(&x, &y, &w, &h, Child(id));
        client->get_accDefaultAction(Child(id), &action);
        const HRESULT hasDescription = client->get_accDescription(Child(id), &description);
        const std::string n = Utf8(name);
        std::printf("%ld\t%ld\t%ld\t%s\t%s\t%ld %ld %ld %ld\t%s\t%s\n", id, r.lVal, state.lVal, n.c_str(),
                    hasValue == S_OK ? Utf8(value).c_str() : "-", x, y, w, h, Utf8(action).c_str(),
                    hasDescription == S_OK ? Utf8(description).c_str() : "");
        if ((press || burst) && !pressed) {
            std::wstring wide(n.size() + 1, L'\0');
            wide.resize(MultiByteToWideChar(CP_UTF8, 0, n.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1);
            if (wide == argv[burst ? 3 : 2]) pressed = id;
        }
    }
    std::fflush(stdout);
    int status = 0;
    if (press) status = pressed && SUCCEEDED(client->accDoDefaultAction(Child(pressed))) ? 0 : 1;
    if (burst) {
        const long times = std::wcstol(argv[2], nullptr, 10);
        const DWORD start = GetTickCount();
        long failures = 0;
        for (long i = 0; i < times; ++i) failures += FAILED(client->accDoDefaultAction(Child(pressed)));
        std::printf("burst\t%lu\t%ld\n", GetTickCount() - start, failures);
        status = pressed ? 0 : 1;
    }
    client->Release();
    CoUninitialize();
    return status;
}
