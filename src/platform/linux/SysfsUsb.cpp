#include "platform/linux/SysfsUsb.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <dlfcn.h>
#include <libkmod.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace ldt {

namespace {

// A regular file opened for reading, or an invalid descriptor. Opened
// non-blocking, so that a FIFO planted in a tree cannot hold the caller.
UniqueFd OpenRegular(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st;
    if (fd.Valid() && (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.Reset();
    return fd;
}

WString Attribute(const std::string& dir, const char* name) { return Utf8ToUtf16(ReadSmallFile(dir + "/" + name)); }

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string JoinWords(const std::string& text) {
    std::string joined;
    for (const std::string& w : Words(text)) joined += (joined.empty() ? "" : " ") + w;
    return joined;
}

// Module names as modprobe compares them: '-' and '_' are the same.
bool IsUsblp(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name == "usblp";
}

// The command of a modprobe configuration line keeps usblp out.
bool BlocksUsblp(const std::string& command) {
    const auto words = Words(command);
    if (words.size() < 2 || !IsUsblp(words[1])) return false;
    if (words[0] == "blacklist") return true;
    // An install command that names usblp again may load it after all.
    return words[0] == "install" && words.size() > 2 &&
           std::none_of(words.begin() + 2, words.end(),
                        [](const std::string& w) { return w.find("usblp") != std::string::npos; });
}

// Why an interface bound to no driver has no node, and what to do.
std::pair<WString, WString> UnboundCause(const UsbSystemRoots& roots) {
    switch (ProbeUsblpModule(roots)) {
    case UsblpModule::Present:
        return {kInterfaceUnboundCause, kInterfaceTakenRemedy};
    case UsblpModule::Missing:
        return {kUsblpMissingCause, kUsblpMissingRemedy};
    case UsblpModule::NotLoaded:
        break;
    }
    if (const auto block = FindUsblpBlock(roots)) return {FillTemplate(kUsblpBlockedCause, {Utf8ToUtf16(*block)}), kUsblpBlockedRemedy};
    return {kUsblpNotLoadedCause, kUsblpNotLoadedRemedy};
}

// The libkmod functions used here. The library is loaded the first time a
// cause is looked for, not at every start: with it come libcrypto and the
// compression libraries (about 1.7 MB resident), which a program that finds
// its machine never needs.
#define LDT_KMOD_FUNCTIONS(X)                                                                                       \
    X(kmod_new) X(kmod_set_log_priority) X(kmod_unref) X(kmod_config_get_blacklists)                               \
    X(kmod_config_get_install_commands) X(kmod_config_iter_next) X(kmod_config_iter_get_key)                       \
    X(kmod_config_iter_get_value) X(kmod_config_iter_free_iter) X(kmod_module_new_from_lookup) X(kmod_list_next) \
    X(kmod_module_get_module) X(kmod_module_get_initstate) X(kmod_module_get_path) X(kmod_module_unref)            \
    X(kmod_module_unref_list)

struct KmodApi {
#define LDT_KMOD_MEMBER(name) decltype(&::name) name = nullptr;
    LDT_KMOD_FUNCTIONS(LDT_KMOD_MEMBER)
#undef LDT_KMOD_MEMBER
};

// Null when the library or any of its functions cannot be had.
const KmodApi* Libkmod() {
    static const KmodApi* const api = []() -> const KmodApi* {
        void* library = ::dlopen("libkmod.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static KmodApi loaded;
        bool complete = true;
#define LDT_KMOD_BIND(name)                                                           \
    loaded.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
    complete = complete && loaded.name;
        LDT_KMOD_FUNCTIONS(LDT_KMOD_BIND)
#undef LDT_KMOD_BIND
        return complete ? &loaded : nullptr;
    }();
    return api;
}

// A libkmod context over the module folder and modprobe configuration of
// `roots`; libkmod adds the kernel command line's modprobe.blacklist= and
// <module>.<option>= entries itself. Without libkmod, no context.
class Kmod {
public:
    explicit Kmod(const UsbSystemRoots& roots) : api_(Libkmod()) {
        if (!api_) return;
        std::vector<const char*> paths;
        for (const std::string& dir : roots.modprobeDirs) paths.push_back(dir.c_str());
        paths.push_back(nullptr);
        std::string modules = roots.modules;
        struct utsname u;
        if (modules.empty() && ::uname(&u) == 0) modules = std::string("/lib/modules/") + u.release;
        ctx_ = api_->kmod_new(modules.empty() ? nullptr : modules.c_str(), paths.data());
        if (ctx_) api_->kmod_set_log_priority(ctx_, 0);  // its complaints about odd trees are not ours to print
    }
    ~Kmod() {
        if (ctx_) api_->kmod_unref(ctx_);
    }
    Kmod(const Kmod&) = delete;
    Kmod& operator=(const Kmod&) = delete;
    kmod_ctx* Get() const { return ctx_; }
    const KmodApi& Api() const { return *api_; }

    // Calls `entry(key, value)` for each entry of a configuration list
    // until it returns true; frees the list.
    template <typename Entry>
    bool AnyEntry(kmod_config_iter* iter, Entry entry) const {
        bool found = false;
        while (iter && !found && api_->kmod_config_iter_next(iter))
            found = entry(api_->kmod_config_iter_get_key(iter), api_->kmod_config_iter_get_value(iter));
        if (iter) api_->kmod_config_iter_free_iter(iter);
        return found;
    }

private:
    const KmodApi* api_;
    kmod_ctx* ctx_ = nullptr;
};

}  // namespace

std::string ReadSmallFile(const std::string& path, std::size_t limit) {
    std::string text = ReadFileBytes(path, limit);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string ReadFileBytes(const std::string& path, std::size_t limit) {
    const UniqueFd fd = OpenRegular(path);
    return fd.Valid() ? PreadUpTo(fd.Get(), limit, 0) : std::string();
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    if (const UniqueDir dir(::opendir(path.c_str())); dir.Valid()) {
        while (const dirent* entry = ::readdir(dir.Get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
    }
    return names;
}

long ReadNumberAttribute(const std::string& dir, const char* name, int base) {
    const std::string text = ReadSmallFile(dir + "/" + name, 16);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    return text.empty() || end == text.c_str() ? -1 : value;
}

bool IsPrinterInterface(const std::string& interfaceDir) {
    return ReadNumberAttribute(interfaceDir, "bInterfaceClass", 16) == 7;
}

bool IsUsblpClassInterface(const std::string& interfaceDir) {
    const long protocol = ReadNumberAttribute(interfaceDir, "bInterfaceProtocol", 16);
    return IsPrinterInterface(interfaceDir) && ReadNumberAttribute(interfaceDir, "bInterfaceSubClass", 16) == 1 &&
           protocol >= 1 && protocol <= 3;
}

std::string DriverOf(const std::string& interfaceDir) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink((interfaceDir + "/driver").c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
    const std::string target(buffer, static_cast<std::size_t>(n));
    return target.substr(target.find_last_of('/') + 1);
}

std::string ResolvePath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::vector<UsblpNode> ListUsblpNodes(const std::string& sysRoot) {
    std::vector<UsblpNode> nodes;
    const std::string classRoot = sysRoot + "/class/usbmisc";
    for (const std::string& name : ListDirectory(classRoot)) {
        if (name.size() < 3 || name.compare(0, 2, "lp") != 0 ||
            !std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::string device = classRoot + "/" + name + "/device";
        if (!IsPrinterInterface(device)) continue;
        nodes.push_back({std::strtol(name.c_str() + 2, nullptr, 10), name, ResolvePath(device)});
    }
    std::sort(nodes.begin(), nodes.end(), [](const UsblpNode& a, const UsblpNode& b) { return a.number < b.number; });
    return nodes;
}

std::string UsbDeviceDirOf(const std::string& interfaceDir) {
    return interfaceDir.substr(0, interfaceDir.find_last_of('/'));
}

DeviceIdentity IdentifyUsbInterface(const std::string& interfaceDir) {
    DeviceIdentity id;
    if (interfaceDir.empty()) return id;
    const std::string device = UsbDeviceDirOf(interfaceDir);
    id.vendorId = Attribute(device, "idVendor");
    id.productId = Attribute(device, "idProduct");
    id.manufacturer = Attribute(device, "manufacturer");
    id.product = Attribute(device, "product");
    id.serial = Attribute(device, "serial");
    id.ieee1284Id = Attribute(interfaceDir, "ieee1284_id");
    id.driver = Utf8ToUtf16(DriverOf(interfaceDir));
    id.location = Utf8ToUtf16(interfaceDir.substr(interfaceDir.find_last_of('/') + 1));
    return id;
}

std::optional<std::string> FindUsblpBlock(const UsbSystemRoots& roots) {
    const Kmod kmod(roots);
    if (!kmod.Get()) return std::nullopt;
    const KmodApi& api = kmod.Api();
    std::optional<std::string> block;
    kmod.AnyEntry(api.kmod_config_get_blacklists(kmod.Get()), [&](const char* key, const char*) {
        if (key && IsUsblp(key)) block = std::string("blacklist ") + key;
        return block.has_value();
    }) || kmod.AnyEntry(api.kmod_config_get_install_commands(kmod.Get()), [&](const char* key, const char* value) {
        const std::string command = std::string("install ") + (key ? key : "") + " " + (value ? value : "");
        if (BlocksUsblp(command)) block = command;
        return block.has_value();
    });
    if (block) block = JoinWords(*block);
    return block;
}

UsblpModule ProbeUsblpModule(const UsbSystemRoots& roots) {
    // usblp has a parameter, so the kernel lists it under /sys/module both
    // loaded and built in.
    struct stat st;
    if (::stat((roots.sys + "/module/usblp").c_str(), &st) == 0) return UsblpModule::Present;
    const Kmod kmod(roots);
    if (!kmod.Get()) return UsblpModule::Missing;
    const KmodApi& api = kmod.Api();
    kmod_list* found = nullptr;
    if (api.kmod_module_new_from_lookup(kmod.Get(), "usblp", &found) < 0 || !found) return UsblpModule::Missing;
    UsblpModule state = UsblpModule::Missing;
    for (kmod_list* entry = found; entry; entry = api.kmod_list_next(found, entry)) {
        kmod_module* module = api.kmod_module_get_module(entry);
        const int init = api.kmod_module_get_initstate(module);
        // A module without a file is one built into the kernel.
        if (init == KMOD_MODULE_LIVE || init == KMOD_MODULE_COMING || init == KMOD_MODULE_BUILTIN ||
            !api.kmod_module_get_path(module))
            state = UsblpModule::Present;
        else if (state == UsblpModule::Missing)
            state = UsblpModule::NotLoaded;
        api.kmod_module_unref(module);
    }
    api.kmod_module_unref_list(found);
    return state;
}

PortlessScan FindPortlessPrinters(const UsbSystemRoots& roots, bool unboundAreReachable, std::size_t limit) {
    std::set<std::string> withNode;
    for (const UsblpNode& node : ListUsblpNodes(roots.sys)) withNode.insert(node.interfaceDir);

    PortlessScan scan;
    std::optional<std::pair<WString, WString>> unbound;  // looked up once, when needed
    const std::string devices = roots.sys + "/bus/usb/devices";
    auto names = ListDirectory(devices);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        // Interfaces are named <bus>-<port...>:<config>.<interface>.
        if (name.find(':') == std::string::npos) continue;
        const std::string link = devices + "/" + name;
        if (!IsPrinterInterface(link)) continue;
        if (scan.listed.size() >= limit) {
            // Past the bound only count, with the two cheapest looks: an
            // interface with a node or one on its way is bound to usblp.
            const std::string driver = DriverOf(link);
            if (driver != "usblp" && !(unboundAreReachable && driver.empty() && IsUsblpClassInterface(link)))
                ++scan.notListed;
            continue;
        }
        const std::string dir = ResolvePath(link);
        if (dir.empty() || withNode.count(dir)) continue;
        PortlessInterface p;
        p.identity = IdentifyUsbInterface(dir);
        if (p.identity.driver == u"usblp") continue;  // its node is on its way
        if (!p.identity.driver.empty()) {
            // With the raw route the interface would be read, were it not held.
            p.cause = FillTemplate(unboundAreReachable ? kInterfaceHeldCause : kInterfaceTakenCause, {p.identity.driver});
            p.remedy = kInterfaceTakenRemedy;
        } else if (unboundAreReachable && IsUsblpClassInterface(dir)) {
            continue;  // a port of the raw route
        } else {
            if (!unbound) unbound = UnboundCause(roots);
            std::tie(p.cause, p.remedy) = *unbound;
        }
        scan.listed.push_back(std::move(p));
    }
    return scan;
}

}  // namespace ldt
