#include "engine/encoding_sniffer.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/encoding_labels.h"
#include "platform/utf8.h"

namespace engine {

namespace {

constexpr size_t kPrescanBytes = 1024;

bool IsHttpWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsTokenCharacter(char c) {
  if (IsAsciiLetter(c) || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}
bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsTokenCharacter(c)) return false;
  return true;
}
// What a quoted-string may hold: TAB, printable ASCII, and bytes above it.
bool IsQuotedStringText(std::string_view text) {
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b != '\t' && (b < 0x20 || b == 0x7F)) return false;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The charset parameter of a MIME type, parsed as browsers parse one: a
// type that does not parse has none; the first charset counts; a quoted
// value may hold escaped characters.
std::optional<std::string> CharsetParameter(std::string_view mime) {
  while (!mime.empty() && IsHttpWhitespace(mime.front())) mime.remove_prefix(1);
  while (!mime.empty() && IsHttpWhitespace(mime.back())) mime.remove_suffix(1);
  size_t pos = mime.find('/');
  if (pos == std::string_view::npos || !IsToken(mime.substr(0, pos))) return std::nullopt;
  const size_t subtypeStart = ++pos;
  pos = std::min(mime.find(';', pos), mime.size());
  std::string_view subtype = mime.substr(subtypeStart, pos - subtypeStart);
  while (!subtype.empty() && IsHttpWhitespace(subtype.back())) subtype.remove_suffix(1);
  if (!IsToken(subtype)) return std::nullopt;
  while (pos < mime.size()) {
    ++pos;  // the ';'
    while (pos < mime.size() && IsHttpWhitespace(mime[pos])) ++pos;
    size_t nameEnd = pos;
    while (nameEnd < mime.size() && mime[nameEnd] != ';' && mime[nameEnd] != '=') ++nameEnd;
    const std::string_view name = mime.substr(pos, nameEnd - pos);
    pos = nameEnd;
    if (pos < mime.size() && mime[pos] == ';') continue;
    if (pos >= mime.size()) break;
    ++pos;  // the '='
    std::string value;
    if (pos < mime.size() && mime[pos] == '"') {
      ++pos;
      while (pos < mime.size() && mime[pos] != '"') {
        if (mime[pos] == '\\' && pos + 1 < mime.size()) ++pos;
        value += mime[pos++];
      }
      // Whatever follows the closing quote up to the next ';' is dropped.
      while (pos < mime.size() && mime[pos] != ';') ++pos;
    } else {
      const size_t end = std::min(mime.find(';', pos), mime.size());
      std::string_view raw = mime.substr(pos, end - pos);
      while (!raw.empty() && IsHttpWhitespace(raw.back())) raw.remove_suffix(1);
      pos = end;
      if (raw.empty()) continue;
      value.assign(raw);
    }
    if (IsToken(name) && IsQuotedStringText(value) && EqualsNoCase(name, "charset")) return value;
  }
  return std::nullopt;
}

// The encoding a <meta content="..."> names after "charset=", as browsers
// find it there.
std::optional<std::string_view> EncodingInContent(std::string_view content) {
  size_t pos = 0;
  for (;;) {
    size_t found = std::string_view::npos;
    for (size_t i = pos; i + 7 <= content.size(); ++i) {
      if (EqualsNoCase(content.substr(i, 7), "charset")) {
        found = i;
        break;
      }
    }
    if (found == std::string_view::npos) return std::nullopt;
    pos = found + 7;
    while (pos < content.size() && IsSpace(content[pos])) ++pos;
    if (pos < content.size() && content[pos] == '=') break;
  }
  ++pos;
  while (pos < content.size() && IsSpace(content[pos])) ++pos;
  if (pos >= content.size()) return std::nullopt;
  if (content[pos] == '"' || content[pos] == '\'') {
    const size_t close = content.find(content[pos], pos + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return platform::EncodingForLabel(content.substr(pos + 1, close - pos - 1));
  }
  size_t end = pos;
  while (end < content.size() && !IsSpace(content[end]) && content[end] != ';') ++end;
  return platform::EncodingForLabel(content.substr(pos, end - pos));
}

// The prescan of a page's first bytes for <meta charset> and its
// http-equiv form, skipping comments and other tags as a browser does.
class Prescan {
 public:
  explicit Prescan(std::string_view bytes) : bytes_(bytes) {}

  std::optional<std::string_view> Run() {
    while (pos_ < bytes_.size()) {
      const std::string_view rest = bytes_.substr(pos_);
      if (rest.starts_with("<!--")) {
        // The "-->" may share its dashes with the opening "<!--".
        const size_t end = bytes_.find("-->", pos_ + 2);
        if (end == std::string_view::npos) return std::nullopt;
        pos_ = end + 3;
        continue;
      }
      if (rest.size() >= 6 && EqualsNoCase(rest.substr(0, 5), "<meta") &&
          (IsSpace(rest[5]) || rest[5] == '/')) {
        pos_ += 5;
        if (std::optional<std::string_view> found = Meta()) return found;
        if (ended_) return std::nullopt;
        ++pos_;
        continue;
      }
      if (rest.size() >= 2 && rest[0] == '<' &&
          (IsAsciiLetter(rest[1]) ||
           (rest[1] == '/' && rest.size() >= 3 && IsAsciiLetter(rest[2])))) {
        ++pos_;
        while (pos_ < bytes_.size() && !IsSpace(bytes_[pos_]) && bytes_[pos_] != '>') ++pos_;
        std::string name, value;
        while (Attribute(name, value)) {
        }
        if (ended_) return std::nullopt;
        ++pos_;
        continue;
      }
      if (rest.starts_with("<!") || rest.starts_with("</") || rest.starts_with("<?")) {
        const size_t end = bytes_.find('>', pos_ + 2);
        if (end == std::string_view::npos) return std::nullopt;
        pos_ = end + 1;
        continue;
      }
      ++pos_;
    }
    return std::nullopt;
  }

 private:
  // The attributes of one <meta>; the encoding when they declare one.
  std::optional<std::string_view> Meta() {
    std::string seen = "\n";  // names met so far, each between newlines
    bool gotPragma = false;
    int needPragma = -1;  // unknown, false, true
    std::optional<std::string_view> charset;
    bool charsetNamed = false;
    std::string name, value;
    while (Attribute(name, value)) {
      if (seen.find("\n" + name + "\n") != std::string::npos) continue;
      seen += name + "\n";
      if (name == "http-equiv") {
        if (value == "content-type") gotPragma = true;
      } else if (name == "content") {
        if (!charsetNamed) {
          if (std::optional<std::string_view> found = EncodingInContent(value)) {
            charset = found;
            charsetNamed = true;
            needPragma = 1;
          }
        }
      } else if (name == "charset") {
        charset = platform::EncodingForLabel(value);
        charsetNamed = true;
        needPragma = 0;
      }
    }
    if (ended_ || needPragma < 0 || (needPragma == 1 && !gotPragma) || !charset)
      return std::nullopt;
    // A page that names UTF-16 in its own bytes cannot be in it.
    if (*charset == "UTF-16LE" || *charset == "UTF-16BE") return "UTF-8";
    if (*charset == "x-user-defined") return "windows-1252";
    return charset;
  }

  // The next attribute of a tag, its name and value lowercased; false at
  // the tag's '>' or the end of the bytes (then `ended_`).
  bool Attribute(std::string& name, std::string& value) {
    name.clear();
    value.clear();
    while (pos_ < bytes_.size() && (IsSpace(bytes_[pos_]) || bytes_[pos_] == '/')) ++pos_;
    if (pos_ >= bytes_.size()) return End();
    if (bytes_[pos_] == '>') return false;
    for (;;) {
      if (pos_ >= bytes_.size()) return End();
      const char c = bytes_[pos_];
      if (c == '=' && !name.empty()) {
        ++pos_;
        break;
      }
      if (IsSpace(c)) {
        while (pos_ < bytes_.size() && IsSpace(bytes_[pos_])) ++pos_;
        if (pos_ >= bytes_.size()) return End();
        if (bytes_[pos_] != '=') return true;
        ++pos_;
        break;
      }
      if (c == '/' || c == '>') return true;
      name += Lower(c);
      ++pos_;
    }
    while (pos_ < bytes_.size() && IsSpace(bytes_[pos_])) ++pos_;
    if (pos_ >= bytes_.size()) return End();
    const char first = bytes_[pos_];
    if (first == '"' || first == '\'') {
      for (;;) {
        if (++pos_ >= bytes_.size()) return End();
        if (bytes_[pos_] == first) {
          ++pos_;
          return true;
        }
        value += Lower(bytes_[pos_]);
      }
    }
    if (first == '>') return true;
    value += Lower(first);
    for (++pos_; pos_ < bytes_.size(); ++pos_) {
      if (IsSpace(bytes_[pos_]) || bytes_[pos_] == '>') return true;
      value += Lower(bytes_[pos_]);
    }
    return End();
  }

  bool End() {
    ended_ = true;
    return false;
  }

  std::string_view bytes_;
  size_t pos_ = 0;
  bool ended_ = false;
};

}  // namespace

std::optional<PageEncoding> DeclaredEncoding(std::string_view contentType, std::string_view start) {
  if (start.starts_with("\xEF\xBB\xBF"))
    return PageEncoding{"UTF-8", EncodingSource::kByteOrderMark, 3};
  if (start.starts_with("\xFE\xFF"))
    return PageEncoding{"UTF-16BE", EncodingSource::kByteOrderMark, 2};
  if (start.starts_with("\xFF\xFE"))
    return PageEncoding{"UTF-16LE", EncodingSource::kByteOrderMark, 2};
  if (const std::optional<std::string> charset = CharsetParameter(contentType)) {
    if (const std::optional<std::string_view> name = platform::EncodingForLabel(*charset))
      return PageEncoding{*name, EncodingSource::kContentType};
  }
  if (const std::optional<std::string_view> name = Prescan(start.substr(0, kPrescanBytes)).Run())
    return PageEncoding{*name, EncodingSource::kMeta};
  return std::nullopt;
}

PageEncoding UndeclaredEncoding(bool validUtf8) {
  if (validUtf8) return {"UTF-8", EncodingSource::kValidUtf8};
  return {"Shift_JIS", EncodingSource::kFallback};
}

void Utf8Check::Feed(std::string_view block) {
  const auto* p = reinterpret_cast<const unsigned char*>(block.data());
  const auto* end = p + block.size();
  while (valid_ && p < end) {
    if (needed_ == 0) {
      while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull) break;
        p += 8;
      }
      if (p == end) break;
      const unsigned char b = *p++;
      if (b < 0x80) continue;
      const platform::Utf8Lead lead = platform::Utf8LeadOf(b);
      if (lead.length == 0) {
        valid_ = false;
        continue;
      }
      needed_ = static_cast<int>(lead.length) - 1;
      lower_ = lead.low;
      upper_ = lead.high;
      continue;
    }
    const unsigned char b = *p++;
    if (b < lower_ || b > upper_) {
      valid_ = false;
      break;
    }
    lower_ = 0x80;
    upper_ = 0xBF;
    --needed_;
  }
}

}  // namespace engine
