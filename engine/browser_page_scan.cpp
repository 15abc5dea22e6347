#include "engine/browser_page_scan.h"

#include <algorithm>
#include <memory>

#include "engine/browser_links.h"
#include "engine/encoding_sniffer.h"
#include "engine/html_tokenizer.h"
#include "engine/page_links_collector.h"
#include "platform/byte_reader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text_decoder.h"
#include "platform/text_file.h"

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
  std::string text;
  for (std::string_view block; read && !(block = reader.Next()).empty();) {
    const size_t skipped = std::min(skip, block.size());
    block.remove_prefix(skipped);
    skip -= skipped;
    text.clear();
    decoder->Decode(block, text);
    tokenizer.Feed(text);
    if (records.size() >= kFlushSize) flush();
  }
  read = read && !reader.Failed();
  text.clear();
  decoder->Finish(text);
  tokenizer.Feed(text);
  tokenizer.Finish();
  page.baseHref = collector.BaseHref();
  flush();
  written = platform::file_io::Close(links) && written;
  if (read && written) return {};
  platform::RemoveFile(linkPath);
  return {read ? FileFailure::kCannotCreate : FileFailure::kCannotRead, read ? linkPath : pagePath};
}
