#include "fakes/Fakes.h"
#include "machine/MachineData.h"

#include <gtest/gtest.h>

using namespace ldt;
using fakes::Narrow;

// Replies are parsed field by field: only comma-terminated fields count, empty
// ones keep their position, values are not trimmed, replies append.
TEST(ParseReply, keepsEachCommaTerminatedFieldAsReceived) {
    using V = std::vector<std::string>;
    const struct {
        std::vector<const char16_t*> replies;
        V fields;
    } cases[] = {
        {{u"A,B,C"}, {"A", "B"}},
        {{u"A,B,C,"}, {"A", "B", "C"}},
        {{u"", u"no comma at all"}, {}},
        {{u",,"}, {"", ""}},
        {{u"a,,b,"}, {"a", "", "b"}},
        {{u" 12 ,\"q\",Left  12,"}, {" 12 ", "\"q\"", "Left  12"}},
        {{u"a,b,c,", u"d,e,f,"}, {"a", "b", "c", "d", "e", "f"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.replies[0]));
        MachineData data;
        for (const char16_t* r : c.replies) ParseReply(data, r);
        V fields;
        for (std::size_t i = 0; i < data.Count(); ++i) fields.push_back(Narrow(data.At(i)));
        EXPECT_EQ(fields, c.fields);
        // Even empty fields make data available; a reply without a comma does not.
        EXPECT_EQ(data.Available(), !c.fields.empty());
    }
}

TEST(MachineData, missingPositionReadsEmpty_clearForgetsEverything) {
    MachineData data;
    ParseReply(data, u"x,");
    EXPECT_EQ(Narrow(data.At(0)), "x");
    EXPECT_TRUE(data.At(16).empty());
    EXPECT_TRUE(data.At(1000000).empty());
    data.Clear();
    EXPECT_FALSE(data.Available());
    EXPECT_TRUE(data.At(0).empty());
}
