#include <gtest/gtest.h>

#include "platform/runtime/callstack.h"

namespace {

struct Seen {
    std::string names[4];
    int lines[4] = {};
    std::string past;
};

__attribute__((noinline)) void Innermost(Seen& s) {
    for (int i = 0; i < 4; ++i) {
        s.names[i] = rt::ProcName(i);
        s.lines[i] = rt::ProcLine(i);
    }
    s.past = rt::ProcName(500);
    asm volatile("");  // keeps the frame from being folded into its caller
}

__attribute__((noinline)) void Middle(Seen& s) {
    Innermost(s);
    asm volatile("");
}

__attribute__((noinline)) void Outer(Seen& s) {
    Middle(s);
    asm volatile("");
}

}  // namespace

TEST(CallStack, NamesAndLinesNearestFirst) {
    Seen s;
    Outer(s);
    EXPECT_NE(s.names[0].find("Innermost"), std::string::npos) << s.names[0];
    EXPECT_NE(s.names[1].find("Middle"), std::string::npos) << s.names[1];
    EXPECT_NE(s.names[2].find("Outer"), std::string::npos) << s.names[2];
    EXPECT_NE(s.names[3].find("NamesAndLinesNearestFirst"), std::string::npos) << s.names[3];
    EXPECT_EQ(s.names[0].find('('), std::string::npos);  // no parameter list
    // Middle calls Innermost on the line after its own header.
    EXPECT_GT(s.lines[1], 0);
    EXPECT_GT(s.lines[2], s.lines[1]);
    EXPECT_EQ(s.past, "");
    EXPECT_EQ(rt::ProcLine(500), 0);
}
