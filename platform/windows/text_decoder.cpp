// The system's character tables on Windows: MultiByteToWideChar and
// WideCharToMultiByte, then UTF-16 to UTF-8 by the program's own rule.
//
// Shift_JIS is code page 932, as browsers read it. EUC-JP's JIS X 0208
// part goes through the same table (platform/text_codecs.cpp); its JIS X
// 0212 part through code page 20932, the one EUC-JP code page the
// conversion calls take (51932 lives only in MLang). These calls keep no
// state between calls, so the program cuts what it hands them at whole
// characters itself.
#include "platform/text_decoder.h"

#include <string>

#include "platform/utf8.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

namespace {

constexpr UINT kShiftJis = 932;
constexpr UINT kEucJp = 20932;

// Appends `bytes` of code page `page` as UTF-8; false, with `out` as it
// was, when any byte sequence has no character.
bool Widened(UINT page, std::string_view bytes, std::string& out) {
  if (bytes.empty()) return true;
  const int size = static_cast<int>(bytes.size());
  std::wstring wide(bytes.size(), L'\0');
  const int length =
      ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), size);
  if (length <= 0) return false;
  wide.resize(static_cast<size_t>(length));
  out += win32::Narrow(wide);
  return true;
}

// The bytes of `c` in code page `page`; false when it has none there (no
// best fit: a look-alike would send another character).
bool Narrowed(UINT page, char32_t c, std::string& out) {
  std::string utf8;
  AppendUtf8(utf8, c);
  const std::wstring wide = win32::Widen(utf8);
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int length =
      ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                            bytes, sizeof bytes, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  out.append(bytes, static_cast<size_t>(length));
  return true;
}

// The code page of an encoding only the system decodes, or 0. EUC-KR is
// code page 949 (Microsoft's extension, as browsers read it), GBK 936.
// gb18030 (54936) is left out: its four-byte characters would need a
// grammar of their own to be cut between blocks.
UINT CodePage(std::string_view encoding) {
  struct Page {
    std::string_view encoding;
    UINT page;
  };
  static constexpr Page kPages[] = {
      {"IBM866", 866},        {"ISO-8859-2", 28592},  {"ISO-8859-3", 28593},
      {"ISO-8859-4", 28594},  {"ISO-8859-5", 28595},  {"ISO-8859-6", 28596},
      {"ISO-8859-7", 28597},  {"ISO-8859-8", 28598},  {"ISO-8859-8-I", 38598},
      {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605}, {"KOI8-R", 20866},
      {"KOI8-U", 21866},      {"macintosh", 10000},   {"windows-874", 874},
      {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1253", 1253},
      {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256},
      {"windows-1257", 1257}, {"windows-1258", 1258}, {"x-mac-cyrillic", 10007},
      {"GBK", 936},           {"Big5", 950},          {"EUC-KR", 949},
  };
  for (const Page& page : kPages)
    if (page.encoding == encoding) return page.page;
  return 0;
}

// A single-byte or double-byte code page. A lead byte the block ends on
// waits for the next block; a run that does not convert goes again a
// character at a time, each bad one U+FFFD.
class CodePageDecoder final : public TextDecoder {
 public:
  CodePageDecoder(UINT page, bool doubleByte) : page_(page), doubleByte_(doubleByte) {}

  void Decode(std::string_view block, std::string& out) override {
    std::string joined;
    std::string_view bytes = block;
    if (!held_.empty()) {
      joined = held_ + std::string(block);
      held_.clear();
      bytes = joined;
    }
    size_t end = bytes.size();
    if (doubleByte_) {
      size_t i = 0;
      while (i < bytes.size()) {
        const bool lead = ::IsDBCSLeadByteEx(page_, static_cast<BYTE>(bytes[i]));
        if (lead && i + 1 == bytes.size()) {
          end = i;
          held_.assign(bytes.substr(i));
          break;
        }
        i += lead ? 2 : 1;
      }
    }
    const std::string_view whole = bytes.substr(0, end);
    if (Widened(page_, whole, out)) return;
    for (size_t i = 0; i < whole.size();) {
      const size_t length =
          doubleByte_ && ::IsDBCSLeadByteEx(page_, static_cast<BYTE>(whole[i])) ? 2 : 1;
      if (!Widened(page_, whole.substr(i, length), out)) {
        out += "\xEF\xBF\xBD";
      }
      i += length;
    }
  }

  void Finish(std::string& out) override {
    if (held_.empty()) return;
    held_.clear();
    out += "\xEF\xBF\xBD";
  }

 private:
  UINT page_;
  bool doubleByte_;
  std::string held_;
};

}  // namespace

namespace system_text {

bool DecodeShiftJis(std::string_view bytes, std::string& out) {
  return Widened(kShiftJis, bytes, out);
}

// JIS X 0212 has only characters of three UTF-8 bytes; anything else is
// the code page reading 0x8F as a byte of its own, as Wine's 20932 does,
// which lacks JIS X 0212.
bool DecodeJis0212(std::string_view bytes, std::string& out) {
  std::string one;
  if (!Widened(kEucJp, bytes, one) || one.size() != 3) return false;
  out += one;
  return true;
}

bool EncodeShiftJis(char32_t c, std::string& out) { return Narrowed(kShiftJis, c, out); }

std::unique_ptr<TextDecoder> OpenDecoder(std::string_view encoding) {
  const UINT page = CodePage(encoding);
  CPINFO info;
  if (page == 0 || !::GetCPInfo(page, &info) || info.MaxCharSize > 2) return nullptr;
  return std::make_unique<CodePageDecoder>(page, info.MaxCharSize == 2);
}

bool Encode(std::string_view encoding, std::u32string_view text, std::string& out) {
  const UINT page = CodePage(encoding);
  CPINFO info;
  if (page == 0 || !::GetCPInfo(page, &info)) return false;
  for (char32_t c : text) {
    if (!Narrowed(page, c, out)) {
      AppendCharacterReference(c, out);
    }
  }
  return true;
}

}  // namespace system_text

}  // namespace platform
