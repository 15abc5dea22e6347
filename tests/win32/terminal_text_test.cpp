// The program's UTF-8 texts at a Windows console and redirected to a file:
// the console shows the characters whatever its code page, a file gets the
// UTF-8 bytes.
#include "platform/terminal_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/win32/wide_text.h"
#include "tests/support/test_environment.h"
// Last: its macros would rename what the headers above declare.
#include "platform/win32/windows_api.h"

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
  const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  CONSOLE_SCREEN_BUFFER_INFO before{};
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(console, &before));
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_WRONLY);
  std::FILE* stream = ::_fdopen(fd, "w");
  ASSERT_NE(stream, nullptr);

  EXPECT_TRUE(platform::WriteTerminalText(stream, kText));
  const std::wstring expected = platform::win32::Widen(kText);
  EXPECT_EQ(ConsoleCharacters(console, before.dwCursorPosition,
                              static_cast<DWORD>(expected.size())),
            expected);
  std::fclose(stream);
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
