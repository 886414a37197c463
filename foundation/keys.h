#pragma once
// The games' key handlers speak Windows virtual-key numbers (13 Return, 32
// space, 37-40 arrows, 113 F2, 116-119 F5-F8, ...). This is the one place
// where Qt's key codes become those numbers.
#include <Qt>

class QKeyEvent;

namespace foundation {

enum VirtualKey : int {
  VK_BACK = 8, VK_TAB = 9, VK_CLEAR = 12, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
  VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35,
  VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_SELECT = 41, VK_PRINT = 42,
  VK_SNAPSHOT = 44, VK_INSERT = 45, VK_DELETE = 46, VK_HELP = 47, VK_LWIN = 91, VK_RWIN = 92, VK_APPS = 93,
  VK_NUMPAD0 = 96, VK_MULTIPLY = 106, VK_ADD = 107, VK_SEPARATOR = 108, VK_SUBTRACT = 109, VK_DECIMAL = 110,
  VK_DIVIDE = 111, VK_F1 = 112, VK_F2 = 113, VK_F3 = 114, VK_F4 = 115, VK_F5 = 116, VK_F6 = 117, VK_F7 = 118,
  VK_F8 = 119, VK_F9 = 120, VK_F10 = 121, VK_F11 = 122, VK_F12 = 123, VK_F24 = 135, VK_NUMLOCK = 144,
  VK_SCROLL = 145, VK_OEM_1 = 186, VK_OEM_PLUS = 187, VK_OEM_COMMA = 188, VK_OEM_MINUS = 189,
  VK_OEM_PERIOD = 190, VK_OEM_2 = 191, VK_OEM_3 = 192, VK_OEM_4 = 219, VK_OEM_5 = 220, VK_OEM_6 = 221,
  VK_OEM_7 = 222, VK_OEM_102 = 226,
};

// The Windows key number of a Qt key; keypad digits and operators (with
// Qt::KeypadModifier) give the numeric-pad numbers. Shifted punctuation gives
// the number of its unshifted key on a US layout ("!" is the "1" key). 0 for
// keys Windows has no number for.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
int VirtualKeyFromEvent(const QKeyEvent& event);

}  // namespace foundation
