#pragma once
// A dialog template as data: the window's styles, font and size, and its
// controls in template order (which is the tab order), with positions in
// dialog units. Every backend builds its windows from these tables.
#include <span>

namespace platform {

enum class ControlKind {
  Edit,
  PushButton,
  DefPushButton,
  AutoRadioButton,
  AutoCheckBox,
  GroupBox,
  Static,
};

// Control style bits, named after the Windows styles they stand for.
enum ControlStyle : unsigned {
  kTabStop = 1u << 0,      // WS_TABSTOP
  kGroup = 1u << 1,        // WS_GROUP: starts a radio group and a tab group
  kDisabled = 1u << 2,     // WS_DISABLED: starts disabled
  kBorder = 1u << 3,       // WS_BORDER
  kAutoHScroll = 1u << 4,  // ES_AUTOHSCROLL
  kPassword = 1u << 5,     // ES_PASSWORD: typed characters shown masked
  kAlignRight = 1u << 6,   // ES_RIGHT
  kAlignLeft = 1u << 7,    // SS_LEFT
  kCenter = 1u << 8,       // SS_CENTER: centred horizontally
  kCenterImage = 1u << 9,  // SS_CENTERIMAGE: centred vertically
  kStaticEdge = 1u << 10,  // WS_EX_STATICEDGE
};

// Window style bits of a dialog.
enum DialogStyle : unsigned {
  kCaption = 1u << 0,      // WS_CAPTION
  kSysMenu = 1u << 1,      // WS_SYSMENU: close box
  kMinimizeBox = 1u << 2,  // WS_MINIMIZEBOX
  kModalFrame = 1u << 3,   // DS_MODALFRAME: fixed size
  kVisible = 1u << 4,      // WS_VISIBLE
  kPopup = 1u << 5,        // WS_POPUP
  kAppWindow = 1u << 6,    // WS_EX_APPWINDOW: taskbar button
  kAcceptFiles = 1u << 7,  // WS_EX_ACCEPTFILES: drop target for files
  kToolWindow = 1u << 8,   // WS_EX_TOOLWINDOW: small caption, no taskbar button
};

struct ControlTemplate {
  int id;  // IDC_STATIC (-1) for controls without one
  ControlKind kind;
  const char* caption;  // UTF-8, as shown
  unsigned style;       // ControlStyle bits
  int x, y, cx, cy;     // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;
  unsigned style;  // DialogStyle bits
  const char* fontName;
  int fontPoints;
  int cx, cy;  // dialog units
  std::span<const ControlTemplate> controls;

  // The control with this id, or nullptr.
  const ControlTemplate* Find(int controlId) const {
    for (const auto& c : controls)
      if (c.id == controlId && controlId != -1) return &c;
    return nullptr;
  }
};

}  // namespace platform
