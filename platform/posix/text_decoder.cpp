// The system's character tables on Linux: glibc's iconv.
//
// Shift_JIS is Microsoft's CP932, as browsers read it. EUC-JP's JIS X 0208
// part goes through the same table (platform/text_codecs.cpp); its JIS X
// 0212 part through EUC-JP-MS, whose JIS X 0212 is the one browsers use
// (plain EUC-JP would do as well there; EUC-JP-MS also keeps the IBM
// extension rows should JIS X 0208 ever be sent through it).
#include "platform/text_decoder.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/utf8.h"

namespace platform {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One converter per thread and direction, opened on first use and kept:
// a converter serves one caller at a time, and opening one costs more than
// a page's worth of small conversions.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != kNoConverter) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Open() const { return cd_ != kNoConverter; }

  // Appends all of `in` converted; false, with `out` as it was, when any
  // of it does not convert.
  bool Whole(std::string_view in, std::string& out) {
    if (!Open()) return false;
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    const size_t before = out.size();
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    bool flushed = false;
    for (;;) {
      const size_t used = out.size();
      const size_t room = inLeft * 4 + 16;
      out.resize(used + room);
      char* outPtr = out.data() + used;
      size_t outLeft = room;
      const size_t result = flushed || inLeft == 0
                                ? ::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft)
                                : ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      const int error = result == static_cast<size_t>(-1) ? errno : 0;
      out.resize(out.size() - outLeft);
      if (error == E2BIG) continue;
      if (error != 0) {
        out.resize(before);
        return false;
      }
      if (inLeft == 0 && flushed) return true;
      if (inLeft == 0) flushed = true;
    }
  }

  iconv_t Handle() const { return cd_; }

 private:
  iconv_t cd_;
};

Converter& ShiftJisToUtf8() {
  thread_local Converter converter("UTF-8", "CP932");
  return converter;
}

// The iconv name of an encoding that only the system decodes, or nullptr.
// GBK is read as gb18030, its superset, as browsers read it; EUC-KR is
// Microsoft's extension of it (code page 949), Big5 the Hong Kong one.
const char* IconvName(std::string_view encoding, bool decoding) {
  struct Name {
    std::string_view encoding;
    const char* iconv;
  };
  static constexpr Name kNames[] = {
      {"IBM866", "IBM866"},
      {"ISO-8859-2", "ISO-8859-2"},
      {"ISO-8859-3", "ISO-8859-3"},
      {"ISO-8859-4", "ISO-8859-4"},
      {"ISO-8859-5", "ISO-8859-5"},
      {"ISO-8859-6", "ISO-8859-6"},
      {"ISO-8859-7", "ISO-8859-7"},
      {"ISO-8859-8", "ISO-8859-8"},
      {"ISO-8859-8-I", "ISO-8859-8"},
      {"ISO-8859-10", "ISO-8859-10"},
      {"ISO-8859-13", "ISO-8859-13"},
      {"ISO-8859-14", "ISO-8859-14"},
      {"ISO-8859-15", "ISO-8859-15"},
      {"ISO-8859-16", "ISO-8859-16"},
      {"KOI8-R", "KOI8-R"},
      {"KOI8-U", "KOI8-U"},
      {"macintosh", "MACINTOSH"},
      {"windows-874", "CP874"},
      {"windows-1250", "CP1250"},
      {"windows-1251", "CP1251"},
      {"windows-1253", "CP1253"},
      {"windows-1254", "CP1254"},
      {"windows-1255", "CP1255"},
      {"windows-1256", "CP1256"},
      {"windows-1257", "CP1257"},
      {"windows-1258", "CP1258"},
      {"x-mac-cyrillic", "MAC-CYRILLIC"},
      {"gb18030", "GB18030"},
      {"Big5", "BIG5-HKSCS"},
      {"EUC-KR", "CP949"},
  };
  if (encoding == "GBK") return decoding ? "GB18030" : "GBK";
  for (const Name& name : kNames)
    if (name.encoding == encoding) return name.iconv;
  return nullptr;
}

// Any other encoding through iconv. A block's unfinished character waits
// for the next; a byte iconv refuses becomes U+FFFD and the next byte is
// tried, where browsers would sometimes take two bytes for one U+FFFD.
class IconvDecoder final : public TextDecoder {
 public:
  explicit IconvDecoder(const char* name) : converter_("UTF-8", name) {}
  bool Open() const { return converter_.Open(); }

  void Decode(std::string_view block, std::string& out) override {
    std::string joined;
    std::string_view bytes = block;
    if (!held_.empty()) {
      joined = held_ + std::string(block);
      held_.clear();
      bytes = joined;
    }
    char* inPtr = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      const size_t used = out.size();
      const size_t room = inLeft * 4 + 16;
      out.resize(used + room);
      char* outPtr = out.data() + used;
      size_t outLeft = room;
      const size_t result = ::iconv(converter_.Handle(), &inPtr, &inLeft, &outPtr, &outLeft);
      const int error = result == static_cast<size_t>(-1) ? errno : 0;
      out.resize(out.size() - outLeft);
      if (error == EINVAL) {
        held_.assign(inPtr, inLeft);
        return;
      }
      if (error == EILSEQ) {
        out += "\xEF\xBF\xBD";
        ++inPtr;
        --inLeft;
      } else if (error != 0 && error != E2BIG) {
        return;
      }
    }
  }

  void Finish(std::string& out) override {
    if (held_.empty()) return;
    held_.clear();
    out += "\xEF\xBF\xBD";
  }

 private:
  Converter converter_;
  std::string held_;
};

}  // namespace

namespace system_text {

bool DecodeShiftJis(std::string_view bytes, std::string& out) {
  return ShiftJisToUtf8().Whole(bytes, out);
}

bool DecodeJis0212(std::string_view bytes, std::string& out) {
  thread_local Converter converter("UTF-8", "EUC-JP-MS");
  return converter.Whole(bytes, out);
}

bool EncodeShiftJis(char32_t c, std::string& out) {
  thread_local Converter converter("CP932", "UTF-8");
  std::string utf8;
  AppendUtf8(utf8, c);
  return converter.Whole(utf8, out);
}

std::unique_ptr<TextDecoder> OpenDecoder(std::string_view encoding) {
  const char* name = IconvName(encoding, true);
  if (!name) return nullptr;
  auto decoder = std::make_unique<IconvDecoder>(name);
  if (!decoder->Open()) return nullptr;
  return decoder;
}

bool Encode(std::string_view encoding, std::u32string_view text, std::string& out) {
  const char* name = IconvName(encoding, false);
  if (!name) return false;
  Converter converter(name, "UTF-8");
  if (!converter.Open()) return false;
  // A character at a time, so that each one the encoding lacks is known.
  for (char32_t c : text) {
    std::string utf8;
    AppendUtf8(utf8, c);
    if (!converter.Whole(utf8, out)) {
      AppendCharacterReference(c, out);
    }
  }
  return true;
}

}  // namespace system_text

}  // namespace platform
