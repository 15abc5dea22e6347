#include "platform/netrc.h"

#include <vector>

#include "platform/file_io.h"
#include "platform/internet_session.h"

namespace platform {

namespace {

// Set by UseNetrcFile: whether to read a netrc file, and which (empty: the
// system's usual one).
bool g_useNetrc = false;
std::string g_netrcFile;

// Larger than any hand-written netrc; a mistaken name (a disk image, say)
// is not read whole.
constexpr size_t kMaxNetrcBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// An IPv6 address is written in brackets in an address and often without
// them in a netrc file.
std::string_view WithoutBrackets(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

// The file's words, in order. nullopt when a quoted word is left open.
class Words {
 public:
  explicit Words(std::string_view text) : m_text(text) {}

  // The next word; nullopt at the end of the text, and with `broken` set
  // when the text goes wrong.
  std::optional<std::string> Next() {
    while (m_pos < m_text.size() && (IsBlank(m_text[m_pos]) || m_text[m_pos] == '\n')) ++m_pos;
    if (m_pos == m_text.size()) return std::nullopt;
    std::string word;
    if (m_text[m_pos] != '"') {
      while (m_pos < m_text.size() && !IsBlank(m_text[m_pos]) && m_text[m_pos] != '\n')
        word += m_text[m_pos++];
      return word;
    }
    // A quoted word ends at its closing quote, on the line it began.
    for (++m_pos; m_pos < m_text.size() && m_text[m_pos] != '\n'; ++m_pos) {
      char c = m_text[m_pos];
      if (c == '"') {
        ++m_pos;
        return word;
      }
      if (c == '\\') {
        if (++m_pos == m_text.size() || m_text[m_pos] == '\n') break;
        c = m_text[m_pos];
        c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
      }
      word += c;
    }
    broken = true;
    return std::nullopt;
  }

  // Passes over the rest of this line, then every line up to and with the
  // first one that holds nothing but blanks: a macro's name and body.
  void SkipMacro() {
    bool firstLine = true;
    while (m_pos < m_text.size()) {
      size_t end = m_text.find('\n', m_pos);
      if (end == std::string_view::npos) end = m_text.size();
      bool blank = true;
      for (size_t i = m_pos; i < end && blank; ++i) blank = IsBlank(m_text[i]);
      m_pos = end == m_text.size() ? end : end + 1;
      if (!firstLine && blank) return;
      firstLine = false;
    }
  }

  bool broken = false;

 private:
  std::string_view m_text;
  size_t m_pos = 0;
};

}  // namespace

void UseNetrcFile(const std::string& file) {
  g_useNetrc = true;
  g_netrcFile = file;
}

std::optional<NetrcLogin> NetrcLoginFor(std::string_view text, std::string_view host) {
  struct Entry {
    NetrcLogin login;
    bool named = false;  // a login or a password was given
  };
  std::optional<Entry> machine, fallback;
  // Which entry the words now fill: the host's first, the first default,
  // or none (another host's, a later one, or none begun yet).
  Entry* filling = nullptr;
  Words words(text);
  while (std::optional<std::string> word = words.Next()) {
    if (SameNoCase(*word, "machine")) {
      const std::optional<std::string> name = words.Next();
      filling = nullptr;
      if (name && !machine && SameNoCase(WithoutBrackets(*name), WithoutBrackets(host)))
        filling = &machine.emplace();
    } else if (SameNoCase(*word, "default")) {
      filling = fallback ? nullptr : &fallback.emplace();
    } else if (SameNoCase(*word, "login") || SameNoCase(*word, "password")) {
      const std::optional<std::string> value = words.Next();
      if (value && filling) {
        (SameNoCase(*word, "login") ? filling->login.login : filling->login.password) = *value;
        filling->named = true;
      }
    } else if (SameNoCase(*word, "account")) {
      words.Next();
    } else if (SameNoCase(*word, "macdef")) {
      words.SkipMacro();
    }
  }
  if (words.broken) return std::nullopt;
  const std::optional<Entry>& chosen = machine ? machine : fallback;
  if (!chosen || !chosen->named) return std::nullopt;
  return chosen->login;
}

std::optional<NetrcLogin> ChosenNetrcLogin(std::string_view host, const std::string& defaultFile) {
  if (!g_useNetrc) return std::nullopt;
  const std::string& path = g_netrcFile.empty() ? defaultFile : g_netrcFile;
  std::string text;
  if (path.empty() ||
      file_io::LoadWholeFile(path, kMaxNetrcBytes, text) != file_io::LoadResult::kLoaded)
    return std::nullopt;
  return NetrcLoginFor(text, host);
}

}  // namespace platform
