#include "platform/gui/vkeys.h"

#include <Qt>

namespace gui {
namespace {

struct Pair {
    int qt;
    uint32_t vk;
};

constexpr Pair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK},    {Qt::Key_Tab, VK_TAB},       {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},     {Qt::Key_Enter, VK_RETURN},  {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},   {Qt::Key_Alt, VK_MENU},      {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL},  {Qt::Key_Escape, VK_ESCAPE}, {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},      {Qt::Key_PageDown, VK_NEXT}, {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},         {Qt::Key_Left, VK_LEFT},     {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},       {Qt::Key_Down, VK_DOWN},     {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},     {Qt::Key_Plus, VK_ADD},      {Qt::Key_Minus, VK_SUBTRACT},
    {Qt::Key_Asterisk, VK_MULTIPLY}, {Qt::Key_Slash, VK_DIVIDE},  {Qt::Key_Period, VK_DECIMAL},
    {Qt::Key_Comma, VK_OEM_COMMA},
};

// The same keys on the main block, where they differ from the keypad's.
constexpr Pair kMainKeys[] = {
    {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Minus, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD},
};

}  // namespace

uint32_t VirtualKeyFromQt(int qtKey, bool keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint32_t>(qtKey);  // '0'..'9'
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<uint32_t>(qtKey);  // 'A'..'Z'
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return VK_F1 + static_cast<uint32_t>(qtKey - Qt::Key_F1);
    if (!keypad)
        for (const Pair& p : kMainKeys)
            if (p.qt == qtKey) return p.vk;
    for (const Pair& p : kKeys)
        if (p.qt == qtKey) return p.vk;
    return 0;
}

int QtKeyFromVirtualKey(uint32_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return static_cast<int>(vk);
    if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    for (const Pair& p : kKeys)
        if (p.vk == vk) return p.qt;
    for (const Pair& p : kMainKeys)
        if (p.vk == vk) return p.qt;
    return 0;
}

}  // namespace gui
