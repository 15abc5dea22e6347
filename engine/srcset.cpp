#include "engine/srcset.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool IsAsciiWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// A valid non-negative integer: ASCII digits alone.
bool ParseInteger(std::string_view text, double& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// A valid floating-point number: "-"? digits ("." digits)? (e|E [+-]? digits)?
// or "." digits, as HTML writes them.
bool ParseFloat(std::string_view text, double& value) {
  size_t i = 0;
  auto digits = [&] {
    size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  bool whole = digits();
  bool fraction = false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    fraction = digits();
    if (!fraction) return false;
  }
  if (!whole && !fraction) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  if (i != text.size()) return false;
  value = std::strtod(std::string(text).c_str(), nullptr);
  return true;
}

}  // namespace

bool IsDataUrl(std::string_view url) {
  // Mostly the first character is the scheme's, and no "d".
  if (!url.empty() && static_cast<unsigned char>(url[0]) > 0x20 && (url[0] | 0x20) != 'd')
    return false;
  // The parser drops leading controls and blanks, and tabs and line breaks
  // anywhere, before it reads the scheme.
  char scheme[5];
  size_t length = 0;
  for (char c : url) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (length == 0 && static_cast<unsigned char>(c) <= 0x20) continue;
    if (c == ':') break;
    if (length == sizeof scheme) return false;
    scheme[length++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return std::string_view(scheme, length) == "data";
}

void LargestSrcsetCandidate::Clear() {
  m_url.clear();
  m_byWidth = false;
  m_size = 0;
}

void LargestSrcsetCandidate::Offer(std::string_view url, std::string_view descriptors) {
  // The descriptors, split as the attribute's grammar splits them: by
  // blanks, but not inside parentheses.
  std::vector<std::string_view> list;
  for (size_t i = 0; i < descriptors.size();) {
    while (i < descriptors.size() && IsAsciiWhitespace(descriptors[i])) ++i;
    if (i == descriptors.size()) break;
    size_t start = i;
    int depth = 0;
    while (i < descriptors.size() && (depth > 0 || !IsAsciiWhitespace(descriptors[i]))) {
      if (descriptors[i] == '(') ++depth;
      if (descriptors[i] == ')' && depth > 0) --depth;
      ++i;
    }
    list.push_back(descriptors.substr(start, i - start));
  }
  bool hasWidth = false, hasDensity = false, hasHeight = false;
  double width = 0, density = 1;
  for (std::string_view d : list) {
    const char last = d.empty() ? '\0' : d.back();
    const std::string_view number = d.substr(0, d.size() - 1);
    double value = 0;
    if (last == 'w') {
      if (hasWidth || hasDensity || !ParseInteger(number, value) || value == 0) return;
      hasWidth = true;
      width = value;
    } else if (last == 'x') {
      if (hasWidth || hasDensity || hasHeight || !ParseFloat(number, value) || value < 0) return;
      hasDensity = true;
      density = value;
    } else if (last == 'h') {
      if (hasHeight || hasDensity || !ParseInteger(number, value) || value == 0) return;
      hasHeight = true;
    } else {
      return;  // not a descriptor this reading knows: the candidate is dropped
    }
  }
  if (hasHeight && !hasWidth) return;
  if (url.empty() || IsDataUrl(url)) return;
  // A width beats any density: it is the only size that says how large the
  // picture itself is.
  const bool better = m_url.empty() || (hasWidth && !m_byWidth) ||
                      (hasWidth == m_byWidth && (hasWidth ? width : density) > m_size);
  if (!better) return;
  m_url.assign(url);
  m_byWidth = hasWidth;
  m_size = hasWidth ? width : density;
}

void LargestSrcsetCandidate::Add(std::string_view srcset) {
  size_t i = 0;
  const size_t n = srcset.size();
  while (true) {
    while (i < n && (IsAsciiWhitespace(srcset[i]) || srcset[i] == ',')) ++i;
    if (i >= n) return;
    size_t start = i;
    while (i < n && !IsAsciiWhitespace(srcset[i])) ++i;
    std::string_view url = srcset.substr(start, i - start);
    if (url.back() == ',') {
      while (!url.empty() && url.back() == ',') url.remove_suffix(1);
      Offer(url, {});
      continue;
    }
    // The descriptors run to the next comma outside parentheses.
    size_t descriptorsStart = i;
    int depth = 0;
    while (i < n && (depth > 0 || srcset[i] != ',')) {
      if (srcset[i] == '(') ++depth;
      if (srcset[i] == ')' && depth > 0) --depth;
      ++i;
    }
    Offer(url, srcset.substr(descriptorsStart, i - descriptorsStart));
    if (i < n) ++i;  // the comma
  }
}
