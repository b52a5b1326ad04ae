#include "link/History.h"
#include "platform/linux/PosixHistoryFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ldt;

namespace {

struct HistoryFileTest : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("ldt-history-" + std::to_string(::getpid()));
    void TearDown() override { fs::remove_all(dir); }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir / "laser-diagnostic-tool" / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::string Line(const std::string& key, long long n, std::size_t pad = 0) {
        HistoryRecord r;
        r.key = WString(key.begin(), key.end());
        r.time = n;
        r.values = {WString(pad, u'x')};
        return HistoryLine(r);
    }
};

TEST_F(HistoryFileTest, rotatesAtAboutAMegabyteKeepingOneOlderFile) {
    PosixHistoryFile file(dir.string() + "/laser-diagnostic-tool");
    const std::size_t lineBytes = Line("k", 0, 1000).size();
    const long long records = static_cast<long long>(kHistoryRotateBytes / lineBytes) * 2 + 10;
    for (long long i = 0; i < records; ++i) ASSERT_TRUE(file.Append(Line("k", i, 1000)).empty());
    EXPECT_LE(Read("history.jsonl").size(), kHistoryRotateBytes);
    EXPECT_LE(Read("history.1.jsonl").size(), kHistoryRotateBytes);
    EXPECT_FALSE(fs::exists(dir / "laser-diagnostic-tool" / "history.2.jsonl"));
    // The newest records are read back across both generations.
    const std::vector<HistoryRecord> newest = ReadHistory(file, {u"k"}, 1500);
    ASSERT_EQ(newest.size(), 1500u);
    EXPECT_EQ(newest.back().time, records - 1);
    for (std::size_t i = 1; i < newest.size(); ++i) EXPECT_EQ(newest[i].time, newest[i - 1].time + 1);
}

TEST_F(HistoryFileTest, aTornLastLineDoesNotSwallowTheNext_aFailureIsToldQuickly) {
    PosixHistoryFile file(dir.string() + "/laser-diagnostic-tool");
    ASSERT_TRUE(file.Append(Line("k", 1)).empty());
    { std::ofstream(dir / "laser-diagnostic-tool" / "history.jsonl", std::ios::app) << "{\"time\": 2, \"ke"; }
    ASSERT_TRUE(file.Append(Line("k", 3)).empty());
    const std::vector<HistoryRecord> read = ReadHistory(file, {u"k"}, 5);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].time, 3);

    // A lock another process keeps, and a folder that cannot be made.
    const int lock = ::open((dir / "laser-diagnostic-tool" / "history.lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const pid_t child = fork();
    if (child == 0) {
        PosixHistoryFile other(dir.string() + "/laser-diagnostic-tool");
        const auto start = std::chrono::steady_clock::now();
        const bool failed = !other.Append(Line("k", 4)).empty();
        _exit(failed && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(lock);
    // A FIFO in the file's place is refused at once by the reader and the appender.
    fs::remove(dir / "laser-diagnostic-tool" / "history.jsonl");
    ASSERT_EQ(::mkfifo((dir / "laser-diagnostic-tool" / "history.jsonl").c_str(), 0600), 0);
    EXPECT_EQ(file.Open(0), nullptr);
    EXPECT_FALSE(file.Append(Line("k", 6)).empty());
    { std::ofstream(dir / "file") << "x"; }
    const WString message = PosixHistoryFile((dir / "file" / "sub").string()).Append(Line("k", 5));
    EXPECT_EQ(message.rfind(u"Cannot write ", 0), 0u);
}

}  // namespace
