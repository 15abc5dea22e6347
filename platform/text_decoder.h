#pragma once
// A page's bytes to the program's UTF-8, and text back into a page's
// encoding, as browsers do it: the encoding names are those
// EncodingForLabel gives (platform/encoding_labels.h).
//
// UTF-8, UTF-16LE/BE, windows-1252, x-user-defined and "replacement" are
// the program's own code, and so are the byte grammars of Shift_JIS, EUC-JP
// and ISO-2022-JP (where a character starts and ends, what a bad sequence
// is, the escape sequences' modes), so that a page reads alike on both
// systems; the system supplies only the JIS tables (iconv's CP932 and
// EUC-JP-MS on Linux, code pages 932 and 20932 on Windows). Other
// encodings go to the system by name where it has them.
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Decodes one stream. Blocks may be cut anywhere, also inside a character
// or an escape sequence: what a block leaves unfinished waits for the next.
// A malformed sequence becomes one U+FFFD; bytes the encoding lacks a
// character for likewise.
class TextDecoder {
 public:
  virtual ~TextDecoder() = default;
  // Appends the UTF-8 of the characters `bytes` completes to `out`.
  virtual void Decode(std::string_view bytes, std::string& out) = 0;
  // The stream ends: an unfinished character becomes U+FFFD.
  virtual void Finish(std::string& out) = 0;
};

// A decoder for `encoding`, or nullptr when neither the program nor the
// system has it (the caller then reads the page as undeclared).
std::unique_ptr<TextDecoder> OpenTextDecoder(std::string_view encoding);

// Appends `utf8` in `encoding` to `out` as a form's or an address's query
// is sent: a character the encoding lacks becomes "&#N;" (N its code point
// in decimal), a byte of `utf8` that starts no character "&#65533;".
// UTF-16LE/BE and "replacement" send UTF-8, as browsers do. False when the
// encoding is unknown to the program and the system (`out` unchanged).
bool EncodeFromUtf8(std::string_view encoding, std::string_view utf8, std::string& out);

// What each system gives, in posix/text_decoder.cpp and
// windows/text_decoder.cpp; the functions above call these.
namespace system_text {

// Appends the UTF-8 of `bytes`, whole Shift_JIS (CP932) characters of one
// or two bytes, to `out`; false, with `out` as it was, when one of them
// has no character.
bool DecodeShiftJis(std::string_view bytes, std::string& out);
// Appends the UTF-8 of one three-byte EUC-JP character (0x8F, then two
// bytes A1..FE: JIS X 0212); false when it has none.
bool DecodeJis0212(std::string_view bytes, std::string& out);
// Appends the CP932 bytes of `c` (not ASCII); false when it has none.
bool EncodeShiftJis(char32_t c, std::string& out);
// Another encoding of the system's, or nullptr.
std::unique_ptr<TextDecoder> OpenDecoder(std::string_view encoding);
// Encodes into another encoding of the system's, as EncodeFromUtf8 does;
// false when the system lacks it.
bool Encode(std::string_view encoding, std::u32string_view text, std::string& out);
// Appends "&#N;", how a character an encoding lacks is written.
void AppendCharacterReference(char32_t c, std::string& out);

}  // namespace system_text

}  // namespace platform
