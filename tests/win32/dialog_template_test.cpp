// Each template table built as a real Win32 dialog: Windows must see every
// control with the table's id, class, text, styles and place.
#include "platform/win32/dialog_template_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/wide_text.h"
#include "resources/dialog_templates.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

using platform::ControlTemplate;
using platform::DialogTemplate;
using platform::win32::Narrow;

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::string TextOf(HWND window) {
  wchar_t text[512];
  const int n = ::GetWindowTextW(window, text, 512);
  return Narrow(std::wstring_view(text, static_cast<size_t>(n)));
}

std::string ClassOf(HWND window) {
  wchar_t name[64];
  const int n = ::GetClassNameW(window, name, 64);
  return Narrow(std::wstring_view(name, static_cast<size_t>(n)));
}

const char* ExpectedClass(platform::ControlKind kind) {
  switch (kind) {
    case platform::ControlKind::Edit:
      return "Edit";
    case platform::ControlKind::Static:
      return "Static";
    default:
      return "Button";
  }
}

class DialogTemplates : public ::testing::TestWithParam<const DialogTemplate*> {};

TEST_P(DialogTemplates, WindowsBuildsEveryControlAsTheTableSays) {
  const DialogTemplate& tpl = *GetParam();
  const std::vector<uint16_t> data = platform::win32::BuildDialogTemplate(tpl);
  HWND dialog = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
                                             nullptr, QuietProc, 0);
  ASSERT_NE(dialog, nullptr) << "error " << ::GetLastError();

  EXPECT_EQ(TextOf(dialog), tpl.caption);
  const auto dialogStyles = platform::win32::DialogStylesOf(tpl);
  const DWORD keptDialogStyle =
      dialogStyles.style & ~static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME);
  EXPECT_EQ(::GetWindowLongW(dialog, GWL_STYLE) & keptDialogStyle, keptDialogStyle);
  EXPECT_EQ(::GetWindowLongW(dialog, GWL_EXSTYLE) & dialogStyles.exStyle, dialogStyles.exStyle);
  RECT client;
  ::GetClientRect(dialog, &client);
  RECT size{0, 0, tpl.cx, tpl.cy};
  ::MapDialogRect(dialog, &size);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  // The children come in template order, which is the tab order.
  HWND child = ::GetWindow(dialog, GW_CHILD);
  for (const ControlTemplate& c : tpl.controls) {
    SCOPED_TRACE(std::string(c.caption) + " #" + std::to_string(c.id));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(static_cast<int>(::GetWindowLongPtrW(child, GWLP_ID)), c.id);
    EXPECT_EQ(ClassOf(child), ExpectedClass(c.kind));
    EXPECT_EQ(TextOf(child), c.caption);

    const auto styles = platform::win32::ControlStylesOf(c);
    // A bordered edit is drawn sunken: the dialog manager trades WS_BORDER
    // for a client edge.
    const DWORD style = ::GetWindowLongW(child, GWL_STYLE);
    const DWORD exStyle = ::GetWindowLongW(child, GWL_EXSTYLE);
    const DWORD expected = styles.style & ~static_cast<DWORD>(WS_BORDER);
    EXPECT_EQ(style & expected, expected) << std::hex << style << " " << expected;
    if (styles.style & WS_BORDER) {
      EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
    }
    EXPECT_EQ(exStyle & styles.exStyle, styles.exStyle);

    // Windows converts the place and the size each on its own.
    RECT placeAndSize{c.x, c.y, c.cx, c.cy};
    ::MapDialogRect(dialog, &placeAndSize);
    const RECT expectedRect{placeAndSize.left, placeAndSize.top,
                            placeAndSize.left + placeAndSize.right,
                            placeAndSize.top + placeAndSize.bottom};
    RECT actual;
    ::GetWindowRect(child, &actual);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expectedRect.left);
    EXPECT_EQ(actual.top, expectedRect.top);
    EXPECT_EQ(actual.right, expectedRect.right);
    EXPECT_EQ(actual.bottom, expectedRect.bottom);
    child = ::GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr) << "no control beyond the table";
  ::DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(All, DialogTemplates,
                         ::testing::Values(&resources::kMainDialog,
                                           &resources::kExtractSettingsDialog,
                                           &resources::kPasswordDialog));

}  // namespace
