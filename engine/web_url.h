#pragma once
// Reading an address the way a browser does: the URL Standard's parser,
// for every scheme, against a base address, and its serialization (the
// "href"). This is the browser-like reading; link_resolution.h is the
// program's exact one and stays as it is.
//
// A parsed address is kept as its serialization with the places of its
// parts, so that it is built in one buffer and read without copies.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/url_host.h"

// The document's encoding, for the queries of special addresses other than
// ws: and wss: (a form or a link of a Shift_JIS page sends its query in
// Shift_JIS). Appends `utf8` in that encoding to `bytes`. A character the
// encoding cannot represent is left out; where it stood (the size of
// `bytes` then) and the code point to name in its place (as "&#N;") go to
// `unmappable`. A stateful encoding ends in its initial state.
using QueryEncoder = std::function<void(std::string_view utf8, std::string& bytes,
                                        std::vector<std::pair<size_t, char32_t>>& unmappable)>;

// What the parser asks of the system. Without `domainToAscii`, a host that
// needs it (beyond ASCII, or with an "xn--" label) makes the parse fail;
// without `queryEncoder`, queries are UTF-8.
struct WebUrlOptions {
  DomainToAscii domainToAscii;
  QueryEncoder queryEncoder;
};

class WebUrl {
 public:
  // The serialization.
  const std::string& Href() const { return m_href; }
  // Lowercase, without its ":".
  std::string_view Scheme() const { return std::string_view(m_href).substr(0, m_schemeEnd); }
  // http, https, ws, wss, ftp and file.
  bool IsSpecial() const { return m_scheme != SchemeKind::kOther; }
  std::string_view Username() const;
  std::string_view Password() const;
  HostKind GetHostKind() const { return m_hostKind; }
  // The host as written: a domain in ASCII, an IPv4 address in decimal, an
  // IPv6 address in brackets; empty when there is none.
  std::string_view Host() const { return Slice(m_hostStart, m_hostEnd); }
  // nullopt when absent or the scheme's default.
  std::optional<uint16_t> Port() const { return m_port; }
  // An address of another scheme without "/" after its ":" ("mailto:x")
  // has one opaque path rather than segments.
  bool HasOpaquePath() const { return m_opaquePath; }
  // The path as written: "/" before each segment, or the opaque path.
  std::string_view Path() const { return Slice(m_pathStart, PathEnd()); }
  // The segments; none for an opaque path.
  std::vector<std::string_view> PathSegments() const;
  // Without the "?" and "#"; nullopt when absent, which differs from empty.
  std::optional<std::string_view> Query() const;
  std::optional<std::string_view> Fragment() const;

 private:
  friend class WebUrlParser;
  enum class SchemeKind : uint8_t { kOther, kHttp, kHttps, kWs, kWss, kFtp, kFile };
  static constexpr size_t kAbsent = std::string::npos;

  std::string_view Slice(size_t begin, size_t end) const {
    return std::string_view(m_href).substr(begin, end - begin);
  }
  size_t PathEnd() const;
  // Empty, its storage kept for the next parse.
  void Clear();
  // The places of `base`'s user, host and port, for an address whose
  // serialization starts as the base's does up to the end of its port.
  void TakeAuthorityPlaces(const WebUrl& base);
  size_t QueryEnd() const { return m_fragmentStart == kAbsent ? m_href.size() : m_fragmentStart; }

  std::string m_href;
  // With a host: scheme ":" "//" [username [":" password] "@"] host
  // [":" port]; without one, all of these end right after the ":".
  size_t m_schemeEnd = 0;  // the ":"
  size_t m_usernameEnd = 0;
  size_t m_passwordEnd = 0;  // equals m_usernameEnd when there is no password
  size_t m_hostStart = 0;
  size_t m_hostEnd = 0;
  size_t m_authorityEnd = 0;  // after the port
  // After "/." when that keeps a path starting with an empty segment from
  // reading as a host ("web+demo:/.//not-a-host/").
  size_t m_pathStart = 0;
  size_t m_queryStart = kAbsent;     // the "?"
  size_t m_fragmentStart = kAbsent;  // the "#"
  std::optional<uint16_t> m_port;
  SchemeKind m_scheme = SchemeKind::kOther;
  HostKind m_hostKind = HostKind::kNone;
  bool m_opaquePath = false;
};

// Parses addresses one after another, reusing its own buffers and the
// storage of the address it fills, so that a warm parser allocates nothing.
class WebUrlParser {
 public:
  explicit WebUrlParser(WebUrlOptions options = {});

  // Parses `input` against `base` (nullptr for none) into `url`. false when
  // it is no valid address; `url` is then unspecified.
  bool Parse(std::string_view input, const WebUrl* base, WebUrl& url);

 private:
  class Run;
  // A relative path of bytes that need no escaping, against a special base
  // with a host, without the states: nearly every link a page holds.
  static bool ResolvePlainPath(std::string_view input, const WebUrl& base, WebUrl& url);

  WebUrlOptions m_options;
  std::string m_cleaned;  // the input without its tabs and line breaks
  std::string m_encoded;  // a query in the document's encoding
  std::vector<std::pair<size_t, char32_t>> m_unmappable;
};

// One address parsed; nullopt when it is no valid one.
std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base = nullptr,
                                  const WebUrlOptions& options = {});

// Many links of one document resolved against its base address.
class WebLinkResolver {
 public:
  explicit WebLinkResolver(WebUrl base, WebUrlOptions options = {});

  // The serialization of `link` resolved; nullopt when the link is no
  // valid address. The view holds until the next call.
  std::optional<std::string_view> Resolve(std::string_view link);

 private:
  WebUrl m_base;
  WebUrlParser m_parser;
  WebUrl m_result;
};
