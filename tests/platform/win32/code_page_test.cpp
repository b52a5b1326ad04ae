#include "platform/win32/AnsiCodePage.h"

#include <gtest/gtest.h>

namespace ldt {
namespace {

TEST(AnsiCodePage, AsciiRoundTrip) {
    AnsiCodePage cp;
    const std::string ascii = "Firmware_Ver: V2.31,\r\n";
    const WString wide = cp.ToWide(ascii);
    EXPECT_EQ(wide, u"Firmware_Ver: V2.31,\r\n");
    EXPECT_EQ(cp.ToAnsi(wide), ascii);
}

TEST(AnsiCodePage, LongLineIsConvertedWhole) {
    AnsiCodePage cp;
    WString line = u"Laser Tube Model: ";
    for (int i = 0; i < 90; ++i) line.push_back(static_cast<char16_t>(u'A' + i % 26));
    line += u"\r\n";
    ASSERT_GT(line.size(), 100u);
    const std::string bytes = cp.ToAnsi(line);
    ASSERT_EQ(bytes.size(), line.size());
    EXPECT_EQ(bytes.substr(0, 18), "Laser Tube Model: ");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(cp.ToWide(bytes), line);

    const std::string big(100000, 'x');
    EXPECT_EQ(cp.ToWide(big).size(), big.size());
    EXPECT_EQ(cp.ToAnsi(cp.ToWide(big)), big);
}

TEST(AnsiCodePage, EmptyAndZeroBytes) {
    AnsiCodePage cp;
    EXPECT_EQ(cp.ToWide(""), u"");
    EXPECT_EQ(cp.ToAnsi(u""), "");
    const std::string withZero("abc\0def,", 8);
    const WString wide = cp.ToWide(withZero);
    ASSERT_EQ(wide.size(), 8u);
    EXPECT_EQ(wide[3], u'\0');
    EXPECT_EQ(cp.ToAnsi(wide), withZero);
}

TEST(AnsiCodePage, UnrepresentableBecomesDefaultCharacter) {
    AnsiCodePage western(1252);
    EXPECT_EQ(western.ToAnsi(u"a\u53C3b"), "a?b");
    EXPECT_EQ(western.ToAnsi(u"\u00E9"), "\xE9");
    EXPECT_EQ(western.ToWide("\xE9"), u"\u00E9");
}

TEST(AnsiCodePage, MultiByteCodePagesConvertWholeCharacters) {
    const std::string utf8 = "ab\xE2\x82\xAC\xF0\x9F\x98\x80x";
    const WString expected = u"ab\u20AC\U0001F600x";
    EXPECT_EQ(AnsiCodePage(CP_UTF8).ToWide(utf8), expected);
    EXPECT_EQ(AnsiCodePage(CP_UTF8).ToAnsi(expected), utf8);

    // GBK: two-byte characters whose second byte may look like a lead byte.
    const std::string gbk = "a\xD6\xD0\xCE\xC4\xD7\xD6" "b\xB7\xFB";
    const WString chinese = u"a\u4E2D\u6587\u5B57b\u7B26";
    EXPECT_EQ(AnsiCodePage(936).ToWide(gbk), chinese);
    EXPECT_EQ(AnsiCodePage(936).ToAnsi(chinese), gbk);
}

}  // namespace
}  // namespace ldt
