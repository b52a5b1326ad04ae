// The portable history append policy against a model of one file and the
// system's failures.
#include "platform/HistoryAppend.h"

#include "seams/HistoryFile.h"

#include <gtest/gtest.h>

#include <set>

namespace ldt {
namespace {

class FakeAppend final : public HistoryAppendPrimitives {
public:
    std::string file, older;
    int busyTries = 0;  // tries that find the lock taken
    int pauses = 0;
    std::set<std::string> failing;  // steps that fail with error 9
    std::size_t stores = ~std::size_t{0};  // how many bytes a write stores

    SystemError MakeFolder() override { return failing.count("folder") ? 9 : 0; }
    SystemError TryLock(bool& busy) override {
        busy = busyTries-- > 0;
        return busy ? 33 : 0;
    }
    void PauseForLock() override { ++pauses; }
    SystemError OpenCurrent(std::uint64_t& size) override {
        size = file.size();
        return failing.count("open") ? 9 : 0;
    }
    SystemError RotateCurrent() override {
        older = std::move(file);
        file.clear();
        return 0;
    }
    bool ReadByte(std::uint64_t offset, char& byte) override {
        byte = file[offset];
        return true;
    }
    SystemError Write(const std::string& bytes, std::size_t& written) override {
        written = std::min(stores, bytes.size());
        file += bytes.substr(0, written);
        return 0;
    }
    void Truncate(std::uint64_t size) override { file.resize(size); }
    WString CurrentPath() const override { return u"h.jsonl"; }
    WString ErrorText(SystemError error) override { return u"error " + WString(1, char16_t(u'0' + error % 10)); }
    SystemError LockTakenError() const override { return 33; }
    SystemError DiskFullError() const override { return 8; }
};

TEST(HistoryAppend, EachPathEndsWithTheRightFileAndWords) {
    struct Row {
        const char* what;
        void (*set)(FakeAppend&);
        std::string file;  // the current file afterwards
        const char* message;
    };
    const std::string big(kHistoryRotateBytes - 2, 'x');
    const Row rows[] = {
        {"appended", [](FakeAppend& f) { f.file = "a\n"; }, "a\nb\n", ""},
        {"a torn last line is ended first", [](FakeAppend& f) { f.file = "{\"a"; }, "{\"a\nb\n", ""},
        {"a lock taken for a while is waited for", [](FakeAppend& f) { f.busyTries = 20; }, "b\n", ""},
        {"a lock that stays taken fails", [](FakeAppend& f) { f.busyTries = 21; }, "",
         "Cannot write h.jsonl: error 3."},
        {"a part written is taken back", [](FakeAppend& f) { f.file = "a\n", f.stores = 1; }, "a\n",
         "Cannot write h.jsonl: error 8."},
        {"no folder", [](FakeAppend& f) { f.failing = {"folder"}; }, "", "Cannot write h.jsonl: error 9."},
        {"no file", [](FakeAppend& f) { f.failing = {"open"}; }, "", "Cannot write h.jsonl: error 9."},
    };
    for (const Row& row : rows) {
        FakeAppend f;
        row.set(f);
        const WString message = AppendHistory(f, "b\n");
        EXPECT_EQ(f.file, row.file) << row.what;
        EXPECT_EQ(std::string(message.begin(), message.end()), row.message) << row.what;
        EXPECT_LE(f.pauses, 20) << row.what;
    }
    FakeAppend full;
    full.file = big;
    EXPECT_TRUE(AppendHistory(full, "bb\n").empty());
    EXPECT_EQ(full.older, big) << "a line that would pass the limit starts a new file";
    EXPECT_EQ(full.file, "bb\n");
}

}  // namespace
}  // namespace ldt
