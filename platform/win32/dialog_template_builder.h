#pragma once
// A template table turned into the in-memory extended dialog template
// (DLGTEMPLATEEX and its items) that DialogBoxIndirectParamW and
// CreateDialogIndirectParamW take, so that Windows itself lays the dialog
// out in dialog units of the template's font.
#include <cstdint>
#include <vector>

#include "platform/dialog_template.h"

namespace platform::win32 {

// The Win32 window and extended styles a table entry stands for.
struct Win32Styles {
  uint32_t style = 0;
  uint32_t exStyle = 0;
};
Win32Styles DialogStylesOf(const DialogTemplate& tpl);
Win32Styles ControlStylesOf(const ControlTemplate& control);

// The predefined window class of a control kind: 0x0080 Button, 0x0081 Edit,
// 0x0082 Static.
uint16_t ControlClassAtom(ControlKind kind);

// The whole template, WORD-aligned data to pass as LPCDLGTEMPLATEW.
std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& tpl);

}  // namespace platform::win32
