#pragma once
// Making a link absolute the way RFC 3986 (section 5.2) resolves a
// reference. The bytes are taken as they stand: nothing is percent-encoded,
// decoded or case-folded, and a reference that is not a valid one (blanks,
// quotes) is joined as a relative path.
#include <optional>
#include <string>
#include <string_view>

// Whether `text` begins with a scheme: a letter, then letters, digits, "+",
// "-" or ".", then ":". Such a link is already absolute.
bool BeginsWithScheme(std::string_view text);

// `reference` resolved against `base`. A reference that begins with a
// scheme is returned unchanged.
std::string ResolveReference(std::string_view base, std::string_view reference);

// ResolveReference against one base for many references: the base is split
// once, and the result is built in a buffer reused from call to call. The
// base must outlive the resolver.
class ReferenceResolver {
 public:
  explicit ReferenceResolver(std::string_view base);

  // `reference` resolved; the view holds until the next call.
  std::string_view Resolve(std::string_view reference);

  // The five parts of a reference (RFC 3986, appendix B); a part that is
  // absent is nullopt, which differs from present but empty.
  struct Parts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
  };

 private:
  Parts m_base;
  size_t m_baseSize;
  std::string_view m_mergePrefix;  // what a relative path is merged onto (5.2.3)
  bool m_mergePrefixHasDots = false;
  // What a plain relative path is appended to, whole: the base's scheme and
  // authority and the merge prefix; nullopt when the prefix has dots.
  std::optional<std::string> m_plainPrefix;
  std::string m_merged;
  std::string m_result;
};
