// Keys as the application's handlers see them: Win32 virtual-key codes.
#pragma once

#include "platform/gui/messages.h"

#include <cstdint>

namespace gui {

enum VirtualKey : uint32_t {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
    VK_F2 = 0x71,
    VK_F4 = 0x73,
    VK_F12 = 0x7B,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
    VK_MULTIPLY = 0x6A,
    VK_DIVIDE = 0x6F,
    VK_DECIMAL = 0x6E,
    VK_OEM_PLUS = 0xBB,
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD,
    VK_OEM_PERIOD = 0xBE,
};

// The virtual-key code of a Qt key (Qt::Key value), 0 when there is none.
// As in Win32, + - . on the numeric keypad (Qt's keypad modifier) have codes
// of their own (VK_ADD, VK_SUBTRACT, VK_DECIMAL); on the main keys they are
// VK_OEM_PLUS, VK_OEM_MINUS, VK_OEM_PERIOD.
uint32_t VirtualKeyFromQt(int qtKey, bool keypad = false);
// The Qt key of a virtual-key code, 0 when there is none.
int QtKeyFromVirtualKey(uint32_t vk);

}  // namespace gui
