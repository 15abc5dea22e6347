#pragma once
// The names pages give their encodings (`charset=...`, `<meta charset>`) and
// the encoding each name stands for, as browsers read them: a page that
// says "x-sjis" or "iso-8859-1" is read the way a browser would read it
// (the second as windows-1252, for one).
#include <optional>
#include <string_view>

namespace platform {

// The encoding `label` names, spelled as the web spells it ("UTF-8",
// "Shift_JIS", "EUC-JP", "ISO-2022-JP", "windows-1252", "UTF-16LE",
// "replacement", ...), or nothing for a label no browser knows. Case does
// not matter; ASCII whitespace around the label is ignored.
std::optional<std::string_view> EncodingForLabel(std::string_view label);

}  // namespace platform
