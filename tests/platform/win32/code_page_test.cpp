#include "platform/win32/AnsiCodePage.h"

#include <gtest/gtest.h>

namespace ldt {
namespace {

// Bytes and text that convert into each other in both directions, whole:
// line breaks, embedded zeros, lengths far beyond one reply, and multi-byte
// code pages whose characters must not be split.
TEST(AnsiCodePage, ConvertsWholeStringsBothWays) {
    WString longLine = u"Laser Tube Model: ";
    for (int i = 0; i < 90; ++i) longLine.push_back(static_cast<char16_t>(u'A' + i % 26));
    longLine += u"\r\n";
    const struct {
        UINT codePage;
        std::string bytes;
        WString text;
    } cases[] = {
        {CP_ACP, "", u""},
        {CP_ACP, std::string(longLine.begin(), longLine.end()), longLine},
        {CP_ACP, std::string("abc\0def,", 8), WString(u"abc\0def,", 8)},
        {CP_ACP, std::string(100000, 'x'), WString(100000, u'x')},
        {1252, "\xE9", u"\u00E9"},
        {CP_UTF8, "ab\xE2\x82\xAC\xF0\x9F\x98\x80x", u"ab\u20AC\U0001F600x"},
        // GBK: two-byte characters whose second byte may look like a lead byte.
        {936, "a\xD6\xD0\xCE\xC4\xD7\xD6" "b\xB7\xFB", u"a\u4E2D\u6587\u5B57b\u7B26"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "code page " << c.codePage << ", " << c.bytes.size() << " bytes");
        const AnsiCodePage cp(c.codePage);
        EXPECT_EQ(cp.ToWide(c.bytes), c.text);
        EXPECT_EQ(cp.ToAnsi(c.text), c.bytes);
    }
}

TEST(AnsiCodePage, UnrepresentableBecomesDefaultCharacter) {
    EXPECT_EQ(AnsiCodePage(1252).ToAnsi(u"a\u53C3b"), "a?b");
}

}  // namespace
}  // namespace ldt
