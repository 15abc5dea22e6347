#include "engine/web_url.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/percent_encoding.h"

namespace {

constexpr int kEnd = -1;

constexpr bool IsAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsDigit(int c) { return c >= '0' && c <= '9'; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsWindowsDriveLetter(std::string_view text) {
  return text.size() == 2 && IsAlpha(text[0]) && (text[1] == ':' || text[1] == '|');
}

bool IsNormalizedWindowsDriveLetter(std::string_view text) {
  return IsWindowsDriveLetter(text) && text[1] == ':';
}

bool StartsWithWindowsDriveLetter(std::string_view text) {
  if (text.size() < 2 || !IsWindowsDriveLetter(text.substr(0, 2))) return false;
  if (text.size() == 2) return true;
  const char next = text[2];
  return next == '/' || next == '\\' || next == '?' || next == '#';
}

bool IsDotCode(std::string_view text) {
  return text.size() == 3 && text[0] == '%' && text[1] == '2' && AsciiLower(text[2]) == 'e';
}

// "." or its escaped form, as a path segment already percent-encoded.
bool IsSingleDot(std::string_view segment) { return segment == "." || IsDotCode(segment); }

bool IsDoubleDot(std::string_view segment) {
  if (segment == "..") return true;
  if (segment.size() == 4) {
    return (segment[0] == '.' && IsDotCode(segment.substr(1))) ||
           (segment[3] == '.' && IsDotCode(segment.substr(0, 3)));
  }
  return segment.size() == 6 && IsDotCode(segment.substr(0, 3)) && IsDotCode(segment.substr(3));
}

// Whether a query can skip the document's encoding: every encoding a page
// may have writes ASCII as ASCII, except that ISO-2022-JP refuses SO, SI and
// ESC, which would switch its state.
bool QueryKeepsAsAscii(std::string_view text) {
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b == 0x0E || b == 0x0F || b == 0x1B) return false;
  }
  return true;
}

// How a path segment takes each byte: as it is, escaped, or as its end.
enum PathByte : uint8_t { kCopied, kEscaped, kEndsSegment };

constexpr std::array<PathByte, 256> PathBytes(bool special) {
  std::array<PathByte, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[b] = kPathSet.Contains(static_cast<unsigned char>(b)) ? kEscaped : kCopied;
  table['/'] = table['?'] = table['#'] = kEndsSegment;
  if (special) table['\\'] = kEndsSegment;
  return table;
}
constexpr std::array<PathByte, 256> kSpecialPathBytes = PathBytes(true);
constexpr std::array<PathByte, 256> kOtherPathBytes = PathBytes(false);

// The bytes a relative path may hold and still be copied as it is against
// a special base: what a path segment takes unescaped, less ":" (which may
// end a scheme), and "/".
constexpr std::array<bool, 256> PlainPathBytes() {
  std::array<bool, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = kSpecialPathBytes[b] == kCopied && b != ':';
  table['/'] = true;
  return table;
}
constexpr std::array<bool, 256> kPlainPathBytes = PlainPathBytes();

// The tab and line breaks that a link may carry (wrapped in the page's
// source) and that no address holds.
bool IsTabOrNewline(char c) { return c == '\t' || c == '\n' || c == '\r'; }

// Whether `text` may hold a tab or line break: eight bytes at a time, any
// byte below 0x0E is looked at closer. Nearly every link has none.
bool MayHoldTabOrNewline(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  size_t pos = 0;
  for (; pos + 8 <= text.size(); pos += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, 8);
    if ((word - kOnes * 0x0E) & ~word & kHighs) return true;
  }
  for (; pos < text.size(); ++pos)
    if (IsTabOrNewline(text[pos])) return true;
  return false;
}

// The bytes a scheme holds after its first letter.
constexpr std::array<bool, 256> SchemeBytes() {
  std::array<bool, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[b] = IsAlpha(b) || IsDigit(b) || b == '+' || b == '-' || b == '.';
  return table;
}
constexpr std::array<bool, 256> kSchemeBytes = SchemeBytes();

}  // namespace

std::string_view WebUrl::Username() const {
  return m_hostKind == HostKind::kNone ? std::string_view() : Slice(m_schemeEnd + 3, m_usernameEnd);
}

std::string_view WebUrl::Password() const {
  return m_passwordEnd > m_usernameEnd ? Slice(m_usernameEnd + 1, m_passwordEnd)
                                       : std::string_view();
}

void WebUrl::Clear() {
  m_href.clear();
  m_schemeEnd = m_usernameEnd = m_passwordEnd = m_hostStart = m_hostEnd = 0;
  m_authorityEnd = m_pathStart = 0;
  m_queryStart = m_fragmentStart = kAbsent;
  m_port.reset();
  m_scheme = SchemeKind::kOther;
  m_hostKind = HostKind::kNone;
  m_opaquePath = false;
}

void WebUrl::TakeAuthorityPlaces(const WebUrl& base) {
  m_usernameEnd = base.m_usernameEnd;
  m_passwordEnd = base.m_passwordEnd;
  m_hostStart = base.m_hostStart;
  m_hostEnd = base.m_hostEnd;
  m_authorityEnd = base.m_authorityEnd;
  m_port = base.m_port;
  m_hostKind = base.m_hostKind;
}

size_t WebUrl::PathEnd() const {
  if (m_queryStart != kAbsent) return m_queryStart;
  if (m_fragmentStart != kAbsent) return m_fragmentStart;
  return m_href.size();
}

std::vector<std::string_view> WebUrl::PathSegments() const {
  std::vector<std::string_view> segments;
  if (m_opaquePath) return segments;
  const std::string_view path = Path();
  for (size_t slash = 0; slash < path.size();) {
    const size_t next = std::min(path.find('/', slash + 1), path.size());
    segments.push_back(path.substr(slash + 1, next - slash - 1));
    slash = next;
  }
  return segments;
}

std::optional<std::string_view> WebUrl::Query() const {
  if (m_queryStart == kAbsent) return std::nullopt;
  return Slice(m_queryStart + 1, QueryEnd());
}

std::optional<std::string_view> WebUrl::Fragment() const {
  if (m_fragmentStart == kAbsent) return std::nullopt;
  return Slice(m_fragmentStart + 1, m_href.size());
}

// One parse: the state machine of the URL Standard, writing the address's
// serialization as it goes. The states that read a run of characters (a
// path segment, the query, the host) take it whole rather than one
// character a turn; where the standard steps back one character, the
// position here simply stays.
class WebUrlParser::Run {
 public:
  Run(WebUrlParser& parser, std::string_view input, const WebUrl* base, WebUrl& url)
      : m_parser(parser), m_in(input), m_base(base), m_url(url), m_out(url.m_href) {}

  bool Parse();

 private:
  using SchemeKind = WebUrl::SchemeKind;
  enum class State {
    kNoScheme,
    kSpecialRelativeOrAuthority,
    kSpecialAuthoritySlashes,
    kSpecialAuthorityIgnoreSlashes,
    kPathOrAuthority,
    kRelative,
    kRelativeSlash,
    kAuthority,
    kHost,
    kPort,
    kFile,
    kFileSlash,
    kFileHost,
    kPathStart,
    kPath,
    kOpaquePath,
    kQuery,
    kFragment,
    kDone,
  };

  int At(size_t i) const { return i < m_in.size() ? static_cast<unsigned char>(m_in[i]) : kEnd; }
  bool Special() const { return m_url.m_scheme != SchemeKind::kOther; }
  bool IsSlash(int c) const { return c == '/' || (c == '\\' && Special()); }
  // Where the authority, a host or a port ends.
  bool EndsAuthority(int c) const { return c == kEnd || IsSlash(c) || c == '?' || c == '#'; }
  bool BaseIsFile() const { return m_base && m_base->m_scheme == SchemeKind::kFile; }

  State AfterScheme(size_t schemeLength);
  bool ParseAuthority();
  bool ParseHost();
  bool ParsePort();
  bool ParseFileHost();
  void ParsePath();
  void ParseQuery();

  void SetNoHost();
  void BeginAuthority();
  void BeginPath() { m_url.m_pathStart = m_out.size(); }
  void BeginQuery() {
    m_url.m_queryStart = m_out.size();
    m_out += '?';
  }
  void BeginFragment() {
    m_url.m_fragmentStart = m_out.size();
    m_out += '#';
  }
  void CopyBaseAuthority();
  void CopyBaseHost();
  void CopyBasePath() {
    m_out.append(m_base->m_href, m_base->m_pathStart, m_base->PathEnd() - m_base->m_pathStart);
  }
  void CopyBaseQuery();
  void ShortenPath();
  void Finish();

  WebUrlParser& m_parser;
  std::string_view m_in;
  const WebUrl* m_base;
  WebUrl& m_url;
  std::string& m_out;
  size_t m_pos = 0;
  State m_state = State::kNoScheme;
  // A path segment is being written from m_segmentStart, its "/" before it.
  bool m_segmentOpen = false;
  size_t m_segmentStart = 0;
};

WebUrlParser::Run::State WebUrlParser::Run::AfterScheme(size_t schemeLength) {
  for (size_t i = 0; i < schemeLength; ++i) m_out += AsciiLower(m_in[i]);
  m_url.m_schemeEnd = schemeLength;
  m_out += ':';
  m_pos = schemeLength + 1;
  static constexpr std::pair<std::string_view, SchemeKind> kSpecial[] = {
      {"http", SchemeKind::kHttp}, {"https", SchemeKind::kHttps}, {"ws", SchemeKind::kWs},
      {"wss", SchemeKind::kWss},   {"ftp", SchemeKind::kFtp},     {"file", SchemeKind::kFile},
  };
  const std::string_view scheme = m_url.Scheme();
  for (const auto& [name, kind] : kSpecial)
    if (scheme == name) m_url.m_scheme = kind;

  if (m_url.m_scheme == SchemeKind::kFile) return State::kFile;
  if (Special()) {
    return m_base && m_base->m_scheme == m_url.m_scheme ? State::kSpecialRelativeOrAuthority
                                                        : State::kSpecialAuthoritySlashes;
  }
  if (At(m_pos) == '/') {
    ++m_pos;
    return State::kPathOrAuthority;
  }
  SetNoHost();
  m_url.m_opaquePath = true;
  BeginPath();
  return State::kOpaquePath;
}

void WebUrlParser::Run::SetNoHost() {
  const size_t end = m_url.m_schemeEnd + 1;
  m_url.m_usernameEnd = m_url.m_passwordEnd = m_url.m_hostStart = end;
  m_url.m_hostEnd = m_url.m_authorityEnd = end;
  m_url.m_hostKind = HostKind::kNone;
}

void WebUrlParser::Run::BeginAuthority() {
  m_out += "//";
  const size_t start = m_out.size();
  m_url.m_usernameEnd = m_url.m_passwordEnd = m_url.m_hostStart = start;
  m_url.m_hostEnd = m_url.m_authorityEnd = start;
  m_url.m_hostKind = HostKind::kEmpty;
}

// The base's user, host and port; the scheme is the base's too, so the
// places of the parts are the base's.
void WebUrlParser::Run::CopyBaseAuthority() {
  const WebUrl& base = *m_base;
  m_out.append(base.m_href, base.m_schemeEnd + 1, base.m_authorityEnd - base.m_schemeEnd - 1);
  m_url.TakeAuthorityPlaces(base);
}

// The host of a file base in place of this file address's empty one.
void WebUrlParser::Run::CopyBaseHost() {
  m_out.resize(m_url.m_hostStart);
  m_out.append(m_base->Host());
  m_url.m_hostEnd = m_url.m_authorityEnd = m_out.size();
  m_url.m_hostKind = m_base->m_hostKind;
}

void WebUrlParser::Run::CopyBaseQuery() {
  if (m_base->m_queryStart == WebUrl::kAbsent) return;
  m_url.m_queryStart = m_out.size();
  m_out.append(m_base->m_href, m_base->m_queryStart, m_base->QueryEnd() - m_base->m_queryStart);
}

// Drops the last segment, except the drive letter that a file path keeps.
void WebUrlParser::Run::ShortenPath() {
  const size_t length = m_out.size() - m_url.m_pathStart;
  if (length == 0) return;
  if (m_url.m_scheme == SchemeKind::kFile && length == 3 &&
      IsNormalizedWindowsDriveLetter(std::string_view(m_out).substr(m_url.m_pathStart + 1)))
    return;
  m_out.resize(m_out.rfind('/'));
}

bool WebUrlParser::Run::ParseAuthority() {
  size_t end = m_pos;
  while (!EndsAuthority(At(end))) ++end;
  BeginAuthority();
  const std::string_view authority = m_in.substr(m_pos, end - m_pos);
  // Only the last "@" ends the user information; those before it are part
  // of it, and the first ":" divides it.
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return true;
  const std::string_view userinfo = authority.substr(0, at);
  const size_t colon = userinfo.find(':');
  AppendPercentEncoded(m_out, userinfo.substr(0, colon), kUserinfoSet);
  m_url.m_usernameEnd = m_out.size();
  if (colon != std::string_view::npos && colon + 1 < userinfo.size()) {
    m_out += ':';
    AppendPercentEncoded(m_out, userinfo.substr(colon + 1), kUserinfoSet);
  }
  m_url.m_passwordEnd = m_out.size();
  if (m_out.size() > m_url.m_hostStart) m_out += '@';
  m_url.m_hostStart = m_out.size();
  m_pos += at + 1;
  return m_pos < end;  // credentials without a host
}

bool WebUrlParser::Run::ParseHost() {
  size_t end = m_pos;
  for (bool inBrackets = false;; ++end) {
    const int c = At(end);
    if (EndsAuthority(c) || (c == ':' && !inBrackets)) break;
    if (c == '[') inBrackets = true;
    if (c == ']') inBrackets = false;
  }
  const std::string_view host = m_in.substr(m_pos, end - m_pos);
  const bool portFollows = At(end) == ':';
  if (host.empty() && (portFollows || Special())) return false;
  const auto kind = AppendParsedHost(m_out, host, !Special(), m_parser.m_options.domainToAscii);
  if (!kind) return false;
  m_url.m_hostKind = *kind;
  m_url.m_hostEnd = m_url.m_authorityEnd = m_out.size();
  m_pos = portFollows ? end + 1 : end;
  m_state = portFollows ? State::kPort : State::kPathStart;
  return true;
}

bool WebUrlParser::Run::ParsePort() {
  size_t end = m_pos;
  uint32_t port = 0;
  for (; IsDigit(At(end)); ++end) {
    port = port * 10 + (At(end) - '0');
    if (port > 65535) return false;
  }
  if (!EndsAuthority(At(end))) return false;
  if (end > m_pos) {
    int defaultPort = -1;
    switch (m_url.m_scheme) {
      case SchemeKind::kHttp:
      case SchemeKind::kWs:
        defaultPort = 80;
        break;
      case SchemeKind::kHttps:
      case SchemeKind::kWss:
        defaultPort = 443;
        break;
      case SchemeKind::kFtp:
        defaultPort = 21;
        break;
      default:
        break;
    }
    if (static_cast<int>(port) != defaultPort) {
      m_url.m_port = static_cast<uint16_t>(port);
      m_out += ':';
      m_out += std::to_string(port);
    }
  }
  m_url.m_authorityEnd = m_out.size();
  m_pos = end;
  return true;
}

bool WebUrlParser::Run::ParseFileHost() {
  size_t end = m_pos;
  for (int c = At(end); c != kEnd && c != '/' && c != '\\' && c != '?' && c != '#'; c = At(++end)) {
  }
  const std::string_view buffer = m_in.substr(m_pos, end - m_pos);
  m_pos = end;
  if (IsWindowsDriveLetter(buffer)) {
    // "file://C|/x" is a drive letter, not a host: it starts the path.
    BeginPath();
    m_out += '/';
    m_segmentStart = m_out.size();
    m_segmentOpen = true;
    m_out.append(buffer);
    m_state = State::kPath;
    return true;
  }
  m_state = State::kPathStart;
  if (buffer.empty()) return true;
  m_out.resize(m_url.m_hostStart);
  const auto kind = AppendParsedHost(m_out, buffer, false, m_parser.m_options.domainToAscii);
  if (!kind) return false;
  m_url.m_hostKind = *kind;
  if (m_url.Slice(m_url.m_hostStart, m_out.size()) == "localhost") {
    m_out.resize(m_url.m_hostStart);
    m_url.m_hostKind = HostKind::kEmpty;
  }
  m_url.m_hostEnd = m_url.m_authorityEnd = m_out.size();
  return true;
}

void WebUrlParser::Run::ParsePath() {
  const bool file = m_url.m_scheme == SchemeKind::kFile;
  const auto& bytes = Special() ? kSpecialPathBytes : kOtherPathBytes;
  for (;;) {
    if (!m_segmentOpen) {
      m_out += '/';
      m_segmentStart = m_out.size();
    }
    m_segmentOpen = false;
    // One pass takes the segment and escapes it.
    const char* in = m_in.data();
    size_t end = m_pos;
    for (;;) {
      size_t copied = end;
      while (copied < m_in.size() && bytes[static_cast<unsigned char>(in[copied])] == kCopied)
        ++copied;
      m_out.append(in + end, copied - end);
      end = copied;
      if (end == m_in.size() || bytes[static_cast<unsigned char>(in[end])] == kEndsSegment) break;
      end += AppendEscapedCharacter(m_out, m_in, end);
    }
    const int c = At(end);
    const bool slash = IsSlash(c);
    const std::string_view segment = std::string_view(m_out).substr(m_segmentStart);
    if (IsDoubleDot(segment)) {
      m_out.resize(m_segmentStart - 1);
      ShortenPath();
      if (!slash) m_out += '/';
    } else if (IsSingleDot(segment)) {
      m_out.resize(slash ? m_segmentStart - 1 : m_segmentStart);
    } else if (file && m_segmentStart - 1 == m_url.m_pathStart && IsWindowsDriveLetter(segment)) {
      m_out[m_segmentStart + 1] = ':';
    }
    m_pos = end + 1;
    if (slash) continue;
    if (c == '?') {
      BeginQuery();
      m_state = State::kQuery;
    } else if (c == '#') {
      BeginFragment();
      m_state = State::kFragment;
    } else {
      m_state = State::kDone;
    }
    return;
  }
}

void WebUrlParser::Run::ParseQuery() {
  const size_t end = std::min(m_in.find('#', m_pos), m_in.size());
  const std::string_view text = m_in.substr(m_pos, end - m_pos);
  const PercentEncodeSet& set = Special() ? kSpecialQuerySet : kQuerySet;
  const QueryEncoder& encoder = m_parser.m_options.queryEncoder;
  const bool documentEncoding = encoder && Special() && m_url.m_scheme != SchemeKind::kWs &&
                                m_url.m_scheme != SchemeKind::kWss;
  if (!documentEncoding || QueryKeepsAsAscii(text)) {
    AppendPercentEncoded(m_out, text, set);
  } else {
    std::string& bytes = m_parser.m_encoded;
    auto& unmappable = m_parser.m_unmappable;
    bytes.clear();
    unmappable.clear();
    encoder(text, bytes, unmappable);
    size_t done = 0;
    for (const auto& [at, codePoint] : unmappable) {
      const size_t stop = std::clamp(at, done, bytes.size());
      AppendPercentEncodedBytes(m_out, std::string_view(bytes).substr(done, stop - done), set);
      m_out += "%26%23";
      m_out += std::to_string(static_cast<uint32_t>(codePoint));
      m_out += "%3B";
      done = stop;
    }
    AppendPercentEncodedBytes(m_out, std::string_view(bytes).substr(done), set);
  }
  m_pos = end + 1;
  if (end < m_in.size()) {
    BeginFragment();
    m_state = State::kFragment;
  } else {
    m_state = State::kDone;
  }
}

// A path that begins with an empty segment would read as a host after the
// scheme's ":" when there is no host; "/." keeps it a path.
void WebUrlParser::Run::Finish() {
  if (m_url.m_hostKind != HostKind::kNone || m_url.m_opaquePath) return;
  const size_t start = m_url.m_pathStart;
  if (m_url.PathEnd() - start < 2 || m_out[start] != '/' || m_out[start + 1] != '/') return;
  m_out.insert(start, "/.");
  m_url.m_pathStart += 2;
  if (m_url.m_queryStart != WebUrl::kAbsent) m_url.m_queryStart += 2;
  if (m_url.m_fragmentStart != WebUrl::kAbsent) m_url.m_fragmentStart += 2;
}

bool WebUrlParser::Run::Parse() {
  size_t schemeLength = 0;
  if (IsAlpha(At(0))) {
    size_t end = 1;
    while (end < m_in.size() && kSchemeBytes[static_cast<unsigned char>(m_in[end])]) ++end;
    if (At(end) == ':') schemeLength = end;
  }
  m_state = schemeLength ? AfterScheme(schemeLength) : State::kNoScheme;

  while (m_state != State::kDone) {
    const int c = At(m_pos);
    switch (m_state) {
      case State::kNoScheme:
        if (!m_base || (m_base->m_opaquePath && c != '#')) return false;
        if (m_base->m_opaquePath) {
          // "#x" against "mailto:y": the base with another fragment.
          m_url = *m_base;
          m_out.resize(m_base->QueryEnd());
          m_url.m_fragmentStart = WebUrl::kAbsent;
          BeginFragment();
          ++m_pos;
          m_state = State::kFragment;
          break;
        }
        m_out.append(m_base->m_href, 0, m_base->m_schemeEnd + 1);
        m_url.m_schemeEnd = m_base->m_schemeEnd;
        m_url.m_scheme = m_base->m_scheme;
        m_state = BaseIsFile() ? State::kFile : State::kRelative;
        break;

      case State::kSpecialRelativeOrAuthority:
        if (c == '/' && At(m_pos + 1) == '/') {
          m_pos += 2;
          m_state = State::kSpecialAuthorityIgnoreSlashes;
        } else {
          m_state = State::kRelative;
        }
        break;

      case State::kPathOrAuthority:
        if (c == '/') {
          ++m_pos;
          m_state = State::kAuthority;
        } else {
          SetNoHost();
          BeginPath();
          m_state = State::kPath;
        }
        break;

      case State::kRelative:
        if (IsSlash(c)) {
          ++m_pos;
          m_state = State::kRelativeSlash;
          break;
        }
        CopyBaseAuthority();
        BeginPath();
        CopyBasePath();
        if (c == '?') {
          BeginQuery();
          ++m_pos;
          m_state = State::kQuery;
        } else if (c == '#') {
          CopyBaseQuery();
          BeginFragment();
          ++m_pos;
          m_state = State::kFragment;
        } else if (c != kEnd) {
          ShortenPath();
          m_state = State::kPath;
        } else {
          CopyBaseQuery();
          m_state = State::kDone;
        }
        break;

      case State::kRelativeSlash:
        if (Special() && IsSlash(c)) {
          ++m_pos;
          m_state = State::kSpecialAuthorityIgnoreSlashes;
        } else if (c == '/') {
          ++m_pos;
          m_state = State::kAuthority;
        } else {
          CopyBaseAuthority();
          BeginPath();
          m_state = State::kPath;
        }
        break;

      case State::kSpecialAuthoritySlashes:
        if (c == '/' && At(m_pos + 1) == '/') m_pos += 2;
        m_state = State::kSpecialAuthorityIgnoreSlashes;
        break;

      case State::kSpecialAuthorityIgnoreSlashes:
        while (At(m_pos) == '/' || At(m_pos) == '\\') ++m_pos;
        m_state = State::kAuthority;
        break;

      case State::kAuthority:
        if (!ParseAuthority()) return false;
        m_state = State::kHost;
        break;

      case State::kHost:
        if (!ParseHost()) return false;
        break;

      case State::kPort:
        if (!ParsePort()) return false;
        m_state = State::kPathStart;
        break;

      case State::kFile:
        BeginAuthority();
        if (c == '/' || c == '\\') {
          ++m_pos;
          m_state = State::kFileSlash;
          break;
        }
        m_state = State::kPath;
        if (!BaseIsFile()) {
          BeginPath();
          break;
        }
        CopyBaseHost();
        BeginPath();
        if (c == '?') {
          CopyBasePath();
          BeginQuery();
          ++m_pos;
          m_state = State::kQuery;
        } else if (c == '#') {
          CopyBasePath();
          CopyBaseQuery();
          BeginFragment();
          ++m_pos;
          m_state = State::kFragment;
        } else if (c != kEnd) {
          // A drive letter starts a path of its own rather than one
          // relative to the base's.
          if (!StartsWithWindowsDriveLetter(m_in.substr(m_pos))) {
            CopyBasePath();
            ShortenPath();
          }
        } else {
          CopyBasePath();
          CopyBaseQuery();
          m_state = State::kDone;
        }
        break;

      case State::kFileSlash:
        if (c == '/' || c == '\\') {
          ++m_pos;
          m_state = State::kFileHost;
          break;
        }
        if (BaseIsFile()) CopyBaseHost();
        BeginPath();
        if (BaseIsFile() && !StartsWithWindowsDriveLetter(m_in.substr(m_pos))) {
          // "/x" against "file:///C:/y" stays on drive C.
          const std::string_view basePath = m_base->Path();
          const std::string_view first =
              basePath.empty() ? basePath : basePath.substr(1, basePath.find('/', 1) - 1);
          if (IsNormalizedWindowsDriveLetter(first)) {
            m_out += '/';
            m_out.append(first);
          }
        }
        m_state = State::kPath;
        break;

      case State::kFileHost:
        if (!ParseFileHost()) return false;
        break;

      case State::kPathStart:
        BeginPath();
        if (Special()) {
          if (IsSlash(c)) ++m_pos;
          m_state = State::kPath;
        } else if (c == '?') {
          BeginQuery();
          ++m_pos;
          m_state = State::kQuery;
        } else if (c == '#') {
          BeginFragment();
          ++m_pos;
          m_state = State::kFragment;
        } else if (c != kEnd) {
          if (c == '/') ++m_pos;
          m_state = State::kPath;
        } else {
          m_state = State::kDone;
        }
        break;

      case State::kPath:
        ParsePath();
        break;

      case State::kOpaquePath: {
        size_t end = m_pos;
        while (end < m_in.size() && m_in[end] != '?' && m_in[end] != '#') ++end;
        AppendPercentEncoded(m_out, m_in.substr(m_pos, end - m_pos), kC0ControlSet);
        // A space just before the query or fragment is escaped, so that
        // taking those away never leaves a path that ends in a space.
        if (end < m_in.size() && m_out.size() > m_url.m_pathStart && m_out.back() == ' ') {
          m_out.pop_back();
          m_out += "%20";
        }
        m_pos = end + 1;
        if (end == m_in.size()) {
          m_state = State::kDone;
        } else if (m_in[end] == '?') {
          BeginQuery();
          m_state = State::kQuery;
        } else {
          BeginFragment();
          m_state = State::kFragment;
        }
        break;
      }

      case State::kQuery:
        ParseQuery();
        break;

      case State::kFragment:
        AppendPercentEncoded(m_out, m_in.substr(std::min(m_pos, m_in.size())), kFragmentSet);
        m_state = State::kDone;
        break;

      case State::kDone:
        break;
    }
  }
  Finish();
  return true;
}

WebUrlParser::WebUrlParser(WebUrlOptions options) : m_options(std::move(options)) {}

bool WebUrlParser::Parse(std::string_view input, const WebUrl* base, WebUrl& url) {
  // Leading and trailing controls and spaces go, and tabs and line breaks
  // anywhere; the copy is made only when there is one to take out.
  size_t begin = 0, end = input.size();
  while (begin < end && static_cast<unsigned char>(input[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(input[end - 1]) <= 0x20) --end;
  input = input.substr(begin, end - begin);
  if (MayHoldTabOrNewline(input)) {
    m_cleaned.clear();
    for (char c : input)
      if (!IsTabOrNewline(c)) m_cleaned += c;
    input = m_cleaned;
  }

  if (base && ResolvePlainPath(input, *base, url)) return true;
  url.Clear();
  return Run(*this, input, base, url).Parse();
}

bool WebUrlParser::ResolvePlainPath(std::string_view input, const WebUrl& base, WebUrl& url) {
  using SchemeKind = WebUrl::SchemeKind;
  if (input.empty() || input[0] == '/' || base.m_scheme == SchemeKind::kOther ||
      base.m_scheme == SchemeKind::kFile || base.m_opaquePath)
    return false;
  bool plain = true;
  for (const char c : input) plain &= kPlainPathBytes[static_cast<unsigned char>(c)];
  if (!plain) return false;
  // Dot segments, plain or escaped, are few bytes and start with "." or
  // "%": such a short segment is left to the states.
  for (size_t start = 0; start <= input.size();) {
    const size_t end = std::min(input.find('/', start), input.size());
    const size_t length = end - start;
    if (length > 0 && length <= 6 && (input[start] == '.' || input[start] == '%')) return false;
    start = end + 1;
  }
  // The base's path without its last segment, then the input's segments.
  const size_t lastSlash = base.Path().rfind('/');
  if (lastSlash == std::string_view::npos) return false;
  const size_t cut = base.m_pathStart + lastSlash + 1;
  url.m_href.assign(base.m_href, 0, cut);
  url.m_href.append(input);
  url.m_schemeEnd = base.m_schemeEnd;
  url.TakeAuthorityPlaces(base);
  url.m_pathStart = base.m_pathStart;
  url.m_queryStart = url.m_fragmentStart = WebUrl::kAbsent;
  url.m_scheme = base.m_scheme;
  url.m_opaquePath = false;
  return true;
}

std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base,
                                  const WebUrlOptions& options) {
  WebUrlParser parser(options);
  WebUrl url;
  if (!parser.Parse(input, base, url)) return std::nullopt;
  return url;
}

WebLinkResolver::WebLinkResolver(WebUrl base, WebUrlOptions options)
    : m_base(std::move(base)), m_parser(std::move(options)) {}

std::optional<std::string_view> WebLinkResolver::Resolve(std::string_view link) {
  if (!m_parser.Parse(link, &m_base, m_result)) return std::nullopt;
  return m_result.Href();
}
