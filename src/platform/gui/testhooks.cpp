#include "platform/gui/testhooks.h"

#include <tuple>
#include <utility>

namespace gui {
namespace {

struct State {
    bool on = false;
    std::deque<int> boxAnswers;
    std::deque<std::pair<std::string, bool>> fileAnswers;
    std::vector<ShownBox> boxes;
    std::vector<ShownDialog> dialogs;
    void (*onBox)(const ShownBox&) = nullptr;
};

State& S() {
    static State s;
    return s;
}

}  // namespace

bool TestHooks::On() { return S().on; }
void TestHooks::SetOn(bool on) { S().on = on; }
void TestHooks::AnswerBox(int buttonId) { S().boxAnswers.push_back(buttonId); }
void TestHooks::AnswerFile(const std::string& fileName, bool readOnly) {
    S().fileAnswers.emplace_back(fileName, readOnly);
}
std::vector<ShownBox>& TestHooks::Boxes() { return S().boxes; }
std::vector<ShownDialog>& TestHooks::Dialogs() { return S().dialogs; }

void TestHooks::Clear() {
    bool on = S().on;
    S() = State{};
    S().on = on;
}

bool TestHooks::TakeBoxAnswer(int& answer) {
    if (S().boxAnswers.empty()) return false;
    answer = S().boxAnswers.front();
    S().boxAnswers.pop_front();
    return true;
}

bool TestHooks::TakeFileAnswer(std::string& fileName, bool& readOnly) {
    if (S().fileAnswers.empty()) return false;
    std::tie(fileName, readOnly) = S().fileAnswers.front();
    S().fileAnswers.pop_front();
    return true;
}

void TestHooks::SetOnBox(void (*fn)(const ShownBox&)) { S().onBox = fn; }
void TestHooks::NotifyBox(const ShownBox& box) {
    if (S().onBox) S().onBox(box);
}

}  // namespace gui
