#pragma once
// The Windows headers, for every Win32 source of the platform. Include it
// after the platform's own headers: those declare functions and constants
// (FindFirstFile, SendMessage, IDOK, S_OK...) that the Windows headers
// define as macros, and a macro only changes what follows it. The A/W
// function aliases that would rename the platform's own definitions are
// removed here, so Win32 sources call the wide functions by their W names.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
// Also the shell's, which define more of the same kind.
#include <shellapi.h>
#include <shlobj.h>

#undef CopyFile
#undef DragQueryFile
#undef FindFirstFile
#undef GetDlgItemText
#undef GetDriveType
#undef GetPrivateProfileInt
#undef GetPrivateProfileString
#undef MessageBox
#undef SendMessage
#undef SetDlgItemText
#undef WritePrivateProfileString
