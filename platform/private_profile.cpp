#include "platform/private_profile.h"

#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/file_io.h"

namespace platform {

namespace {

// A profile is a few hundred bytes. Anything past this is not one we wrote;
// it is left alone and read as missing.
constexpr size_t kMaxProfileSize = 16 * 1024 * 1024;

using file_io::LoadResult;

LoadResult LoadFile(const std::string& path, std::string& content) {
  return file_io::LoadWholeFile(path, kMaxProfileSize, content);
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// One line of the file: its text without the line end, and the line end as
// it stood ("\r\n", "\n" or nothing for a last line without one).
struct Line {
  std::string_view text;
  std::string_view eol;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t lf = content.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.push_back({content.substr(pos), {}});
      break;
    }
    size_t end = lf;
    if (end > pos && content[end - 1] == '\r') --end;
    lines.push_back({content.substr(pos, end - pos), content.substr(end, lf + 1 - end)});
    pos = lf + 1;
  }
  return lines;
}

// A "[name]" header: the name, else nullopt.
std::optional<std::string_view> SectionName(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty() || t[0] != '[') return std::nullopt;
  size_t close = t.find(']');
  return Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// A "key=value" line: the key, else nullopt. Comment lines are not keys.
std::optional<std::string_view> KeyName(std::string_view text, std::string_view* value) {
  std::string_view t = Trim(text);
  if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  if (value) *value = Trim(t.substr(eq + 1));
  return Trim(t.substr(0, eq));
}

// Where the key stands: the index of its section's header (or npos), of its
// line (or npos), and of the last key line of the section.
struct Place {
  size_t section = std::string::npos;
  size_t key = std::string::npos;
  size_t lastInSection = std::string::npos;
};

Place Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Place place;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].text)) {
      if (inside) break;  // the first section of that name is the one
      if (SameName(*name, section)) {
        inside = true;
        place.section = place.lastInSection = i;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines[i].text).empty()) place.lastInSection = i;
    if (auto name = KeyName(lines[i].text, nullptr); name && SameName(*name, key)) {
      place.key = i;
      break;
    }
  }
  return place;
}

bool ValidName(const std::string& s, const char* forbidden) {
  return !Trim(s).empty() && s.find_first_of(forbidden) == std::string::npos;
}

// The profile's text with `key` set to `value` in `section`: the key's line
// replaced where it stands, else appended to the section, else a new section
// at the end. Every other byte stays as it was; new lines take the line end
// of the file's first line.
std::string WithEntry(std::string_view content, const std::string& section, const std::string& key,
                      const std::string& value) {
  std::vector<Line> lines = SplitLines(content);

  std::string_view eol = "\r\n";
  if (!lines.empty() && !lines.front().eol.empty()) eol = lines.front().eol;
  const std::string entry = key + "=" + value;

  Place place = Locate(lines, section, key);
  std::string out;
  out.reserve(content.size() + entry.size() + section.size() + 8);
  auto emit = [&](size_t i) {
    out.append(lines[i].text);
    out.append(lines[i].eol);
  };
  if (place.key != std::string::npos) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i == place.key) {
        out.append(entry);
        out.append(lines[i].eol.empty() ? eol : lines[i].eol);
      } else {
        emit(i);
      }
    }
  } else if (place.section != std::string::npos) {
    for (size_t i = 0; i < lines.size(); ++i) {
      emit(i);
      if (i == place.lastInSection) {
        if (lines[i].eol.empty()) out.append(eol);
        out.append(entry);
        out.append(eol);
      }
    }
  } else {
    for (size_t i = 0; i < lines.size(); ++i) emit(i);
    if (!lines.empty() && lines.back().eol.empty()) out.append(eol);
    if (!lines.empty() && !Trim(lines.back().text).empty()) out.append(eol);
    out.append("[" + section + "]");
    out.append(eol);
    out.append(entry);
    out.append(eol);
  }
  return out;
}

}  // namespace

std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key) {
  std::string content;
  if (LoadFile(path, content) != LoadResult::kLoaded) return std::nullopt;
  std::vector<Line> lines = SplitLines(content);
  Place place = Locate(lines, section, key);
  if (place.key == std::string::npos) return std::nullopt;
  std::string_view value;
  KeyName(lines[place.key].text, &value);
  return std::string(value);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
  std::optional<std::string> value = ReadProfileValue(path, section, key);
  return value ? *value : defaultValue;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
  std::optional<std::string> value = ReadProfileValue(path, section, key);
  if (!value || value->empty()) return defaultValue;
  const char* p = value->c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t n = 0;  // unsigned, so that an overlong number wraps instead of overflowing
  for (; *p >= '0' && *p <= '9'; ++p) n = n * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
  // A line break would split the entry and plant lines of its own.
  if (!ValidName(section, "]\r\n") || !ValidName(key, "=[\r\n") ||
      value.find_first_of("\r\n") != std::string::npos)
    return false;

  // Two windows with private folders of their own share one profile: the
  // later write must start from the earlier one's file.
  const file_io::ExclusiveLock lock(path);
  std::string content;
  if (LoadFile(path, content) == LoadResult::kFailed) return false;
  return file_io::ReplaceWholeFile(path, WithEntry(content, section, key, value));
}

}  // namespace platform
