#include "fakes/Fakes.h"
#include "machine/MachineData.h"

#include <gtest/gtest.h>

using namespace ldt;
using fakes::Narrow;

namespace {

std::vector<std::string> Parse(std::initializer_list<const char16_t*> replies) {
    MachineData data;
    for (const char16_t* r : replies) ParseReply(data, r);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < data.Count(); ++i) out.push_back(Narrow(data.At(i)));
    return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(ParseReply, storesOnlyCommaTerminatedFields) {
    EXPECT_EQ(Parse({u"A,B,C"}), (V{"A", "B"}));
    EXPECT_EQ(Parse({u"A,B,C,"}), (V{"A", "B", "C"}));
}

TEST(ParseReply, emptyOrCommalessReply_leavesDataUnavailable) {
    MachineData data;
    ParseReply(data, u"");
    ParseReply(data, u"no comma at all");
    EXPECT_FALSE(data.Available());
    EXPECT_EQ(data.Count(), 0u);
}

TEST(ParseReply, emptyFieldsTakeTheirPosition_andMakeDataAvailable) {
    MachineData data;
    ParseReply(data, u",,");
    EXPECT_TRUE(data.Available());
    EXPECT_EQ(Parse({u",,"}), (V{"", ""}));
    EXPECT_EQ(Parse({u"a,,b,"}), (V{"a", "", "b"}));
}

TEST(ParseReply, valuesAreKeptAsReceived) {
    EXPECT_EQ(Parse({u" 12 ,\"q\",Left  12,"}), (V{" 12 ", "\"q\"", "Left  12"}));
}

TEST(ParseReply, seventeenFieldsFillPositionsZeroToSixteen_eighteenthUnterminatedIsLost) {
    WString reply;
    for (int i = 0; i < 17; ++i) reply += fakes::Widen("f" + std::to_string(i)) + u",";
    MachineData data;
    ParseReply(data, reply + u"tail");
    ASSERT_EQ(data.Count(), 17u);
    EXPECT_EQ(Narrow(data.At(MachineField::FpgaVersion)), "f0");
    EXPECT_EQ(Narrow(data.At(MachineField::VectorMode)), "f16");
}

TEST(ParseReply, secondReplyIsAppendedAfterTheFirst) {
    EXPECT_EQ(Parse({u"a,b,c,", u"d,e,f,"}), (V{"a", "b", "c", "d", "e", "f"}));
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
