#pragma once
// Which encoding a page is read in, found the way a browser finds it: a
// byte order mark, else the charset of the answer's Content-Type, else a
// <meta> in the page's first 1024 bytes; a page that declares none is read
// as UTF-8 when all of it is well-formed UTF-8 and as Shift_JIS otherwise,
// the encoding Japanese pages without a declaration are most often in.
#include <cstddef>
#include <optional>
#include <string_view>

namespace engine {

enum class EncodingSource {
  kByteOrderMark,
  kContentType,
  kMeta,
  kValidUtf8,  // undeclared, and well-formed UTF-8 throughout
  kFallback,   // undeclared, and not UTF-8: Shift_JIS
};

struct PageEncoding {
  std::string_view name;  // as platform::EncodingForLabel spells it
  EncodingSource source;
  size_t byteOrderMarkLength = 0;  // bytes to skip before decoding
};

// The encoding the page declares: `start` is the page's first bytes (at
// least 1024 of them when it has as many; more are not looked at),
// `contentType` the answer's Content-Type ("" for none or a local file).
// Nothing when it declares none or only names no browser knows.
std::optional<PageEncoding> DeclaredEncoding(std::string_view contentType, std::string_view start);

// For an undeclared page: UTF-8 or Shift_JIS, by what Utf8Check found.
PageEncoding UndeclaredEncoding(bool validUtf8);

// Whether a page is well-formed UTF-8 throughout, fed in blocks cut
// anywhere; ASCII goes eight bytes at a time.
class Utf8Check {
 public:
  void Feed(std::string_view block);
  // The page has ended: true when every byte was part of a well-formed
  // character.
  bool Valid() const { return valid_ && needed_ == 0; }

 private:
  bool valid_ = true;
  int needed_ = 0;  // continuation bytes still due
  unsigned char lower_ = 0x80, upper_ = 0xBF;
};

}  // namespace engine
