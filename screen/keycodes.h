#pragma once

#include <cstdint>

class QKeyEvent;

namespace screen {

// Key codes and character codes as the window's handlers see them.
inline constexpr int16_t kKeyEnter = 13;
inline constexpr int16_t kKeyEscape = 27;
inline constexpr int16_t kKeyUp = 38;
inline constexpr int16_t kKeyDown = 40;
inline constexpr int16_t kCharBackspace = 8;
inline constexpr int16_t kCharReturn = 13;
inline constexpr int16_t kCharEscape = 27;
inline constexpr int16_t kCharSpace = 32;

// Windows virtual-key code of a Qt key event (0 when it has none).
int16_t KeyCodeOf(const QKeyEvent* event);
// Modifier mask: 1 Shift, 2 Ctrl, 4 Alt.
int16_t ShiftOf(const QKeyEvent* event);
// Character code of the key, or -1 when the key types no single UTF-16
// character. Codes above 0x7FFF come out negative (the 16-bit pattern).
int KeyAsciiOf(const QKeyEvent* event);

}  // namespace screen
