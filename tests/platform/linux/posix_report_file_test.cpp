#include "platform/linux/PosixReportFile.h"
#include "platform/linux/Utf8CodePage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <fcntl.h>
#include <csignal>
#include <sys/resource.h>
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
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

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

TEST_F(ReportFileTest, writeFailsAfterTheOpen_keepsTheOldFile_andLeavesNothingNew) {
    // A file-size limit makes every write past 16 bytes fail, as a full disk
    // would, after the target opened fine.
    std::ofstream(dir / "r.txt") << "old bytes";
    struct rlimit before {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto r = files.WriteWhole(Path("r.txt"), std::string(100, 'n'));
    const auto fresh = files.WriteWhole(Path("new.txt"), std::string(100, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r.status, ReportWriteResult::WriteFailed);
    EXPECT_NE(Utf16ToUtf8(r.message).find("r.txt"), std::string::npos);
    EXPECT_EQ(Read("r.txt"), "old bytes");
    EXPECT_EQ(fresh.status, ReportWriteResult::WriteFailed);
    EXPECT_FALSE(fs::exists(dir / "new.txt"));
    EXPECT_EQ(Entries(), 1u);
}
