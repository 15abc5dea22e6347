#include "platform/private_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace platform {

namespace {

// A profile is a few hundred bytes. Anything past this is not one we wrote;
// it is left alone and read as missing.
constexpr off_t kMaxProfileSize = 16 * 1024 * 1024;

enum class LoadResult { kLoaded, kMissing, kFailed };

LoadResult LoadFile(const std::string& path, std::string& content) {
  content.clear();
  // Only a regular file is a profile. Anything else (a FIFO, a device, a
  // folder) is not even opened: opening a FIFO waits for a writer, and
  // start-up would hang. O_NONBLOCK covers a swap between look and open.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::kMissing : LoadResult::kFailed;
  if (!S_ISREG(st.st_mode)) return LoadResult::kFailed;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? LoadResult::kMissing : LoadResult::kFailed;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileSize) {
    ::close(fd);
    return LoadResult::kFailed;
  }
  content.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  for (;;) {
    if (done == content.size()) content.resize(done + 4096);  // it may have grown
    ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return LoadResult::kFailed;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done > static_cast<size_t>(kMaxProfileSize)) {
      ::close(fd);
      return LoadResult::kFailed;
    }
  }
  ::close(fd);
  content.resize(done);
  return LoadResult::kLoaded;
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

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The profile's text with `key` set to `value` in `section`: the key's line
// replaced where it stands, else appended to the section, else a new section
// at the end. Every other byte stays as it was; new lines take the line end
// of the file's first line.
std::string WithEntry(std::string_view content, const std::string& section,
                      const std::string& key, const std::string& value) {
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

// Puts `content` in the place of the file at `target`, keeping the old
// file's permission bits when there was one (`old`). The new profile is
// complete on disk before it takes the old one's name, so a crash or a full
// disk leaves either the old file or the new one.
bool ReplaceAtomically(const std::string& target, std::string_view content,
                       const struct stat* old) {
  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content);
  if (ok && old) ok = ::fchmod(fd, old->st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
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

  // Write through a link to the file it names, not over the link.
  std::string target = path;
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    target = real;
    std::free(real);
    exists = ::stat(target.c_str(), &st) == 0;
  }

  std::string content;
  if (LoadFile(target, content) == LoadResult::kFailed) return false;
  return ReplaceAtomically(target, WithEntry(content, section, key, value), exists ? &st : nullptr);
}

}  // namespace platform
