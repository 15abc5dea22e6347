#pragma once
// Making a link absolute the way RFC 3986 (section 5.2) resolves a
// reference. The bytes are taken as they stand: nothing is percent-encoded,
// decoded or case-folded, and a reference that is not a valid one (blanks,
// quotes) is joined as a relative path.
#include <string>
#include <string_view>

// Whether `text` begins with a scheme: a letter, then letters, digits, "+",
// "-" or ".", then ":". Such a link is already absolute.
bool BeginsWithScheme(std::string_view text);

// The dot segments of `path` removed (RFC 3986, 5.2.4); never above the root.
std::string RemoveDotSegments(std::string_view path);

// `reference` resolved against `base`. A reference that begins with a
// scheme is returned unchanged.
std::string ResolveReference(std::string_view base, std::string_view reference);
