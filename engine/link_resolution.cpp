#include "engine/link_resolution.h"

#include <optional>

#include "engine/harvest_engine.h"

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The five parts of a reference (RFC 3986, appendix B); a part that is
// absent is nullopt, which differs from present but empty.
struct Parts {
  std::optional<std::string_view> scheme;
  std::optional<std::string_view> authority;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
};

Parts Split(std::string_view text) {
  Parts parts;
  if (BeginsWithScheme(text)) {
    size_t colon = text.find(':');
    parts.scheme = text.substr(0, colon);
    text.remove_prefix(colon + 1);
  }
  if (size_t hash = text.find('#'); hash != std::string_view::npos) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (size_t mark = text.find('?'); mark != std::string_view::npos) {
    parts.query = text.substr(mark + 1);
    text = text.substr(0, mark);
  }
  if (text.substr(0, 2) == "//") {
    size_t slash = text.find('/', 2);
    parts.authority = text.substr(2, slash == std::string_view::npos ? std::string_view::npos : slash - 2);
    text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  }
  parts.path = text;
  return parts;
}

std::string Join(const Parts& parts, std::string_view path) {
  std::string out;
  if (parts.scheme) out.append(*parts.scheme).append(":");
  if (parts.authority) out.append("//").append(*parts.authority);
  out.append(path);
  if (parts.query) out.append("?").append(*parts.query);
  if (parts.fragment) out.append("#").append(*parts.fragment);
  return out;
}

// Drops the last segment of `output` and the "/" before it.
void DropLastSegment(std::string& output) {
  size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

bool BeginsWithScheme(std::string_view text) {
  if (text.empty() || !IsAlpha(text[0])) return false;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == ':') return true;
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      output.append("/");
      input = {};
    } else if (input.substr(0, 4) == "/../") {
      input.remove_prefix(3);
      DropLastSegment(output);
    } else if (input == "/..") {
      DropLastSegment(output);
      output.append("/");
      input = {};
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      size_t next = input.find('/', input[0] == '/' ? 1 : 0);
      if (next == std::string_view::npos) next = input.size();
      output.append(input.substr(0, next));
      input.remove_prefix(next);
    }
  }
  return output;
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
  if (BeginsWithScheme(reference)) return std::string(reference);
  const Parts r = Split(reference);
  const Parts b = Split(base);

  Parts t;
  t.scheme = b.scheme;
  t.fragment = r.fragment;
  std::string path;
  if (r.authority) {
    t.authority = r.authority;
    path = RemoveDotSegments(r.path);
    t.query = r.query;
  } else {
    t.authority = b.authority;
    if (r.path.empty()) {
      path = b.path;
      t.query = r.query ? r.query : b.query;
    } else {
      if (r.path[0] == '/') {
        path = RemoveDotSegments(r.path);
      } else {
        // Merge (5.2.3): the base's path up to its last "/", or "/" when the
        // base has an authority and no path.
        std::string merged;
        if (b.authority && b.path.empty()) {
          merged = "/";
        } else if (size_t slash = b.path.rfind('/'); slash != std::string_view::npos) {
          merged = b.path.substr(0, slash + 1);
        }
        merged.append(r.path);
        path = RemoveDotSegments(merged);
      }
      t.query = r.query;
    }
  }
  return Join(t, path);
}

std::string CHarvestEngine::ResolveRelativeLink(const std::string& link) const {
  return ResolveReference(m_strBaseUrl, link);
}

std::string CHarvestEngine::PrepareLinkLine(const std::string& line) const {
  std::string link = line;
  if (!link.empty() && link.back() == '\n') link.pop_back();
  if (!BeginsWithScheme(link)) link = ResolveRelativeLink(link);
  return FormatOutputLine(link);
}
