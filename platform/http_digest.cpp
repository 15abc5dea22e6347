#include "platform/http_digest.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "platform/hashes.h"

namespace platform {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

bool IsAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsTokenChar(char c) { return IsAlphanumeric(c) || (c && std::strchr("!#$%&'*+-.^_`|~", c)); }

// The characters of the opaque credentials some schemes carry instead of
// parameters ("Negotiate abc=="), before their closing '='s.
bool IsToken68Char(char c) { return IsAlphanumeric(c) || (c && std::strchr("-._~+/", c)); }

// Walks one header value; every step stops at its end.
class Reader {
 public:
  explicit Reader(std::string_view text) : m_text(text) {}

  bool AtEnd() const { return m_pos >= m_text.size(); }
  char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
  size_t Pos() const { return m_pos; }
  void Seek(size_t pos) { m_pos = pos; }
  void Skip() { ++m_pos; }

  void SkipSpace() {
    while (Peek() == ' ' || Peek() == '\t') ++m_pos;
  }
  void SkipSeparators() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == ',') ++m_pos;
  }
  void SkipToComma() {
    while (!AtEnd() && Peek() != ',') ++m_pos;
  }

  std::string Token() {
    const size_t start = m_pos;
    while (IsTokenChar(Peek())) ++m_pos;
    return std::string(m_text.substr(start, m_pos - start));
  }

  // At a '"': the quoted string's text, each "\x" read as "x". One left
  // open ends with the value.
  std::string Quoted() {
    std::string out;
    ++m_pos;
    while (!AtEnd() && Peek() != '"') {
      if (Peek() == '\\' && m_pos + 1 < m_text.size()) ++m_pos;
      out += m_text[m_pos++];
    }
    if (!AtEnd()) ++m_pos;
    return out;
  }

  // Whether opaque credentials ("abc==") stand here, up to the next
  // challenge or the end: then they are passed over.
  bool SkipToken68() {
    size_t end = m_pos;
    while (end < m_text.size() && IsToken68Char(m_text[end])) ++end;
    if (end == m_pos) return false;
    while (end < m_text.size() && m_text[end] == '=') ++end;
    while (end < m_text.size() && (m_text[end] == ' ' || m_text[end] == '\t')) ++end;
    if (end < m_text.size() && m_text[end] != ',') return false;
    m_pos = end;
    return true;
  }

 private:
  std::string_view m_text;
  size_t m_pos = 0;
};

// Whether `text` can go back to the server as it came, in a quoted string of
// an ASCII header: visible ASCII, spaces and tabs. A realm, nonce or opaque
// value is echoed byte for byte (the first two are in the hash too), so one
// with NUL, another control or a byte beyond ASCII cannot be answered: a
// quoted string holds no control, and the system's session turns other
// bytes into its own code page on the way out.
bool Echoable(std::string_view text) {
  for (const char c : text)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') ||
        static_cast<unsigned char>(c) >= 0x7F)
      return false;
  return true;
}

// `text` as a quoted string. A header value cannot hold a line break, so
// none is let through.
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\r' || c == '\n') continue;
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

// The user name, quoted when it is printable ASCII; else in the extended
// form, UTF-8 and percent-encoded. A quoted string cannot carry control
// characters, and the system's session turns other bytes into its own
// code page on the way out.
std::string UserParameter(std::string_view user) {
  bool plain = true;
  for (const char c : user)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
      plain = false;
  if (plain) return "username=" + Quote(user);
  std::string out = "username*=UTF-8''";
  for (const char c : user) {
    if (IsAlphanumeric(c) || (c && std::strchr("!#$&+-.^_`|~", c))) {
      out += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      out += escaped;
    }
  }
  return out;
}

}  // namespace

const std::string* AuthChallenge::Param(std::string_view name) const {
  for (const auto& [key, value] : params)
    if (key == name) return &value;
  return nullptr;
}

std::vector<AuthChallenge> ParseAuthChallenges(std::string_view value) {
  std::vector<AuthChallenge> challenges;
  Reader r(value);
  for (;;) {
    r.SkipSeparators();
    if (r.AtEnd()) break;
    AuthChallenge challenge;
    challenge.scheme = Lower(r.Token());
    if (challenge.scheme.empty()) {  // not a challenge: on to the next comma
      r.Skip();
      r.SkipToComma();
      continue;
    }
    r.SkipSpace();
    if (!r.SkipToken68()) {
      // name=value pairs up to a word that is followed by no '=': the
      // scheme of the next challenge.
      for (;;) {
        const size_t start = r.Pos();
        r.SkipSeparators();
        std::string name = r.Token();
        r.SkipSpace();
        if (name.empty() || r.Peek() != '=') {
          r.Seek(start);
          break;
        }
        r.Skip();
        r.SkipSpace();
        std::string text = r.Peek() == '"' ? r.Quoted() : r.Token();
        challenge.params.emplace_back(Lower(name), std::move(text));
        r.SkipSpace();
        if (!r.AtEnd() && r.Peek() != ',') r.SkipToComma();
      }
    }
    challenges.push_back(std::move(challenge));
  }
  return challenges;
}

std::optional<DigestChallenge> UsableDigest(const std::vector<AuthChallenge>& challenges) {
  for (const AuthChallenge& c : challenges) {
    if (c.scheme != "digest") continue;
    const std::string* nonce = c.Param("nonce");
    if (!nonce) continue;
    DigestChallenge digest;
    digest.nonce = *nonce;
    if (const std::string* realm = c.Param("realm")) digest.realm = *realm;
    if (const std::string* opaque = c.Param("opaque")) digest.opaque = *opaque;
    if (const std::string* algorithm = c.Param("algorithm")) {
      const std::string name = Lower(*algorithm);
      if (name == "sha-256" || name == "sha-256-sess")
        digest.sha256 = true;
      else if (name != "md5" && name != "md5-sess")
        continue;
      digest.session = name.ends_with("-sess");
      digest.algorithm = *algorithm;
    }
    if (const std::string* qop = c.Param("qop")) {
      // A list such as "auth,auth-int"; without "auth" there is nothing
      // this client can answer.
      Reader list(*qop);
      while (!list.AtEnd() && !digest.qopAuth) {
        list.SkipSeparators();
        digest.qopAuth = Lower(list.Token()) == "auth";
        list.SkipToComma();
      }
      if (!digest.qopAuth) continue;
    }
    // The session key takes the client's nonce, which only the "auth"
    // form sends.
    if (digest.session && !digest.qopAuth) continue;
    if (!Echoable(digest.realm) || !Echoable(digest.nonce) ||
        (digest.opaque && !Echoable(*digest.opaque)))
      continue;
    if (const std::string* stale = c.Param("stale")) digest.stale = Lower(*stale) == "true";
    return digest;
  }
  return std::nullopt;
}

bool OffersBasic(const std::vector<AuthChallenge>& challenges) {
  for (const AuthChallenge& c : challenges)
    if (c.scheme == "basic") return true;
  return false;
}

std::string BasicAuthorization(std::string_view user, std::string_view password) {
  return "Basic " + Base64(std::string(user) + ":" + std::string(password));
}

std::string DigestAuthorization(const DigestChallenge& challenge, const DigestRequest& request) {
  const auto hash = [&](const std::string& text) {
    return challenge.sha256 ? Sha256Hex(text) : Md5Hex(text);
  };
  std::string key = hash(request.user + ":" + challenge.realm + ":" + request.password);
  if (challenge.session) key = hash(key + ":" + challenge.nonce + ":" + request.cnonce);
  const std::string target = hash(request.method + ":" + request.uri);
  char count[16];
  std::snprintf(count, sizeof count, "%08x", request.nonceCount);
  const std::string response = challenge.qopAuth ? hash(key + ":" + challenge.nonce + ":" + count +
                                                        ":" + request.cnonce + ":auth:" + target)
                                                 : hash(key + ":" + challenge.nonce + ":" + target);

  std::string out = "Digest " + UserParameter(request.user) + ", realm=" + Quote(challenge.realm) +
                    ", nonce=" + Quote(challenge.nonce) + ", uri=" + Quote(request.uri);
  if (!challenge.algorithm.empty()) out += ", algorithm=" + challenge.algorithm;
  out += ", response=" + Quote(response);
  if (challenge.qopAuth)
    out += std::string(", qop=auth, nc=") + count + ", cnonce=" + Quote(request.cnonce);
  if (challenge.opaque) out += ", opaque=" + Quote(*challenge.opaque);
  return out;
}

std::string NewClientNonce() {
  std::random_device source;
  std::string nonce;
  for (int i = 0; i < 4; ++i) {
    char word[9];
    std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(source()));
    nonce += word;
  }
  return nonce;
}

}  // namespace platform
