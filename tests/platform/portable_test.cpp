// The backends' shared pieces: the deadline's arithmetic, the owner shape
// and the UTF-8 encoder. Built and run on every system.

#include "platform/Deadline.h"
#include "platform/UniqueResource.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace ldt {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(Deadline, timeLeftIsRoundedUpToWholeMillisecondsAndClamped) {
    const struct {
        Deadline::Clock::duration left;
        long long most;
        long long want;
    } rows[] = {
        {milliseconds(-5), 1000, 0},         // passed
        {nanoseconds(0), 1000, 0},           // just now
        {nanoseconds(1), 1000, 1},           // any time left waits at least 1 ms
        {milliseconds(1), 1000, 1},
        {milliseconds(1) + nanoseconds(1), 1000, 2},
        {milliseconds(999), 1000, 999},
        {milliseconds(1001), 1000, 1000},    // the wait call's largest
        {std::chrono::hours(24 * 30), 0x7FFFFFFF, 0x7FFFFFFF},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(Deadline::WholeMs<long long>(rows[i].left, rows[i].most), rows[i].want) << "row " << i;
    }
    // An unsigned wait (WaitForMultipleObjects) below its "forever" value.
    EXPECT_EQ(Deadline::WholeMs<std::uint32_t>(std::chrono::hours(24 * 60), 0xFFFFFFFEu), 0xFFFFFFFEu);
    EXPECT_EQ(Deadline::WholeMs<int>(std::chrono::hours(24 * 30), 0x7FFFFFFF), 0x7FFFFFFF);

    const Deadline soon(milliseconds(200));
    EXPECT_FALSE(soon.Passed());
    EXPECT_GT(soon.RemainingMs<int>(), 100);
    EXPECT_LE(soon.RemainingMs<int>(), 200);
    EXPECT_EQ(Deadline(milliseconds(0)).RemainingMs<int>(), 0);
    EXPECT_TRUE(Deadline(milliseconds(-1)).Passed());
}

// Resources are numbers; freeing one records it, and number 13 refuses.
std::vector<int> freed;
struct CountedTraits {
    using Handle = int;
    static int Invalid() { return 0; }
    static bool Valid(int h) { return h > 0; }
    static bool Free(int h) {
        freed.push_back(h);
        return h != 13;
    }
};
using Counted = UniqueResource<CountedTraits>;

TEST(UniqueResource, freesEachResourceExactlyOnce) {
    freed.clear();
    {
        Counted a(1), b(2), empty;
        Counted moved(std::move(a));
        EXPECT_FALSE(a.Valid());
        EXPECT_EQ(moved.Get(), 1);
        b = std::move(moved);  // frees 2, takes 1
        EXPECT_EQ(freed, std::vector<int>{2});
        Counted& same = b;
        b = std::move(same);   // no change
        EXPECT_EQ(b.Get(), 1);
        empty.Reset(3);
        empty.Reset(4);        // frees 3
        EXPECT_EQ(empty.Release(), 4);  // given up: never freed here
        EXPECT_FALSE(empty);
        Counted(-1).Reset();   // not a resource: nothing to free
    }
    EXPECT_EQ(freed, (std::vector<int>{2, 3, 1}));

    Counted refuses(13), fine(5), none;
    EXPECT_FALSE(refuses.Close());
    EXPECT_FALSE(refuses.Valid());  // emptied all the same
    EXPECT_TRUE(fine.Close());
    EXPECT_TRUE(none.Close());
    EXPECT_EQ(freed, (std::vector<int>{2, 3, 1, 13, 5}));
}

TEST(Utf16ToUtf8, encodesEveryPlane_andALoneSurrogateAsTheReplacementCharacter) {
    const WString hi(1, char16_t(0xD83D)), lo(1, char16_t(0xDE00));
    const struct {
        WString text;
        std::string want;
    } rows[] = {
        {u"a\u00e9\u53C3\U0001F600", "a\xC3\xA9\xE5\x8F\x83\xF0\x9F\x98\x80"},
        {hi + lo, "\xF0\x9F\x98\x80"},                         // a pair
        {hi + u"x", "\xEF\xBF\xBDx"},                          // high, no low after it
        {u"x" + hi, "x\xEF\xBF\xBD"},                          // high at the end
        {lo + u"x", "\xEF\xBF\xBDx"},                          // low alone
        {lo + hi, "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // the wrong order: two
        {WString(1, u'\0') + u"\uFFFF", std::string(1, '\0') + "\xEF\xBF\xBF"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(Utf16ToUtf8(rows[i].text), rows[i].want) << "row " << i;
}

}  // namespace
}  // namespace ldt
