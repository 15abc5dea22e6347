#include "engine/browser_page_scan.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

#include "engine/block_pipe.h"
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

// A found address as the scan hands it on: its kind, the two lengths, then
// the address and the anchor's as the page gave them. Made into records on
// the pipe's thread, which spares the scan their shaping.
constexpr size_t kFrameHead = 1 + 2 * sizeof(size_t);

void AppendFrame(FoundKind kind, std::string_view url, std::string_view anchor, std::string& out) {
  char head[kFrameHead];
  head[0] = static_cast<char>(kind);
  const size_t urlSize = url.size(), anchorSize = anchor.size();
  std::memcpy(head + 1, &urlSize, sizeof urlSize);
  std::memcpy(head + 1 + sizeof urlSize, &anchorSize, sizeof anchorSize);
  out.append(head, kFrameHead);
  out.append(url);
  out.append(anchor);
}

// The frame's whole length, or 0 while its head is still cut.
size_t FrameLength(std::string_view bytes) {
  if (bytes.size() < kFrameHead) return 0;
  size_t urlSize, anchorSize;
  std::memcpy(&urlSize, bytes.data() + 1, sizeof urlSize);
  std::memcpy(&anchorSize, bytes.data() + 1 + sizeof urlSize, sizeof anchorSize);
  return kFrameHead + urlSize + anchorSize;
}

// The found addresses on their way to the link list as records, and, while
// the base they are resolved against may still turn out the document's, to
// the addresses they come to. Runs on the thread that takes the frames'
// blocks, so that this costs the scan nothing but a core of its own.
class RecordConsumer {
 public:
  RecordConsumer(int links, const ResolveAlongside* alongside, const std::string& encoding)
      : m_links(links), m_alongside(alongside), m_encoding(encoding) {
    if (!alongside) return;
    m_resolved = platform::file_io::OpenForWriting(alongside->path, false, true);
    m_resolving = m_resolved >= 0;
  }

  // The base the records will be resolved against; set before the first
  // frame is handed over.
  void SetBase(const std::optional<std::string>& base) { m_base = base; }
  // The speculation failed: what is still to come is only written.
  void Abandon() { m_abandoned.store(true, std::memory_order_relaxed); }

  bool Consume(const char* data, size_t size) {
    std::string_view bytes(data, size);
    if (!m_cut.empty()) {
      // The frame the last block ended in, completed.
      size_t length = FrameLength(m_cut);
      if (length == 0) {
        const size_t taken = std::min(kFrameHead - m_cut.size(), bytes.size());
        m_cut.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if ((length = FrameLength(m_cut)) == 0) return true;
      }
      const size_t taken = std::min(length - m_cut.size(), bytes.size());
      m_cut.append(bytes.substr(0, taken));
      bytes.remove_prefix(taken);
      if (m_cut.size() < length) return true;
      Take(m_cut);
      m_cut.clear();
    }
    for (size_t length; (length = FrameLength(bytes)) != 0 && length <= bytes.size();) {
      Take(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
    m_cut.assign(bytes);
    if (m_records.size() >= kFlushSize) return FlushRecords();
    return true;
  }

  // After the last frame: whether every record reached the link list.
  bool FinishRecords() { return FlushRecords() && m_cut.empty(); }

  // After the last frame: whether the resolved list is whole. It is closed
  // either way.
  bool FinishResolved() {
    if (m_resolved < 0) return false;
    FlushResolved();
    const bool closed = platform::file_io::Close(m_resolved);
    m_resolved = -1;
    return closed && m_resolving && !m_abandoned.load(std::memory_order_relaxed);
  }

 private:
  void Take(std::string_view frame) {
    size_t urlSize;
    std::memcpy(&urlSize, frame.data() + 1, sizeof urlSize);
    const size_t start = m_records.size();
    AppendBrowserRecord(static_cast<FoundKind>(frame[0]), frame.substr(kFrameHead, urlSize),
                        frame.substr(kFrameHead + urlSize), m_records);
    if (!m_resolving || m_abandoned.load(std::memory_order_relaxed)) return;
    // Resolved from the record as written, as the link list is read back.
    if (!m_resolver)
      m_resolver.emplace(m_alongside->settings, m_alongside->documentUrl, m_base, m_encoding);
    const auto record = ParseBrowserRecord(std::string_view(m_records).substr(start));
    const std::string* href = record ? m_resolver->Take(*record) : nullptr;
    if (!href) return;
    m_out += *href;
    m_out += '\n';
    if (m_out.size() >= kFlushSize) FlushResolved();
  }

  bool FlushRecords() {
    if (m_recordsWritten && !m_records.empty())
      m_recordsWritten = platform::file_io::WriteAll(m_links, m_records);
    m_records.clear();
    return m_recordsWritten;
  }

  void FlushResolved() {
    if (m_resolving && !m_out.empty()) m_resolving = platform::file_io::WriteAll(m_resolved, m_out);
    m_out.clear();
  }

  const int m_links;
  const ResolveAlongside* const m_alongside;
  const std::string& m_encoding;
  std::string m_cut;  // a frame the last block cut
  std::string m_records;
  bool m_recordsWritten = true;
  int m_resolved = -1;
  bool m_resolving = false;
  std::atomic<bool> m_abandoned{false};
  std::optional<std::string> m_base;
  std::optional<BrowserLinks> m_resolver;
  std::string m_out;
};

}  // namespace

FileFailure ScanPageAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                              const std::string& contentType, bool embedded,
                              const std::string& linkPath, BrowserPage& page,
                              const ResolveAlongside* alongside) {
  page.resolved = false;
  size_t skip = 0;
  auto decoder = OpenPageDecoder(pagePath, textMode, mapPage, contentType, page.encoding, skip);
  if (!decoder) return {FileFailure::kCannotRead, pagePath};

  const int links = platform::file_io::OpenForWriting(linkPath, false, true);
  if (links < 0) return {FileFailure::kCannotCreate, linkPath};
  RecordConsumer consumer(links, alongside, page.encoding);
  BlockPipe pipe(
      [&consumer](const char* data, size_t size) { return consumer.Consume(data, size); });
  std::string frames;
  // Whether any record was found, and the first <base href> known then.
  bool found = false;
  bool baseBeforeRecords = false;
  const PageLinksCollector* pCollector = nullptr;
  PageLinksCollector collector(embedded,
                               [&](FoundKind kind, std::string_view url, std::string_view anchor) {
                                 if (!found) {
                                   found = true;
                                   baseBeforeRecords = pCollector->BaseHref().has_value();
                                   consumer.SetBase(pCollector->BaseHref());
                                 }
                                 AppendFrame(kind, url, anchor, frames);
                               });
  pCollector = &collector;
  HtmlTokenizer tokenizer(collector, HtmlTokenizer::Text::kSkip);
  collector.Attach(tokenizer);
  // A base met after the first record resolves every record differently.
  auto speculationHeld = [&] {
    return !found || baseBeforeRecords || !collector.BaseHref().has_value();
  };

  PageSource reader;
  bool read = reader.Open(pagePath, textMode, mapPage);
  PageFeed feed(*decoder, page.encoding == "UTF-8", tokenizer);
  bool abandoned = false;
  for (std::string_view block; read && !(block = reader.Next()).empty();) {
    const size_t skipped = std::min(skip, block.size());
    block.remove_prefix(skipped);
    skip -= skipped;
    feed.Feed(block);
    if (!abandoned && !speculationHeld()) {
      abandoned = true;
      consumer.Abandon();
    }
    if (frames.size() >= kFlushSize) {
      pipe.Append(frames);
      frames.clear();
    }
  }
  read = read && !reader.Failed();
  feed.Finish();
  tokenizer.Finish();
  page.baseHref = collector.BaseHref();
  if (!speculationHeld()) consumer.Abandon();
  pipe.Append(frames);
  bool written = pipe.Finish() && consumer.FinishRecords();
  const bool resolved = consumer.FinishResolved() && speculationHeld();
  written = platform::file_io::Close(links) && written;
  if (read && written && resolved) page.resolved = true;
  if (alongside && !page.resolved) platform::RemoveFile(alongside->path);
  if (read && written) return {};
  platform::RemoveFile(linkPath);
  return {read ? FileFailure::kCannotCreate : FileFailure::kCannotRead, read ? linkPath : pagePath};
}
