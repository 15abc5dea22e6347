#pragma once
// Percent-encoding and -decoding as web addresses use them, with the sets
// of bytes each part of an address escapes.
#include <array>
#include <string>
#include <string_view>

// The bytes one part of an address writes as "%XX". Every set holds the C0
// controls and every byte above 0x7E; each part adds some printable ones.
class PercentEncodeSet {
 public:
  constexpr PercentEncodeSet() {
    for (int b = 0; b < 256; ++b) m_escaped[b] = b < 0x20 || b > 0x7E;
  }
  // This set with the bytes of `more` added.
  constexpr PercentEncodeSet With(std::string_view more) const {
    PercentEncodeSet wider = *this;
    for (char c : more) wider.m_escaped[static_cast<unsigned char>(c)] = true;
    return wider;
  }
  constexpr bool Contains(unsigned char byte) const { return m_escaped[byte]; }

 private:
  std::array<bool, 256> m_escaped{};
};

inline constexpr PercentEncodeSet kC0ControlSet{};
inline constexpr PercentEncodeSet kFragmentSet = kC0ControlSet.With(" \"<>`");
inline constexpr PercentEncodeSet kQuerySet = kC0ControlSet.With(" \"#<>");
inline constexpr PercentEncodeSet kSpecialQuerySet = kQuerySet.With("'");
inline constexpr PercentEncodeSet kPathSet = kQuerySet.With("?^`{}");
inline constexpr PercentEncodeSet kUserinfoSet = kPathSet.With("/:;=@[\\]|");
inline constexpr PercentEncodeSet kComponentSet = kUserinfoSet.With("$%&+,");
inline constexpr PercentEncodeSet kFormSet = kComponentSet.With("!'()~");

// Appends `text`, UTF-8, with the bytes in `set` escaped. A byte that starts
// no well-formed character is taken as U+FFFD, as a page's decoder would
// have made it; a surrogate written in three bytes counts as one.
void AppendPercentEncoded(std::string& out, std::string_view text, const PercentEncodeSet& set);

// Appends the character at `text[pos]` escaped, byte by byte (U+FFFD for an
// ill-formed stretch, as above); returns how many bytes of `text` it took.
size_t AppendEscapedCharacter(std::string& out, std::string_view text, size_t pos);

// Appends `bytes`, of any encoding, with the bytes in `set` escaped.
void AppendPercentEncodedBytes(std::string& out, std::string_view bytes,
                               const PercentEncodeSet& set);

// Appends `text` with each "%XX" (two hex digits) turned into its byte; a
// "%" without two hex digits after it stays as it is.
void AppendPercentDecoded(std::string& out, std::string_view text);

// The length (1 to 4) of the character at `text[pos]` when it is well-formed
// UTF-8; 0 when it is not.
size_t WellFormedCharacterLength(std::string_view text, size_t pos);

// The length of the ill-formed stretch at `text[pos]` that stands for one
// U+FFFD: a three-byte surrogate, or else the longest start of a character.
size_t IllFormedStretchLength(std::string_view text, size_t pos);
