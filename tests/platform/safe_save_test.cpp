// The portable save policy against a model of one file, its folder and the
// system's failures.
#include "platform/SafeSave.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace ldt {
namespace {

std::string Narrow(const WString& s) { return std::string(s.begin(), s.end()); }

class FakePrimitives final : public SaveFilePrimitives {
public:
    std::optional<std::string> file = std::string("old");  // the target's content; nullopt: no file
    std::optional<std::string> temp;
    SaveTarget facts;
    bool carries = true;
    ReplaceOutcome replace = ReplaceOutcome::Replaced;
    WString keptIn;
    // The steps that fail, each with its error, once per listed error.
    std::multimap<std::string, SystemError> failing;
    bool replaced = false, synced = false;
    bool hides = false;  // a failed replace takes the old file's name away

    SystemError OpenTarget(const WString&, SaveTarget& target) override {
        if (const SystemError e = Fail("open")) return e;
        facts.created = !file;
        if (!file) file = std::string();
        target = facts;
        return 0;
    }
    void RemoveStaleTemporaries() override {}
    SystemError ReadTarget(std::string& content) override {
        content = *file;
        return Fail("read");
    }
    SystemError WriteTarget(const std::string& bytes) override { return Store(*file, bytes, "write"); }
    void RemoveCreatedTarget() override {
        if (facts.created) file.reset();
        facts.created = false;
    }
    SystemError CreateTemporary() override {
        if (const SystemError e = Fail("temp")) return e;
        temp = std::string();
        return 0;
    }
    bool CarryOverToTemporary() override { return carries; }
    SystemError WriteTemporary(const std::string& bytes) override { return Store(*temp, bytes, "write temp"); }
    ReplaceOutcome ReplaceTarget(SystemError& error, WString& kept) override {
        if (replace == ReplaceOutcome::Replaced) {
            file = std::move(temp);
            temp.reset();
            replaced = true;
        }
        if (replace == ReplaceOutcome::Failed && hides) file.reset();
        error = 5;
        kept = keptIn;
        return replace;
    }
    bool TargetStillNamed() override { return file.has_value(); }
    void RemoveTemporary() override { temp.reset(); }
    SystemError SyncFolder() override {
        synced = true;
        return Fail("sync");
    }
    WString ErrorText(SystemError error) override {
        return error == 2 ? u"Path not found." : u"error " + WString(1, char16_t(u'0' + error));
    }

private:
    SystemError Fail(const std::string& step) {
        const auto it = failing.find(step);
        if (it == failing.end()) return 0;
        const SystemError e = it->second;
        failing.erase(it);
        return e;
    }
    // A failed write leaves half the bytes.
    SystemError Store(std::string& to, const std::string& bytes, const std::string& step) {
        const SystemError e = Fail(step);
        to = e ? bytes.substr(0, bytes.size() / 2) : bytes;
        return e;
    }
};

TEST(SafeSave, EachPathEndsWithTheRightContentAndWords) {
    using S = ReportWriteResult::Status;
    struct Row {
        const char* what;
        void (*set)(FakePrimitives&);
        S status;
        std::optional<std::string> file;  // what the name holds afterwards
        const char* message;
        bool replaced;
    };
    const Row rows[] = {
        {"replaced", [](FakePrimitives&) {}, S::Written, "new report", "", true},
        {"a folder that cannot be flushed after the replace is no failure",
         [](FakePrimitives& f) { f.failing = {{"sync", 5}}; }, S::Written, "new report", "", true},
        {"the system's stop is not doubled", [](FakePrimitives& f) { f.failing = {{"open", 2}}; }, S::OpenFailed,
         "old", "Cannot open r.txt: Path not found.", false},
        {"other names: in place", [](FakePrimitives& f) { f.facts.otherNames = true; }, S::Written, "new report",
         "", false},
        {"another owner: in place", [](FakePrimitives& f) { f.facts.otherOwner = true; }, S::Written, "new report",
         "", false},
        {"what the file carries cannot be carried over: in place", [](FakePrimitives& f) { f.carries = false; },
         S::Written, "new report", "", false},
        {"no temporary: in place", [](FakePrimitives& f) { f.failing = {{"temp", 3}}; }, S::Written, "new report", "",
         false},
        {"refused replace: in place", [](FakePrimitives& f) { f.replace = ReplaceOutcome::Refused; }, S::Written,
         "new report", "", false},
        {"in place fails, old content put back",
         [](FakePrimitives& f) { f.facts.otherNames = true, f.failing = {{"write", 4}}; }, S::WriteFailed, "old",
         "Cannot write r.txt: error 4.\nIts previous content was put back.", false},
        {"in place fails twice",
         [](FakePrimitives& f) { f.facts.otherNames = true, f.failing = {{"write", 4}, {"write", 6}}; },
         S::WriteFailed, "o", "Cannot write r.txt: error 4.\nPutting its previous content back failed too: error 6.",
         false},
        {"old content unreadable: untouched", [](FakePrimitives& f) { f.carries = false, f.failing = {{"read", 7}}; },
         S::WriteFailed, "old", "Cannot write r.txt: error 7.", false},
        {"temporary not written", [](FakePrimitives& f) { f.failing = {{"write temp", 8}}; }, S::WriteFailed, "old",
         "Cannot write r.txt: error 8.", false},
        {"replace failed, old content elsewhere",
         [](FakePrimitives& f) { f.replace = ReplaceOutcome::Failed, f.keptIn = u"~ldt0001.tmp"; }, S::WriteFailed,
         "old", "Cannot write r.txt: error 5.\nIts previous content is in ~ldt0001.tmp.", false},
        {"replace failed, old file still named", [](FakePrimitives& f) { f.replace = ReplaceOutcome::Failed; },
         S::WriteFailed, "old", "Cannot write r.txt: error 5.\nIts previous content is unchanged.", false},
        {"replace failed, the name lost its file: no false comfort",
         [](FakePrimitives& f) { f.replace = ReplaceOutcome::Failed, f.hides = true; }, S::WriteFailed, std::nullopt,
         "Cannot write r.txt: error 5.", false},
        {"new name, no temporary: nothing left", [](FakePrimitives& f) { f.file.reset(), f.failing = {{"temp", 3}}; },
         S::WriteFailed, std::nullopt, "Cannot write r.txt: error 3.", false},
        {"new name, replace failed: nothing left",
         [](FakePrimitives& f) { f.file.reset(), f.replace = ReplaceOutcome::Failed; }, S::WriteFailed, std::nullopt,
         "Cannot write r.txt: error 5.", false},
        {"new name, in place fails: nothing left",
         [](FakePrimitives& f) { f.file.reset(), f.carries = false, f.failing = {{"write", 4}}; }, S::WriteFailed,
         std::nullopt, "Cannot write r.txt: error 4.", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakePrimitives fake;
        row.set(fake);
        const ReportWriteResult r = SafeSave(fake, u"r.txt", "new report");
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(Narrow(r.message), row.message);
        EXPECT_EQ(fake.file, row.file);
        EXPECT_FALSE(fake.temp) << "a temporary was left";
        EXPECT_EQ(fake.replaced, row.replaced);
        EXPECT_EQ(fake.synced, row.replaced);
    }
}

}  // namespace
}  // namespace ldt
