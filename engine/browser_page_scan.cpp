#include "engine/browser_page_scan.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

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

// How many blocks of frames may wait for the resolving.
constexpr size_t kQueuedFrameBlocks = 6;
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

// Written straight into the pipe's block where it fits, as nearly every
// frame does; a longer one goes through in pieces.
void AppendFrame(FoundKind kind, std::string_view url, std::string_view anchor, BlockPipe& out) {
  char head[kFrameHead];
  head[0] = static_cast<char>(kind);
  const size_t urlSize = url.size(), anchorSize = anchor.size();
  std::memcpy(head + 1, &urlSize, sizeof urlSize);
  std::memcpy(head + 1 + sizeof urlSize, &anchorSize, sizeof anchorSize);
  const size_t size = kFrameHead + urlSize + anchorSize;
  if (size > BlockPipe::kBlock) {
    out.Append({head, kFrameHead});
    out.Append(url);
    out.Append(anchor);
    return;
  }
  char* const room = out.Room(size);
  std::memcpy(room, head, kFrameHead);
  // An empty view may point nowhere, which memcpy must not be given.
  if (urlSize > 0) std::memcpy(room + kFrameHead, url.data(), urlSize);
  if (anchorSize > 0) std::memcpy(room + kFrameHead + urlSize, anchor.data(), anchorSize);
  out.Commit(size);
}

// The frame's whole length, or 0 while its head is still cut.
size_t FrameLength(std::string_view bytes) {
  if (bytes.size() < kFrameHead) return 0;
  size_t urlSize, anchorSize;
  std::memcpy(&urlSize, bytes.data() + 1, sizeof urlSize);
  std::memcpy(&anchorSize, bytes.data() + 1 + sizeof urlSize, sizeof anchorSize);
  return kFrameHead + urlSize + anchorSize;
}

// What one pass makes of the found addresses, on the thread that takes the
// frames' blocks, so that it costs the scan nothing but a core of its own:
// the link list's records, or, while the base they are resolved against
// holds, the addresses to write.
class FrameConsumer {
 public:
  // `resolving`: the addresses, rather than the records.
  FrameConsumer(int out, const ResolveAlongside* resolving, const std::string& encoding)
      : m_out(out), m_resolving(resolving), m_encoding(encoding) {}

  // The base the addresses are resolved against; set before the first
  // frame is handed over.
  void SetBase(const std::optional<std::string>& base) { m_base = base; }
  // The pass is of no more use: what is still to come is dropped.
  void Abandon() { m_abandoned.store(true, std::memory_order_relaxed); }

  bool Consume(const char* data, size_t size) {
    if (m_abandoned.load(std::memory_order_relaxed)) return true;
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
      TakeFrames();
      m_cut.clear();
    }
    for (size_t length; (length = FrameLength(bytes)) != 0 && length <= bytes.size();) {
      Take(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
    TakeFrames();
    m_cut.assign(bytes);
    return m_text.size() < kFlushSize || Flush();
  }

  // After the last frame: whether all that was made reached the file.
  bool Finish() { return Flush() && m_cut.empty(); }

 private:
  void Take(std::string_view frame) {
    size_t urlSize;
    std::memcpy(&urlSize, frame.data() + 1, sizeof urlSize);
    const auto kind = static_cast<FoundKind>(frame[0]);
    const std::string_view url = frame.substr(kFrameHead, urlSize);
    const std::string_view anchor = frame.substr(kFrameHead + urlSize);
    if (!m_resolving) return AppendBrowserRecord(kind, url, anchor, m_text);
    // The parser drops what a record leaves out of an address (outer blanks,
    // tabs and line breaks) and reads a Ctrl-Z as the record's "%1A": the
    // page's spelling is judged as the record's would be.
    m_frames.push_back({kind, url, anchor});
  }

  // The frames taken since, whose bytes are still where Take found them.
  void TakeFrames() {
    if (m_frames.empty()) return;
    if (!m_resolver)
      m_resolver.emplace(m_resolving->settings, m_resolving->documentUrl, m_base, m_encoding);
    m_resolver->TakeAll(m_frames, m_text);
    m_frames.clear();
  }

  bool Flush() {
    if (m_written && !m_text.empty()) m_written = platform::file_io::WriteAll(m_out, m_text);
    m_text.clear();
    return m_written;
  }

  const int m_out;
  const ResolveAlongside* const m_resolving;
  const std::string& m_encoding;
  std::string m_cut;  // a frame the last block cut
  std::string m_text;
  bool m_written = true;
  std::atomic<bool> m_abandoned{false};
  std::optional<std::string> m_base;
  std::optional<BrowserLinks> m_resolver;
  std::vector<BrowserRecord> m_frames;
};

struct PageToScan {
  const std::string& path;
  bool textMode;
  bool mapPage;
  const std::string& contentType;
  bool embedded;
};

enum class PassEnd { kDone, kBaseCameLate, kCannotRead, kCannotWrite };

// One read of the page, its found addresses to `out`: as records, or with
// `resolving` as the addresses to write, against `knownBase` where an
// earlier pass found the document's base, else against the base met before
// the first address. A base that differs, met after that, ends the pass.
PassEnd ScanOnce(const PageToScan& scan, int out, const ResolveAlongside* resolving,
                 const std::string* knownBase, BrowserPage& page) {
  size_t skip = 0;
  auto decoder = OpenPageDecoder(scan.path, scan.textMode, scan.mapPage, scan.contentType,
                                 page.encoding, skip);
  if (!decoder) return PassEnd::kCannotRead;

  FrameConsumer consumer(out, resolving, page.encoding);
  // The resolving's pace varies with the addresses and with what else the
  // processor runs: a few blocks queued keep the scan from waiting for it.
  BlockPipe pipe(
      [&consumer](const char* data, size_t size) { return consumer.Consume(data, size); },
      kQueuedFrameBlocks);
  bool found = false;
  std::optional<std::string> usedBase;
  const PageLinksCollector* pCollector = nullptr;
  PageLinksCollector collector(
      scan.embedded, [&](FoundKind kind, std::string_view url, std::string_view anchor) {
        if (!found) {
          found = true;
          usedBase = knownBase ? std::optional<std::string>(*knownBase) : pCollector->BaseHref();
          consumer.SetBase(usedBase);
        }
        AppendFrame(kind, url, anchor, pipe);
      });
  pCollector = &collector;
  HtmlTokenizer tokenizer(collector, HtmlTokenizer::Text::kSkip);
  collector.Attach(tokenizer);
  // The first <base href> is the document's, wherever it stands: one met
  // after the first address, and not the one resolved against, makes the
  // pass's addresses wrong.
  auto baseDiffers = [&] {
    return resolving && found && collector.BaseHref().has_value() &&
           collector.BaseHref() != usedBase;
  };

  PageSource reader;
  bool read = reader.Open(scan.path, scan.textMode, scan.mapPage);
  PageFeed feed(*decoder, page.encoding == "UTF-8", tokenizer);
  bool late = false;
  for (std::string_view block; read && !(block = reader.Next()).empty();) {
    const size_t skipped = std::min(skip, block.size());
    block.remove_prefix(skipped);
    skip -= skipped;
    feed.Feed(block);
    if ((late = baseDiffers())) break;
  }
  if (!late) {
    read = read && !reader.Failed();
    feed.Finish();
    tokenizer.Finish();
    // A page changed under the run may lose the base an earlier pass found.
    late = resolving && found && collector.BaseHref() != usedBase;
  }
  page.baseHref = collector.BaseHref();
  if (late) consumer.Abandon();
  const bool written = pipe.Finish() && consumer.Finish();
  if (late) return PassEnd::kBaseCameLate;
  if (!read) return PassEnd::kCannotRead;
  return written ? PassEnd::kDone : PassEnd::kCannotWrite;
}

// The addresses to write, resolved beside the scan: nullopt when they could
// not be, and the page is to be read for the link list's records instead.
std::optional<PassEnd> ScanResolving(const PageToScan& scan, const ResolveAlongside& alongside,
                                     BrowserPage& page) {
  const std::string& path = alongside.path;
  int out = platform::file_io::OpenForWriting(path, false, true);
  if (out < 0) return std::nullopt;
  PassEnd end = ScanOnce(scan, out, &alongside, nullptr, page);
  if (end == PassEnd::kBaseCameLate && page.baseHref) {
    // Read again, the base known from the start; a base in the page's head,
    // where pages put it, spares this.
    const std::string base = *page.baseHref;
    const bool reopened = platform::file_io::Close(out);
    out = platform::file_io::OpenForWriting(path, false, true);
    end =
        out >= 0 && reopened ? ScanOnce(scan, out, &alongside, &base, page) : PassEnd::kCannotWrite;
  }
  const bool closed = out < 0 || platform::file_io::Close(out);
  if (end == PassEnd::kDone && closed) return end;
  platform::RemoveFile(path);
  if (end == PassEnd::kCannotRead) return end;
  return std::nullopt;
}

}  // namespace

FileFailure ScanPageAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                              const std::string& contentType, bool embedded,
                              const std::string& linkPath, BrowserPage& page,
                              const ResolveAlongside* alongside) {
  page.resolved = false;
  const PageToScan scan{pagePath, textMode, mapPage, contentType, embedded};
  if (alongside) {
    if (const std::optional<PassEnd> end = ScanResolving(scan, *alongside, page)) {
      if (*end == PassEnd::kCannotRead) return {FileFailure::kCannotRead, pagePath};
      page.resolved = true;
      return {};
    }
  }
  const int links = platform::file_io::OpenForWriting(linkPath, false, true);
  if (links < 0) return {FileFailure::kCannotCreate, linkPath};
  const PassEnd end = ScanOnce(scan, links, nullptr, nullptr, page);
  const bool closed = platform::file_io::Close(links);
  if (end == PassEnd::kDone && closed) return {};
  platform::RemoveFile(linkPath);
  if (end == PassEnd::kCannotRead) return {FileFailure::kCannotRead, pagePath};
  return {FileFailure::kCannotCreate, linkPath};
}
