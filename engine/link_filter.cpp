#include "engine/link_filter.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <initializer_list>

#include "platform/utf8.h"
#include "settings/harvest_settings.h"

namespace {

struct Category {
  int CHarvestSettings::*flag;
  std::initializer_list<const char*> extensions;
};

// In the order of testing; the custom extension comes last.
const Category kCategories[] = {
    {&CHarvestSettings::m_bImage, {".jpg", ".jpeg", ".gif"}},
    {&CHarvestSettings::m_bExe, {".exe"}},
    {&CHarvestSettings::m_bArchive, {".lzh", ".zip"}},
    {&CHarvestSettings::m_bWave, {".wav", ".aiff", ".mid", ".mp3"}},
    {&CHarvestSettings::m_bMovie, {".avi", ".mov", ".mpg", ".mpeg"}},
};

// Lowercases `text` where it stands; the rule of LowercaseMultibyte.
void LowercaseInPlace(std::string& text) {
  char* const data = text.data();  // a char store could alias text's size
  const std::string_view view(data, text.size());
  for (size_t pos = 0; pos < view.size();) {
    unsigned char c = static_cast<unsigned char>(data[pos]);
    if (c < 0x80) {  // most of a link: a single-byte character
      if (c >= 'A' && c <= 'Z') data[pos] = static_cast<char>(c + ('a' - 'A'));
      ++pos;
      continue;
    }
    size_t length = platform::Utf8CharacterLength(view, pos);
    if (length == 3 && c == 0xEF && static_cast<unsigned char>(data[pos + 1]) == 0xBC) {
      // Full-width Ａ..Ｚ are EF BC A1..BA; ａ..ｚ are EF BD 81..9A.
      unsigned char t = static_cast<unsigned char>(data[pos + 2]);
      if (t >= 0xA1 && t <= 0xBA) {
        data[pos + 1] = static_cast<char>(0xBD);
        data[pos + 2] = static_cast<char>(t - 0x20);
      }
    }
    pos += length;
  }
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where the character that holds `text[pos]` starts, as a walk from the
// start of `text` finds it. Any byte but 80..BF starts a character; one of
// those continues a character only when a lead at most three bytes before
// it reaches it.
size_t CharacterStartAtOrBefore(std::string_view text, size_t pos) {
  for (size_t lead = pos; lead > 0 && pos - lead < 3 && IsContinuationByte(text[lead]);) {
    --lead;
    if (!IsContinuationByte(text[lead]))
      return lead + platform::Utf8CharacterLength(text, lead) > pos ? lead : pos;
  }
  return pos;
}

// `pos`, or the end of the character that holds `text[pos]`.
size_t CharacterEndAtOrAfter(std::string_view text, size_t pos) {
  if (pos >= text.size()) return text.size();
  const size_t lead = CharacterStartAtOrBefore(text, pos);
  return lead == pos ? pos : lead + platform::Utf8CharacterLength(text, lead);
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Whether the bytes at `p` after the first are those of `needle` after its
// first, A-Z taken as a-z; `p` holds at least needle.size() bytes.
bool MatchesAfterFirst(const char* p, std::string_view needle) {
  size_t i = 1;
  while (i < needle.size() && AsciiLower(p[i]) == needle[i]) ++i;
  return i == needle.size();
}

// Whether `needle` (ASCII, lowercased) occurs in the lowercased `text`,
// without lowercasing it: an ASCII byte is always a character of its own, so
// only ASCII bytes can match, and of those lowercasing changes A-Z alone.
bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  if (text.size() < needle.size()) return false;
  const char first = needle[0];
  const char* p = text.data();
  const char* const last = text.data() + (text.size() - needle.size());
  const bool letter = first >= 'a' && first <= 'z';
  for (; p <= last; ++p) {
    if (!letter) {
      // The usual case, a needle that starts with ".": straight to it.
      p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
      if (!p) return false;
    } else if (AsciiLower(*p) != first) {
      continue;
    }
    if (MatchesAfterFirst(p, needle)) return true;
  }
  return false;
}

}  // namespace

std::string LowercaseMultibyte(std::string_view text) {
  std::string out(text);
  LowercaseInPlace(out);
  return out;
}

bool ContainsAtCharacter(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  // A needle that starts with a single-byte character can only match at a
  // character's start: such a byte is never part of a longer character.
  if (static_cast<unsigned char>(needle[0]) < 0x80) return text.find(needle) != text.npos;
  for (size_t pos = 0; pos + needle.size() <= text.size();
       pos += platform::Utf8CharacterLength(text, pos)) {
    if (std::memcmp(text.data() + pos, needle.data(), needle.size()) == 0) return true;
  }
  return false;
}

std::vector<std::string> CustomExtensions(const std::string& extent) {
  // Commas and blanks, also as a Japanese keyboard types them: "，" "、" "　".
  static constexpr std::string_view kSeparators[] = {",", " ", "\t", "，", "、", "　"};
  std::vector<std::string> extensions(1);
  for (size_t pos = 0; pos < extent.size();) {
    size_t separator = 0;
    for (std::string_view s : kSeparators)
      if (extent.compare(pos, s.size(), s) == 0) separator = s.size();
    if (separator) {
      if (!extensions.back().empty()) extensions.emplace_back();
      pos += separator;
      continue;
    }
    const size_t length = platform::Utf8CharacterLength(extent, pos);
    extensions.back().append(extent, pos, length);
    pos += length;
  }
  if (extensions.back().empty()) extensions.pop_back();
  // One extension (or none) is the field as it has always been read.
  if (extensions.size() <= 1) return {extent};
  // The field is stored with one dot in front; the others get theirs, and
  // a dot standing alone between separators names nothing.
  std::vector<std::string> dotted;
  for (std::string& extension : extensions) {
    if (extension == ".") continue;
    if (extension[0] != '.') extension.insert(extension.begin(), '.');
    dotted.push_back(std::move(extension));
  }
  return dotted;
}

bool LinkPassesFilter(std::string_view line, const CHarvestSettings& app) {
  return LinkFilter(app).Passes(line);
}

LinkFilter::LinkFilter(const CHarvestSettings& app) {
  for (const Category& category : kCategories) {
    if (app.*category.flag != 1) continue;
    for (const char* extension : category.extensions) m_needles.emplace_back(extension);
  }
  m_all = app.m_bAllLinks == 1;
  if (app.m_bExtra == 1)
    for (const std::string& extension : CustomExtensions(app.m_strExtent))
      m_needles.push_back(LowercaseMultibyte(extension));
  // Moved in the order of testing: which needle matches first changes
  // nothing but the time.
  auto ascii = std::stable_partition(m_needles.begin(), m_needles.end(),
                                     [](const std::string& n) { return IsAscii(n); });
  m_asciiNeedles.assign(std::make_move_iterator(m_needles.begin()), std::make_move_iterator(ascii));
  m_needles.erase(m_needles.begin(), ascii);
  // The categories' extensions all begin with ".": one search for each "."
  // of a line serves them all.
  m_sharedStart = !m_asciiNeedles.empty();
  for (const std::string& needle : m_asciiNeedles) {
    if (needle.empty() || needle[0] != m_asciiNeedles[0][0] ||
        (needle[0] >= 'a' && needle[0] <= 'z'))
      m_sharedStart = false;
  }
}

bool LinkFilter::PassesAscii(std::string_view line) const {
  if (!m_sharedStart) {
    for (const std::string& needle : m_asciiNeedles)
      if (ContainsIgnoringAsciiCase(line, needle)) return true;
    return false;
  }
  const char first = m_asciiNeedles[0][0];
  const char* const end = line.data() + line.size();
  for (const char* p = line.data(); p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(end - p)));
    if (!p) return false;
    const size_t left = static_cast<size_t>(end - p);
    for (const std::string& needle : m_asciiNeedles)
      if (needle.size() <= left && MatchesAfterFirst(p, needle)) return true;
  }
  return false;
}

bool LinkFilter::Passes(std::string_view line) {
  if (m_all) return true;
  // ASCII needles (the categories' own, and most custom ones) are looked
  // for in the line as it is; only the others need the lowercased copy.
  if (PassesAscii(line)) return true;
  if (m_needles.empty()) return false;
  // A long line is lowercased a window at a time, so that a link of any
  // length costs no lowercased copy of itself. Each window reaches the
  // longest needle less one byte into the next, so no match is lost at a
  // seam, and both its ends fall between characters, so the search steps
  // through the same characters as over the whole line.
  size_t longest = 0;
  for (const std::string& needle : m_needles) longest = std::max(longest, needle.size());
  constexpr size_t kWindow = 256 * 1024;
  for (size_t start = 0;;) {
    size_t next = line.size(), end = line.size();
    if (line.size() - start > kWindow + longest) {
      next = CharacterStartAtOrBefore(line, start + kWindow);
      end = CharacterEndAtOrAfter(line, next + longest);
    }
    m_lowered.assign(line.substr(start, end - start));
    LowercaseInPlace(m_lowered);
    for (const std::string& needle : m_needles)
      if (ContainsAtCharacter(m_lowered, needle)) return true;
    if (next == line.size()) return false;
    start = next;
  }
}
