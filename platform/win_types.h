#pragma once
// The few framework types and constants the program is written against:
// command ids, message-box kinds and results, check states, what a window
// watches.
#include <cstdint>

namespace platform {

using BOOL = int;
using UINT = unsigned int;

// What a window's event loop can watch until it is ready: a descriptor that
// has input on POSIX, the value of a handle that is signalled on Windows.
using WatchHandle = std::intptr_t;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// Message-box type bits: only OK buttons are used; the icon is one of these.
inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_ICONERROR = 0x10;    // 16, the error (hand) icon
inline constexpr UINT MB_ICONWARNING = 0x30;  // 48, the exclamation icon
inline constexpr UINT MB_ICONMASK = 0xF0;

inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

}  // namespace platform
