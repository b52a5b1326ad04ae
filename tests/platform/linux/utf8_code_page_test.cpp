#include "platform/linux/Utf8CodePage.h"

#include <gtest/gtest.h>

using namespace ldt;

TEST(Utf8CodePage, roundTripsAsciiBmpAndSupplementaryCharacters) {
    const std::string s = "abc \xE5\x8F\x83\xE6\x95\xB8 \xF0\x9F\x94\xA6";
    const WString w = Utf8ToUtf16(s);
    EXPECT_EQ(w, u"abc \u53C3\u6578 \U0001F526");
    EXPECT_EQ(Utf16ToUtf8(w), s);
}

TEST(Utf8CodePage, malformedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE5\x8F"), u"\uFFFD\uFFFD");        // truncated
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(Utf8CodePage, unpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(WString(u"a") + char16_t(0xD800) + u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf16ToUtf8(WString(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Utf8CodePage, zeroBytesAreKept) {
    EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)).size(), 3u);
}
