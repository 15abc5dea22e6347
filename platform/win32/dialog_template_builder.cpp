#include "platform/win32/dialog_template_builder.h"

#include <string>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform::win32 {

namespace {

constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;
// The templates' font is a Japanese one.
constexpr uint8_t kShiftJisCharset = SHIFTJIS_CHARSET;

class TemplateWriter {
 public:
  void Word(uint16_t value) { m_data.push_back(value); }
  void DoubleWord(uint32_t value) {
    Word(static_cast<uint16_t>(value & 0xFFFF));
    Word(static_cast<uint16_t>(value >> 16));
  }
  void Text(const char* utf8) {
    for (wchar_t c : Widen(utf8 ? utf8 : "")) Word(static_cast<uint16_t>(c));
    Word(0);
  }
  // Each item starts on a DWORD boundary.
  void AlignToDoubleWord() {
    if (m_data.size() % 2) Word(0);
  }
  std::vector<uint16_t> Take() { return std::move(m_data); }

 private:
  std::vector<uint16_t> m_data;
};

}  // namespace

Win32Styles DialogStylesOf(const DialogTemplate& tpl) {
  Win32Styles s;
  s.style = DS_SETFONT;
  if (tpl.style & kCaption) s.style |= WS_CAPTION;
  if (tpl.style & kSysMenu) s.style |= WS_SYSMENU;
  if (tpl.style & kMinimizeBox) s.style |= WS_MINIMIZEBOX;
  if (tpl.style & kModalFrame) s.style |= DS_MODALFRAME;
  if (tpl.style & kVisible) s.style |= WS_VISIBLE;
  if (tpl.style & kPopup) s.style |= WS_POPUP;
  if (tpl.style & kAppWindow) s.exStyle |= WS_EX_APPWINDOW;
  if (tpl.style & kAcceptFiles) s.exStyle |= WS_EX_ACCEPTFILES;
  if (tpl.style & kToolWindow) s.exStyle |= WS_EX_TOOLWINDOW;
  return s;
}

Win32Styles ControlStylesOf(const ControlTemplate& control) {
  Win32Styles s;
  s.style = WS_CHILD | WS_VISIBLE;
  switch (control.kind) {
    case ControlKind::Edit:
      s.style |= ES_LEFT;
      if (control.style & kAutoHScroll) s.style |= ES_AUTOHSCROLL;
      if (control.style & kPassword) s.style |= ES_PASSWORD;
      if (control.style & kAlignRight) s.style |= ES_RIGHT;
      break;
    case ControlKind::PushButton:
      s.style |= BS_PUSHBUTTON;
      break;
    case ControlKind::DefPushButton:
      s.style |= BS_DEFPUSHBUTTON;
      break;
    case ControlKind::AutoRadioButton:
      s.style |= BS_AUTORADIOBUTTON;
      break;
    case ControlKind::AutoCheckBox:
      s.style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::GroupBox:
      s.style |= BS_GROUPBOX;
      break;
    case ControlKind::Static:
      s.style |= (control.style & kCenter) ? SS_CENTER : SS_LEFT;
      if (control.style & kCenterImage) s.style |= SS_CENTERIMAGE;
      break;
  }
  if (control.style & kTabStop) s.style |= WS_TABSTOP;
  if (control.style & kGroup) s.style |= WS_GROUP;
  if (control.style & kDisabled) s.style |= WS_DISABLED;
  if (control.style & kBorder) s.style |= WS_BORDER;
  if (control.style & kStaticEdge) s.exStyle |= WS_EX_STATICEDGE;
  return s;
}

uint16_t ControlClassAtom(ControlKind kind) {
  switch (kind) {
    case ControlKind::Edit:
      return kEditAtom;
    case ControlKind::Static:
      return kStaticAtom;
    default:
      return kButtonAtom;
  }
}

std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& tpl) {
  TemplateWriter out;
  const Win32Styles dialog = DialogStylesOf(tpl);
  out.Word(1);        // dlgVer
  out.Word(0xFFFF);   // signature: the extended template
  out.DoubleWord(0);  // helpID
  out.DoubleWord(dialog.exStyle);
  out.DoubleWord(dialog.style);
  out.Word(static_cast<uint16_t>(tpl.controls.size()));
  out.Word(0);  // x
  out.Word(0);  // y
  out.Word(static_cast<uint16_t>(tpl.cx));
  out.Word(static_cast<uint16_t>(tpl.cy));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(tpl.caption);
  out.Word(static_cast<uint16_t>(tpl.fontPoints));
  out.Word(FW_NORMAL);
  out.Word(static_cast<uint16_t>(kShiftJisCharset << 8));  // italic 0, then the charset
  out.Text(tpl.fontName);

  for (const ControlTemplate& control : tpl.controls) {
    out.AlignToDoubleWord();
    const Win32Styles s = ControlStylesOf(control);
    out.DoubleWord(0);  // helpID
    out.DoubleWord(s.exStyle);
    out.DoubleWord(s.style);
    out.Word(static_cast<uint16_t>(control.x));
    out.Word(static_cast<uint16_t>(control.y));
    out.Word(static_cast<uint16_t>(control.cx));
    out.Word(static_cast<uint16_t>(control.cy));
    out.DoubleWord(static_cast<uint32_t>(control.id));  // IDC_STATIC stays -1
    out.Word(0xFFFF);
    out.Word(ControlClassAtom(control.kind));
    out.Text(control.caption);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

}  // namespace platform::win32
