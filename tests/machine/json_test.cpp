#include "machine/Json.h"

#include <gtest/gtest.h>

using namespace ldt;

TEST(JsonString, escapesEveryCharacterThatBreaksReordersOrHidesText) {
    const WString lone(1, char16_t(0xDC00));
    const struct {
        WString in;
        std::string out;
    } rows[] = {
        {u"plain \u00e9\u53C3", "\"plain \xC3\xA9\xE5\x8F\x83\""},
        {u"q\"b\\", "\"q\\\"b\\\\\""},
        {u"\x01\x1b\x7f\u0085\u009b", "\"\\u0001\\u001b\\u007f\\u0085\\u009b\""},
        {u"a\u2028b\u2029c", "\"a\\u2028b\\u2029c\""},
        {u"\uFEFF\u200B\u200D\u2060", "\"\\ufeff\\u200b\\u200d\\u2060\""},
        {u"\u202E\u2066\u061C\u200F", "\"\\u202e\\u2066\\u061c\\u200f\""},
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {u"a" + lone + u"b" + WString(1, char16_t(0xD800)), "\"a\\ufffdb\\ufffd\""},
    };
    for (const auto& row : rows) EXPECT_EQ(JsonString(row.in), row.out);
}

TEST(JsonWriter, separatesItems_andBreaksLinesInTheOuterLevelsOnly) {
    JsonWriter json(2);
    json.BeginObject().Key("a").Number(1).Key("list").BeginArray();
    json.BeginObject().Key("x").Null().Key("y").Bool(true).EndObject().String(u"s");
    json.EndArray().Key("empty").BeginArray().EndArray().Key("n").StringOrNull({}).EndObject();
    EXPECT_EQ(json.Text(), "{\n \"a\": 1,\n \"list\": [\n  {\"x\": null, \"y\": true},\n  \"s\"\n ],\n"
                           " \"empty\": [],\n \"n\": null\n}");
    EXPECT_EQ(JsonWriter().BeginArray().Number(1).String(u"v").EndArray().Text(), "[1, \"v\"]");
}
