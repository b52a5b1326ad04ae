// The backends' shared pieces: the deadline's arithmetic, the owner shape
// and the UTF-8 encoder. Built and run on every system.

#include "platform/Deadline.h"
#include "platform/UniqueResource.h"
#include "seams/Utf8.h"

#include <gtest/gtest.h>

#include <vector>

namespace ldt {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(Deadline, timeLeftIsRoundedUpToWholeMillisecondsAndClamped) {
    const struct {
        Deadline::Clock::duration left;
        unsigned long most, want;
    } rows[] = {
        {milliseconds(-5), 1000, 0},  // passed
        {nanoseconds(0), 1000, 0},
        {nanoseconds(1), 1000, 1},  // any time left waits at least 1 ms
        {milliseconds(1) + nanoseconds(1), 1000, 2},
        {milliseconds(1001), 1000, 1000},  // the wait call's largest
        {std::chrono::hours(24 * 60), 0xFFFFFFFEul, 0xFFFFFFFEul},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(Deadline::WholeMs(rows[i].left, rows[i].most), rows[i].want) << "row " << i;
    const Deadline soon(milliseconds(200));
    EXPECT_FALSE(soon.Passed());
    EXPECT_GT(soon.RemainingMs<int>(), 100);
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
        Counted a(1), b(2), c;
        b = std::move(a);  // frees 2, takes 1
        Counted& same = b;
        b = std::move(same);
        c.Reset(3);
        c.Reset(3);  // its own handle: refused, still held
        c.Reset(4);  // frees 3
        EXPECT_EQ(c.Release(), 4);  // given up: never freed here
        EXPECT_FALSE(a || c);
    }
    EXPECT_EQ(freed, (std::vector<int>{2, 3, 1}));
    Counted refuses(13), none;
    EXPECT_FALSE(refuses.Close());
    EXPECT_FALSE(refuses.Valid());  // emptied all the same
    EXPECT_TRUE(none.Close());
    EXPECT_EQ(freed.size(), 4u);
}

TEST(Utf16ToUtf8, aLoneSurrogateBecomesTheReplacementCharacter) {
    const WString hi(1, char16_t(0xD83D)), lo(1, char16_t(0xDE00));
    EXPECT_EQ(Utf16ToUtf8(hi + lo), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(u"x" + hi), "x\xEF\xBF\xBD");                 // high at the end
    EXPECT_EQ(Utf16ToUtf8(lo + hi + u"x"), "\xEF\xBF\xBD\xEF\xBF\xBDx");  // the wrong order
}

}  // namespace
}  // namespace ldt
