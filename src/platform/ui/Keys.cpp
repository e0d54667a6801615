#include "platform/ui/Keys.h"

namespace {

struct KeyPair {
    int key;
    bool keypad;
    UINT vk;
};

// Keys whose codes are not their character codes. The shifted digits of the
// main row give the digit's code, as on a US keyboard.
constexpr KeyPair kPairs[] = {
    {Qt::Key_Backspace, false, VK_BACK},  {Qt::Key_Tab, false, VK_TAB},
    {Qt::Key_Return, false, VK_RETURN},   {Qt::Key_Enter, true, VK_RETURN},
    {Qt::Key_Shift, false, VK_SHIFT},     {Qt::Key_Control, false, VK_CONTROL},
    {Qt::Key_Alt, false, VK_MENU},        {Qt::Key_Escape, false, VK_ESCAPE},
    {Qt::Key_Space, false, VK_SPACE},     {Qt::Key_PageUp, false, VK_PRIOR},
    {Qt::Key_PageDown, false, VK_NEXT},   {Qt::Key_End, false, VK_END},
    {Qt::Key_Home, false, VK_HOME},       {Qt::Key_Left, false, VK_LEFT},
    {Qt::Key_Up, false, VK_UP},           {Qt::Key_Right, false, VK_RIGHT},
    {Qt::Key_Down, false, VK_DOWN},       {Qt::Key_Insert, false, VK_INSERT},
    {Qt::Key_Delete, false, VK_DELETE},   {Qt::Key_Asterisk, true, VK_MULTIPLY},
    {Qt::Key_Plus, true, VK_ADD},         {Qt::Key_Minus, true, VK_SUBTRACT},
    {Qt::Key_Period, true, VK_DECIMAL},   {Qt::Key_Comma, true, VK_DECIMAL},
    {Qt::Key_Slash, true, VK_DIVIDE},     {Qt::Key_Plus, false, VK_OEM_PLUS},
    {Qt::Key_Equal, false, VK_OEM_PLUS},  {Qt::Key_Minus, false, VK_OEM_MINUS},
    {Qt::Key_Underscore, false, VK_OEM_MINUS}, {Qt::Key_Comma, false, VK_OEM_COMMA},
    {Qt::Key_Period, false, VK_OEM_PERIOD},
    {Qt::Key_Exclam, false, '1'},         {Qt::Key_At, false, '2'},
    {Qt::Key_NumberSign, false, '3'},     {Qt::Key_Dollar, false, '4'},
    {Qt::Key_Percent, false, '5'},        {Qt::Key_AsciiCircum, false, '6'},
    {Qt::Key_Ampersand, false, '7'},      {Qt::Key_Asterisk, false, '8'},
    {Qt::Key_ParenLeft, false, '9'},      {Qt::Key_ParenRight, false, '0'},
};

}  // namespace

UINT VirtualKeyFromQt(int key, bool keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? VK_NUMPAD0 + static_cast<UINT>(key - Qt::Key_0) : static_cast<UINT>(key);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<UINT>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    for (const auto& p : kPairs)
        if (p.key == key && p.keypad == keypad) return p.vk;
    // A keypad key without a keypad meaning (Home on the keypad, ...).
    if (keypad) return VirtualKeyFromQt(key, false);
    return 0;
}

bool QtKeyFromVirtualKey(UINT vk, int* key, bool* keypad) {
    *keypad = false;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
        *key = static_cast<int>(vk);
        return true;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
        *key = Qt::Key_0 + static_cast<int>(vk - VK_NUMPAD0);
        *keypad = true;
        return true;
    }
    if (vk >= VK_F1 && vk <= VK_F12) {
        *key = Qt::Key_F1 + static_cast<int>(vk - VK_F1);
        return true;
    }
    for (const auto& p : kPairs) {
        if (p.vk == vk && !(p.vk >= '0' && p.vk <= '9')) {
            *key = p.key;
            *keypad = p.keypad;
            return true;
        }
    }
    return false;
}
