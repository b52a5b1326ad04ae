#include "platform/linux/PosixReportFile.h"
#include "platform/linux/Utf8CodePage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <csignal>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ldt;

namespace {

struct ReportFileTest : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("ldt-report-" + std::to_string(::getpid()));
    PosixReportFile files;
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    WString Path(const std::string& name) const { return Utf8ToUtf16((dir / name).string()); }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::size_t Entries(const fs::path& in = {}) const {
        const fs::path where = in.empty() ? dir : in;
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(where), fs::directory_iterator()));
    }
    struct stat Stat(const std::string& name) const {
        struct stat st {};
        ::lstat((dir / name).c_str(), &st);
        return st;
    }
};

constexpr uid_t kOther = 65534;   // nobody
constexpr uid_t kThird = 12345;   // a user without a name

// Runs the scope with another effective user (root only; fs calls use it).
struct AsUser {
    explicit AsUser(uid_t uid) { ok = ::setegid(uid) == 0 && ::seteuid(uid) == 0; }
    ~AsUser() {
        (void)::seteuid(0);
        (void)::setegid(0);
    }
    bool ok;
};

// What `command` prints on its standard output.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    return out;
}

void SetAge(const fs::path& file, int seconds) {
    struct timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TEST_F(ReportFileTest, writesExactBytes_andReplacesAnExistingFile) {
    const std::string bytes = std::string("Firmware_Ver: 1\r\n") + std::string(5000, 'x');
    EXPECT_EQ(files.WriteWhole(Path("r.txt"), "old").status, ReportWriteResult::Written);
    EXPECT_EQ(files.WriteWhole(Path("r.txt"), bytes).status, ReportWriteResult::Written);
    EXPECT_EQ(Read("r.txt"), bytes);
    EXPECT_EQ(Entries(), 1u);  // no temporary left behind
}

TEST_F(ReportFileTest, missingDirectory_isAnOpenFailureNamingTheFile) {
    const auto r = files.WriteWhole(Path("no/such/dir/r.txt"), "x");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_NE(Utf16ToUtf8(r.message).find("r.txt"), std::string::npos);
}

TEST_F(ReportFileTest, fileLockedByAnotherProgram_isUntouched) {
    std::ofstream(dir / "held.txt") << "keep me";
    const int fd = ::open((dir / "held.txt").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const auto r = files.WriteWhole(Path("held.txt"), "new");
    ::close(fd);
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_EQ(Read("held.txt"), "keep me");
}

TEST_F(ReportFileTest, hardLinkedFile_isRewrittenItself_soEveryNameSeesTheNewReport) {
    std::ofstream(dir / "r.txt") << "old report, longer than the new one";
    fs::create_hard_link(dir / "r.txt", dir / "other-name.txt");
    const ino_t inode = Stat("r.txt").st_ino;
    ASSERT_EQ(files.WriteWhole(Path("r.txt"), "new").status, ReportWriteResult::Written);
    EXPECT_EQ(Read("other-name.txt"), "new");
    EXPECT_EQ(Stat("r.txt").st_ino, inode);
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(ReportFileTest, namesUpToTheLimit_areSaved_newOrReplaced) {
    for (const std::size_t length : {248u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".txt";
        ASSERT_EQ(files.WriteWhole(Path(name), "first").status, ReportWriteResult::Written) << length;
        ASSERT_EQ(files.WriteWhole(Path(name), "second").status, ReportWriteResult::Written) << length;
        EXPECT_EQ(Read(name), "second");
    }
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(ReportFileTest, killedSavesTemporaries_goAfterTenMinutes_onlyOursAndOnlyUnheld) {
    const std::vector<std::string> names = {".ldt~Stale00001.tmp", ".ldt~Fresh00001.tmp", ".ldt~Held000001.tmp",
                                            ".ldt~short.tmp", "notes.tmp"};
    for (const auto& n : names) std::ofstream(dir / n) << "x";
    SetAge(dir / names[0], 11 * 60);
    SetAge(dir / names[1], 9 * 60);
    for (std::size_t i = 2; i < names.size(); ++i) SetAge(dir / names[i], 60 * 60);
    const int held = ::open((dir / names[2]).c_str(), O_RDONLY);  // another instance still writing
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_EQ(files.WriteWhole(Path("r.txt"), "new").status, ReportWriteResult::Written);
    ::close(held);
    EXPECT_FALSE(fs::exists(dir / names[0]));
    for (std::size_t i = 1; i < names.size(); ++i) EXPECT_TRUE(fs::exists(dir / names[i])) << names[i];
}

TEST_F(ReportFileTest, writableFileInAFolderWeMayNotWrite_isRewrittenInPlace) {
    fs::create_directory(dir / "ro");
    std::ofstream(dir / "ro/r.txt") << "old";
    fs::permissions(dir / "ro/r.txt", fs::perms(0666));
    fs::permissions(dir / "ro", fs::perms(0555));
    ReportWriteResult r;
    {
        std::unique_ptr<AsUser> user;  // root writes anywhere: be somebody else
        if (::geteuid() == 0) {
            user = std::make_unique<AsUser>(kOther);
            ASSERT_TRUE(user->ok);
        }
        r = files.WriteWhole(Path("ro/r.txt"), "new report");
    }
    fs::permissions(dir / "ro", fs::perms(0755));
    EXPECT_EQ(r.status, ReportWriteResult::Written) << Utf16ToUtf8(r.message);
    EXPECT_EQ(Read("ro/r.txt"), "new report");
    EXPECT_EQ(Entries(dir / "ro"), 1u);
}

TEST_F(ReportFileTest, ownerGroupAndMode_areKept_whetherRewrittenOrReplaced) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to other users";
    std::ofstream(dir / "theirs.txt") << "old";
    ASSERT_EQ(::chown((dir / "theirs.txt").c_str(), kOther, kOther), 0);
    ::chmod((dir / "theirs.txt").c_str(), 0640);
    std::ofstream(dir / "ours.txt") << "old";
    ASSERT_EQ(::chown((dir / "ours.txt").c_str(), 0, kThird), 0);
    ::chmod((dir / "ours.txt").c_str(), 0604);
    for (const char* name : {"theirs.txt", "ours.txt"}) {
        const struct stat before = Stat(name);
        ASSERT_EQ(files.WriteWhole(Path(name), "new").status, ReportWriteResult::Written) << name;
        const struct stat after = Stat(name);
        EXPECT_EQ(Read(name), "new");
        EXPECT_EQ(after.st_uid, before.st_uid) << name;
        EXPECT_EQ(after.st_gid, before.st_gid) << name;
        EXPECT_EQ(after.st_mode, before.st_mode) << name;
    }
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(ReportFileTest, anotherUsersLinkInAStickyWorldWritableFolder_isNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own links as other users";
    std::ofstream(dir / "secret") << "root only";
    ::chmod((dir / "secret").c_str(), 0600);
    fs::create_directory(dir / "shared");
    ASSERT_EQ(::chown((dir / "shared").c_str(), kThird, kThird), 0);
    ::chmod((dir / "shared").c_str(), 01777);
    fs::create_symlink(dir / "secret", dir / "shared/r.txt");
    ASSERT_EQ(::lchown((dir / "shared/r.txt").c_str(), kOther, kOther), 0);

    const auto r = files.WriteWhole(Path("shared/r.txt"), "planted");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_NE(Utf16ToUtf8(r.message).find("r.txt"), std::string::npos);
    EXPECT_EQ(Read("secret"), "root only");

    // The folder's owner's link is followed, as the kernel's rule allows;
    // the link stays a link.
    ASSERT_EQ(::lchown((dir / "shared/r.txt").c_str(), kThird, kThird), 0);
    EXPECT_EQ(files.WriteWhole(Path("shared/r.txt"), "followed").status, ReportWriteResult::Written);
    EXPECT_EQ(Read("secret"), "followed");
    EXPECT_TRUE(fs::is_symlink(dir / "shared/r.txt"));
    EXPECT_EQ(Entries(dir / "shared"), 1u);
}

TEST_F(ReportFileTest, anotherUsersLinkedFolderInAStickyWorldWritableFolder_isNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own links as other users";
    fs::create_directory(dir / "private");
    std::ofstream(dir / "private/r.txt") << "root only";
    fs::create_directory(dir / "shared");
    ASSERT_EQ(::chown((dir / "shared").c_str(), kThird, kThird), 0);
    ::chmod((dir / "shared").c_str(), 01777);
    fs::create_directory_symlink(dir / "private", dir / "shared/folder");
    for (const uid_t owner : {kOther, kThird}) {
        ASSERT_EQ(::lchown((dir / "shared/folder").c_str(), owner, owner), 0);
        const auto r = files.WriteWhole(Path("shared/folder/r.txt"), "through the link");
        EXPECT_EQ(r.status, owner == kOther ? ReportWriteResult::OpenFailed : ReportWriteResult::Written) << owner;
        EXPECT_EQ(Read("private/r.txt"), owner == kOther ? "root only" : "through the link");
    }
}

// A file with an access list and an extended attribute, replaced through
// the temporary: it keeps both, and its group bits (the list's mask) grant
// no more than before.
TEST_F(ReportFileTest, replacedFile_keepsItsAccessListAndExtendedAttributes) {
    std::ofstream(dir / "r.txt") << "old";
    ::chmod((dir / "r.txt").c_str(), 0644);
    const std::string file = (dir / "r.txt").string();
    const auto acl = [&] { return Shell("getfacl --omit-header --numeric " + file); };
    if (Shell("setfacl -m u:nobody:rw " + file + " && echo ok") != "ok\n" ||
        ::setxattr(file.c_str(), "user.origin", "bench 7", 7, 0) != 0)
        GTEST_SKIP() << "no access lists or user attributes here (setfacl from the package acl)";
    const std::string before = acl();
    const struct stat old = Stat("r.txt");
    ASSERT_EQ(files.WriteWhole(Path("r.txt"), "new").status, ReportWriteResult::Written);
    EXPECT_EQ(Read("r.txt"), "new");
    EXPECT_NE(Stat("r.txt").st_ino, old.st_ino) << "not replaced: the copy was not tried";
    EXPECT_EQ(Stat("r.txt").st_mode, old.st_mode);
    EXPECT_EQ(acl(), before);
    EXPECT_NE(before.find("user:65534:rw-"), std::string::npos) << before;
    char value[16] = {};
    EXPECT_EQ(::getxattr(file.c_str(), "user.origin", value, sizeof value), 7);
    EXPECT_STREQ(value, "bench 7");
    EXPECT_EQ(Entries(), 1u);
}

// A small tmpfs filled to the last byte: a real full disk, for a replaced
// file, a file rewritten in place and a new one.
struct FullDiskTest : ReportFileTest {
    fs::path disk = dir / "disk";
    bool mounted = false;
    void SetUp() override {
        ReportFileTest::SetUp();
        fs::create_directory(disk);
        mounted = ::mount("ldt-test", disk.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
        std::ofstream(disk / "plain.txt") << "old plain";
        std::ofstream(disk / "linked.txt") << "old linked";
        fs::create_hard_link(disk / "linked.txt", disk / "second-name.txt");
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()).flush()) {
        }
    }
    void TearDown() override {
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        ReportFileTest::TearDown();
    }
};

TEST_F(FullDiskTest, replacedAndRewrittenFiles_keepTheirOldText_andSaySo) {
    const std::string big(32 * 1024, 'n');
    const auto plain = files.WriteWhole(Path("disk/plain.txt"), big);
    EXPECT_EQ(plain.status, ReportWriteResult::WriteFailed);
    EXPECT_NE(Utf16ToUtf8(plain.message).find("plain.txt: No space left on device"), std::string::npos)
        << Utf16ToUtf8(plain.message);
    const auto linked = files.WriteWhole(Path("disk/linked.txt"), big);
    EXPECT_EQ(linked.status, ReportWriteResult::WriteFailed);
    EXPECT_NE(Utf16ToUtf8(linked.message).find("No space left on device.\nIts previous content was put back."),
              std::string::npos)
        << Utf16ToUtf8(linked.message);
    EXPECT_EQ(Read("disk/plain.txt"), "old plain");
    EXPECT_EQ(Read("disk/second-name.txt"), "old linked");
    const auto fresh = files.WriteWhole(Path("disk/new.txt"), big);
    EXPECT_EQ(fresh.status, ReportWriteResult::WriteFailed);
    EXPECT_EQ(Entries(disk), 4u);  // plain, linked, second-name, filler: nothing new
}

// A network-like FUSE mount (no hard_remove) whose replace fails: the old
// report keeps its name, and the message says so.
TEST_F(ReportFileTest, failedReplaceOnAFuseMount_leavesTheOldReportUnderItsName) {
    const fs::path backing = dir / "backing", mount = dir / "mount";
    fs::create_directories(backing);
    fs::create_directories(mount);
    std::ofstream(backing / "r.txt") << "old report";
    const std::string fsScript = LDT_TESTS_DIR "/platform/linux/failing_rename_fs.py";
    const pid_t server = ::fork();
    if (server == 0) {
        ::execl("/usr/bin/python3", "python3", fsScript.c_str(), backing.c_str(), mount.c_str(), "-f", "-s",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool mounted = false;
    for (int i = 0; i < 100 && !mounted; ++i, ::usleep(50000))
        mounted = Shell("grep -c ' " + mount.string() + " fuse' /proc/self/mounts") == "1\n";
    if (!mounted) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        GTEST_SKIP() << "no FUSE here (needs /dev/fuse, root and python3-fuse)";
    }
    const auto r = files.WriteWhole(Utf8ToUtf16((mount / "r.txt").string()), "new report");
    std::string after;
    {
        std::ifstream in(mount / "r.txt");
        after.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Shell("fusermount -u -z " + mount.string());
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    EXPECT_EQ(r.status, ReportWriteResult::WriteFailed);
    EXPECT_EQ(Utf16ToUtf8(r.message), "Cannot write " + (mount / "r.txt").string() +
                                          ": Input/output error.\nIts previous content is unchanged.");
    EXPECT_EQ(after, "old report");
}
