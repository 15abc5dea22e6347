#include "engine/browser_page_scan.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/browser_links.h"
#include "engine/encoding_sniffer.h"
#include "engine/find_bytes.h"
#include "engine/html_tokenizer.h"
#include "engine/page_links_collector.h"
#include "platform/byte_reader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text_decoder.h"
#include "platform/text_file.h"
#include "platform/utf8.h"

namespace {

// The page's bytes block by block: as stored, or as a text-mode read gives
// them back (a downloaded page is stored with each LF as CR LF, and read so
// it is the bytes the server sent).
class PageSource {
 public:
  bool Open(const std::string& path, bool textMode, bool mapPage) {
    m_textMode = textMode;
    if (!textMode) return m_bytes.Open(path, mapPage);
    if (!m_buffer) m_buffer = std::make_unique<char[]>(kBlock);
    return m_text.Open(path);
  }
  std::string_view Next() {
    if (!m_textMode) return m_bytes.Next();
    return std::string_view(m_buffer.get(), m_text.Read(m_buffer.get(), kBlock));
  }
  bool Failed() const { return m_textMode ? m_text.Failed() : m_bytes.Failed(); }

 private:
  static constexpr size_t kBlock = 256 * 1024;
  bool m_textMode = false;
  platform::ByteReader m_bytes;
  platform::TextReader m_text;
  std::unique_ptr<char[]> m_buffer;
};

// Records are gathered and written this much at a time.
constexpr size_t kFlushSize = 256 * 1024;
// How much of the page's start the declarations are looked for in.
constexpr size_t kSniffLength = 1024;

// The page's encoding: declared (byte-order mark, the answer's header, a
// <meta> near the top), else UTF-8 when every byte of the page is valid
// UTF-8, else Shift_JIS, which is what an undeclared page means to the
// people this program is for. An encoding the system cannot decode counts
// as undeclared. `skip`: the byte-order mark's length.
std::unique_ptr<platform::TextDecoder> OpenPageDecoder(const std::string& pagePath, bool textMode,
                                                       bool mapPage, const std::string& contentType,
                                                       std::string& encoding, size_t& skip) {
  PageSource page;
  if (!page.Open(pagePath, textMode, mapPage)) return nullptr;
  // The declarations stand near the top: only the first bytes are read for
  // them, and the whole page only when there are none.
  std::string start;
  std::string_view block;
  while (start.size() < kSniffLength && !(block = page.Next()).empty()) start.append(block);
  if (page.Failed()) return nullptr;
  skip = 0;
  if (auto declared = engine::DeclaredEncoding(contentType, start))
    if (auto decoder = platform::OpenTextDecoder(declared->name)) {
      encoding = declared->name;
      skip = declared->byteOrderMarkLength;
      return decoder;
    }
  engine::Utf8Check check;
  check.Feed(start);
  while (check.Valid() && !(block = page.Next()).empty()) check.Feed(block);
  // A page cut short while it was checked is read again and fails there.
  encoding = engine::UndeclaredEncoding(check.Valid()).name;
  return platform::OpenTextDecoder(encoding);
}

// The decoded page, block by block, to the tokenizer. A UTF-8 page's bytes
// go as they are wherever they are well-formed, since the decoder would
// give them back unchanged there; from the first fault on, the decoder
// reads the rest, starting at the start of a character, as it would have
// read it having decoded everything before.
class PageFeed {
 public:
  PageFeed(platform::TextDecoder& decoder, bool utf8, HtmlTokenizer& tokenizer)
      : m_decoder(decoder), m_tokenizer(tokenizer), m_decoding(!utf8) {}

  void Feed(std::string_view block) {
    if (m_decoding) return Decode(block);
    size_t i = 0;
    if (m_carryLength > 0) {
      // The character the last block ended in.
      char character[4];
      std::memcpy(character, m_carry, m_carryLength);
      const size_t taken = std::min(sizeof character - m_carryLength, block.size());
      std::memcpy(character + m_carryLength, block.data(), taken);
      const size_t length = platform::Utf8CharacterLength({character, m_carryLength + taken}, 0);
      if (length <= m_carryLength) {
        // Ill-formed, or still cut: the decoder judges it.
        m_decoding = true;
        Decode({m_carry, m_carryLength});
        return Decode(block);
      }
      m_tokenizer.Feed(character, length);
      i = length - m_carryLength;
      m_carryLength = 0;
    }
    const size_t start = i;
    const size_t n = block.size();
    while (i < n) {
      i = static_cast<size_t>(FindNonAscii(block.data() + i, block.data() + n) - block.data());
      if (i == n) break;
      const size_t length = platform::Utf8CharacterLength(block, i);
      if (length > 1) {
        i += length;
        continue;
      }
      m_tokenizer.Feed(block.substr(start, i - start));
      if (n - i < 4) {
        // Maybe a character the next block ends.
        m_carryLength = n - i;
        std::memcpy(m_carry, block.data() + i, m_carryLength);
      } else {
        m_decoding = true;
        Decode(block.substr(i));
      }
      return;
    }
    m_tokenizer.Feed(block.substr(start));
  }

  void Finish() {
    if (m_carryLength > 0) Decode({m_carry, m_carryLength});
    m_text.clear();
    m_decoder.Finish(m_text);
    m_tokenizer.Feed(m_text);
  }

 private:
  void Decode(std::string_view bytes) {
    m_text.clear();
    m_decoder.Decode(bytes, m_text);
    m_tokenizer.Feed(m_text);
  }

  platform::TextDecoder& m_decoder;
  HtmlTokenizer& m_tokenizer;
  bool m_decoding;
  char m_carry[3] = {};
  size_t m_carryLength = 0;
  std::string m_text;
};

}  // namespace

FileFailure ScanPageAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                              const std::string& contentType, bool embedded,
                              const std::string& linkPath, BrowserPage& page) {
  size_t skip = 0;
  auto decoder = OpenPageDecoder(pagePath, textMode, mapPage, contentType, page.encoding, skip);
  if (!decoder) return {FileFailure::kCannotRead, pagePath};

  const int links = platform::file_io::OpenForWriting(linkPath, false, true);
  if (links < 0) return {FileFailure::kCannotCreate, linkPath};
  std::string records;
  bool written = true;
  auto flush = [&] {
    if (written && !records.empty()) written = platform::file_io::WriteAll(links, records);
    records.clear();
  };
  PageLinksCollector collector(
      embedded, [&records](FoundKind kind, std::string_view url, std::string_view anchor) {
        AppendBrowserRecord(kind, url, anchor, records);
      });
  HtmlTokenizer tokenizer(collector, HtmlTokenizer::Text::kSkip);
  collector.Attach(tokenizer);

  PageSource reader;
  bool read = reader.Open(pagePath, textMode, mapPage);
  PageFeed feed(*decoder, page.encoding == "UTF-8", tokenizer);
  for (std::string_view block; read && !(block = reader.Next()).empty();) {
    const size_t skipped = std::min(skip, block.size());
    block.remove_prefix(skipped);
    skip -= skipped;
    feed.Feed(block);
    if (records.size() >= kFlushSize) flush();
  }
  read = read && !reader.Failed();
  feed.Finish();
  tokenizer.Finish();
  page.baseHref = collector.BaseHref();
  flush();
  written = platform::file_io::Close(links) && written;
  if (read && written) return {};
  platform::RemoveFile(linkPath);
  return {read ? FileFailure::kCannotCreate : FileFailure::kCannotRead, read ? linkPath : pagePath};
}
