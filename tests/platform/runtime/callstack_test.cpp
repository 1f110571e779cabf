#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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

namespace probe {
namespace {

// A function whose name carries an ABI tag (it returns std::string), in an
// unnamed namespace, called through std::function, as menu commands and
// error blocks are called.
__attribute__((noinline)) std::string Tagged(std::vector<rt::Activation>& out) {
    out = rt::CallStack();
    asm volatile("");
    return "x";
}

}  // namespace
}  // namespace probe

TEST(CallStack, NoAbiTagsAndNoStandardLibraryFrames) {
    std::vector<rt::Activation> stack;
    std::function<void()> call = [&] { probe::Tagged(stack); };
    call();
    ASSERT_FALSE(stack.empty());
    // With its namespace where the debug information has it (clang's),
    // without it where not (GCC's -g1); never cut at the unnamed namespace.
    EXPECT_TRUE(stack[0].name == "probe::Tagged" || stack[0].name == "Tagged") << stack[0].name;
    for (const rt::Activation& a : stack) {
        EXPECT_EQ(a.name.find("[abi:"), std::string::npos) << a.name;
        EXPECT_EQ(a.name.find("std::"), std::string::npos) << a.name;
        EXPECT_EQ(a.name.find("function"), std::string::npos) << a.name;
        EXPECT_EQ(a.name.find("_M_invoke"), std::string::npos) << a.name;
    }
}
