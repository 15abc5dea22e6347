// The program's UTF-8 texts at a Windows console and redirected to a file:
// the console shows the characters whatever its code page, a file gets the
// UTF-8 bytes.
#include "platform/terminal_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/windows/wide_text.h"
#include "tests/support/test_environment.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

constexpr char kText[] = "ｻｰﾊﾞｰに接続 é";

// The characters a console shows from `from` on, `count` of them.
std::wstring ConsoleCharacters(HANDLE console, COORD from, DWORD count) {
  std::wstring shown(count, L'\0');
  DWORD read = 0;
  ::ReadConsoleOutputCharacterW(console, shown.data(), count, from, &read);
  shown.resize(read);
  return shown;
}

TEST(TerminalText, AConsoleShowsTheCharactersWhateverItsCodePage) {
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole());
  // A code page in which the UTF-8 bytes would show as other characters.
  ::SetConsoleOutputCP(1252);
  const HANDLE console =
      ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  CONSOLE_SCREEN_BUFFER_INFO before{};
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(console, &before));
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_WRONLY);
  std::FILE* stream = ::_fdopen(fd, "w");
  ASSERT_NE(stream, nullptr);

  EXPECT_TRUE(platform::WriteTerminalText(stream, kText));
  const std::wstring expected = platform::win32::Widen(kText);
  EXPECT_EQ(
      ConsoleCharacters(console, before.dwCursorPosition, static_cast<DWORD>(expected.size())),
      expected);
  std::fclose(stream);
  ::FreeConsole();
}

// Types `text` at the console as key presses, then Enter.
void Type(HANDLE input, const std::wstring& text) {
  std::vector<INPUT_RECORD> keys;
  for (const wchar_t c : text + L"\r") {
    for (const BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD key{};
      key.EventType = KEY_EVENT;
      key.Event.KeyEvent.bKeyDown = down;
      key.Event.KeyEvent.wRepeatCount = 1;
      key.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
      key.Event.KeyEvent.uChar.UnicodeChar = c;
      keys.push_back(key);
    }
  }
  DWORD written = 0;
  ::WriteConsoleInputW(input, keys.data(), static_cast<DWORD>(keys.size()), &written);
}

TEST(TerminalText, ALineTypedAtAConsoleArrivesAsUtf8WhateverItsCodePage) {
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole());
  ::SetConsoleCP(1252);
  const HANDLE input =
      ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(input), _O_RDONLY);
  Type(input, L"名前ｱ pass");
  Type(input, L"second");
  std::string line;
  EXPECT_EQ(platform::ReadConsoleLine(fd, line), platform::ConsoleRead::kLine);
  EXPECT_EQ(line, "名前ｱ pass");
  EXPECT_EQ(platform::ReadConsoleLine(fd, line), platform::ConsoleRead::kLine);
  EXPECT_EQ(line, "second") << "one line a read";
  ::_close(fd);
  ::FreeConsole();
}

TEST(TerminalText, AFileGetsTheUtf8Bytes) {
  testing_support::TestEnvironment env;
  const std::string path = env.Path("out.txt");
  std::FILE* stream = std::fopen(path.c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  std::fputs("before ", stream);  // what the runtime holds stays first
  EXPECT_TRUE(platform::WriteTerminalText(stream, kText));
  std::fclose(stream);
  EXPECT_EQ(testing_support::ReadBytes(path), std::string("before ") + kText);
}

}  // namespace
