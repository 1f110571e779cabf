// The program's question boxes.
#pragma once

#include <string>

namespace appkit {

// A Yes/No question box with no owner, the question-mark icon, No as the
// default button, task-modal and always on top. Returns 6 (Yes) or 7 (No).
int QZYesNoBox(const std::string& caption, const std::string& text);
// True when the operator answered Yes.
bool QZProceed(const std::string& caption, const std::string& text);
// Asks until the operator answers Yes; always true.
bool QZContinue(const std::string& caption, const std::string& text);

}  // namespace appkit
