#pragma once
// Which links are kept: a link passes when one of the extensions of a
// selected category occurs anywhere in its lowercased text, or when every
// link is asked for.
#include <string>
#include <string_view>
#include <vector>

class CHarvestSettings;

// A copy with A-Z and the full-width capitals (U+FF21..U+FF3A) lowercased.
// Characters are converted whole; nothing else changes.
std::string LowercaseMultibyte(std::string_view text);

// Whether `needle` occurs in `text` at a position where a character starts.
bool ContainsAtCharacter(std::string_view text, std::string_view needle);

// The custom kind's extensions, each with its leading dot: the field (stored
// with one dot in front) holds one or several, separated by commas or
// blanks. One extension comes back as it is stored.
std::vector<std::string> CustomExtensions(const std::string& extent);

// Whether `line` passes the category table under the settings of `app`:
// a category takes part only when its flag is exactly 1.
bool LinkPassesFilter(std::string_view line, const CHarvestSettings& app);

// LinkPassesFilter for a whole list: the settings are read once, and the
// lowercased copy of each line reuses one buffer.
class LinkFilter {
 public:
  explicit LinkFilter(const CHarvestSettings& app);
  bool Passes(std::string_view line);

 private:
  bool PassesAscii(std::string_view line) const;

  // Lowercased, in the order of testing: those of ASCII alone, then the
  // others, which are looked for in m_lowered.
  std::vector<std::string> m_asciiNeedles;
  bool m_sharedStart = false;  // all of them begin with one byte, not a letter
  bool m_all = false;          // every link passes
  std::vector<std::string> m_needles;
  std::string m_lowered;
};
