#include "engine/link_resolution.h"

#include <cstring>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using Parts = ReferenceResolver::Parts;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
    parts.authority =
        text.substr(2, slash == std::string_view::npos ? std::string_view::npos : slash - 2);
    text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  }
  parts.path = text;
  return parts;
}

// Whether `path` may hold a dot segment: one begins the path or follows a
// "/". Most paths have none, and removing none leaves them as they are.
bool MayHaveDotSegments(std::string_view path) {
  return !path.empty() && (path[0] == '.' || path.find("/.") != std::string_view::npos);
}

// Removes the dot segments (RFC 3986, 5.2.4) from what `text` holds after
// `root`; what stands before `root` is never dropped. The work is done in
// place: the output never overtakes the input, so a long link costs no
// second copy of itself.
void RemoveDotSegments(std::string& text, size_t root) {
  if (!MayHaveDotSegments(std::string_view(text).substr(root))) return;
  char* const data = text.data();
  const size_t size = text.size();
  size_t out = root, in = root;
  // Drops the last segment of the output and the "/" before it.
  auto dropLastSegment = [&] {
    size_t slash = std::string_view(data + root, out - root).rfind('/');
    out = slash == std::string_view::npos ? root : root + slash;
  };
  while (in < size) {
    const std::string_view input(data + in, size - in);
    if (input.substr(0, 3) == "../") {
      in += 3;
    } else if (input.substr(0, 2) == "./") {
      in += 2;
    } else if (input.substr(0, 3) == "/./") {
      in += 2;
    } else if (input == "/.") {
      data[out++] = '/';
      in = size;
    } else if (input.substr(0, 4) == "/../") {
      in += 3;
      dropLastSegment();
    } else if (input == "/..") {
      dropLastSegment();
      data[out++] = '/';
      in = size;
    } else if (input == "." || input == "..") {
      in = size;
    } else {
      size_t next = input.find('/', input[0] == '/' ? 1 : 0);
      if (next == std::string_view::npos) next = input.size();
      if (out != in) std::memmove(data + out, data + in, next);
      out += next;
      in += next;
    }
  }
  text.resize(out);
}

// Appends `input` to `output` with its dot segments removed; what `output`
// held before is the root.
void AppendWithoutDotSegments(std::string_view input, std::string& output) {
  const size_t root = output.size();
  output.append(input);
  RemoveDotSegments(output, root);
}

// A reference that is a relative path and nothing else: no scheme, query or
// fragment, no leading "/" and no dot segment. Most links of a page are;
// they are merged onto the base by appending them.
bool IsPlainRelativePath(std::string_view reference) {
  if (reference.empty()) return false;
  const char* p = reference.data();
  const char* const end = p + reference.size();
  if (*p == '/' || *p == '.' || *p == ':' || *p == '#' || *p == '?') return false;
  // From the second byte on, each is looked at with the one before it.
  ++p;
#ifdef __SSE2__
  const __m128i colon = _mm_set1_epi8(':'), hash = _mm_set1_epi8('#'), mark = _mm_set1_epi8('?'),
                dot = _mm_set1_epi8('.'), slash = _mm_set1_epi8('/');
  for (; end - p >= 16; p += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
    const __m128i dotSegment =
        _mm_and_si128(_mm_cmpeq_epi8(here, dot), _mm_cmpeq_epi8(before, slash));
    const __m128i stop =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(here, colon), _mm_cmpeq_epi8(here, hash)),
                     _mm_or_si128(_mm_cmpeq_epi8(here, mark), dotSegment));
    if (_mm_movemask_epi8(stop) != 0) return false;
  }
#endif
  for (; p < end; ++p) {
    if (*p == ':' || *p == '#' || *p == '?' || (*p == '.' && p[-1] == '/')) return false;
  }
  return true;
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

std::string ResolveReference(std::string_view base, std::string_view reference) {
  if (BeginsWithScheme(reference)) return std::string(reference);
  ReferenceResolver resolver(base);
  return std::string(resolver.Resolve(reference));
}

ReferenceResolver::ReferenceResolver(std::string_view base)
    : m_base(Split(base)), m_baseSize(base.size()) {
  // Merge (5.2.3): the base's path up to its last "/", or "/" when the base
  // has an authority and no path.
  if (m_base.authority && m_base.path.empty()) {
    m_mergePrefix = "/";
  } else if (size_t slash = m_base.path.rfind('/'); slash != std::string_view::npos) {
    m_mergePrefix = m_base.path.substr(0, slash + 1);
  }
  m_mergePrefixHasDots = MayHaveDotSegments(m_mergePrefix);
  if (!m_mergePrefixHasDots) {
    std::string& prefix = m_plainPrefix.emplace();
    if (m_base.scheme) prefix.append(*m_base.scheme).append(":");
    if (m_base.authority) prefix.append("//").append(*m_base.authority);
    prefix.append(m_mergePrefix);
  }
}

std::string_view ReferenceResolver::Resolve(std::string_view reference) {
  // What the steps below make of such a path, in one piece.
  if (m_plainPrefix && IsPlainRelativePath(reference))
    return m_result.assign(*m_plainPrefix).append(reference);
  const Parts r = Split(reference);
  if (r.scheme) return reference;  // already absolute

  // The target is written part by part: scheme, authority, path, query,
  // fragment (5.2.2 and 5.3).
  std::string& t = m_result;
  t.clear();
  // Room for the longest result at once: growing by doubling would hold an
  // old and a new copy of a long link side by side.
  t.reserve(m_baseSize + reference.size() + 4);
  if (m_base.scheme) t.append(*m_base.scheme).append(":");
  std::optional<std::string_view> query = r.query;
  if (r.authority) {
    t.append("//").append(*r.authority);
    AppendWithoutDotSegments(r.path, t);
  } else {
    if (m_base.authority) t.append("//").append(*m_base.authority);
    if (r.path.empty()) {
      t.append(m_base.path);
      if (!r.query) query = m_base.query;
    } else if (r.path[0] == '/') {
      AppendWithoutDotSegments(r.path, t);
    } else if (!m_mergePrefixHasDots && !MayHaveDotSegments(r.path)) {
      // The prefix ends in "/" and the path does not begin with ".": no dot
      // segment spans the two either.
      t.append(m_mergePrefix).append(r.path);
    } else {
      const size_t root = t.size();
      t.append(m_mergePrefix).append(r.path);
      RemoveDotSegments(t, root);
    }
  }
  if (query) t.append("?").append(*query);
  if (r.fragment) t.append("#").append(*r.fragment);
  return t;
}
