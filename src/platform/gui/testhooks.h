// Test hooks of the message boxes and the standard dialogs. While the hooks
// are on, no box or dialog is shown: each one records what it would have
// shown and takes the next scripted answer (or its default answer when none
// is scripted), so that no test waits on a person.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace gui {

struct ShownBox {
    std::string caption;
    std::string text;
    uint32_t type = 0;
    bool beep = false;
};

struct ShownDialog {
    std::string kind;      // "open", "save", "printer"
    std::string proposed;  // proposed file name or filter
    uint32_t flags = 0;
};

class TestHooks {
public:
    static bool On();
    static void SetOn(bool on);
    // Scripted answers, taken in order: button ids for message boxes
    // (1 OK, 2 Cancel, 6 Yes, 7 No), file names for file dialogs ("" = cancel).
    static void AnswerBox(int buttonId);
    static void AnswerFile(const std::string& fileName, bool readOnly = false);
    static std::vector<ShownBox>& Boxes();
    static std::vector<ShownDialog>& Dialogs();
    // Forgets answers and records.
    static void Clear();

    // Used by the boxes and dialogs themselves.
    static bool TakeBoxAnswer(int& answer);
    static bool TakeFileAnswer(std::string& fileName, bool& readOnly);

    // Called when a box is about to be shown (after it is recorded), with the
    // hooks on; a test may act from here, e.g. to check state at that moment.
    static void SetOnBox(void (*fn)(const ShownBox&));
    static void NotifyBox(const ShownBox& box);
};

}  // namespace gui
