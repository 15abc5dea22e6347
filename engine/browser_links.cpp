#include "engine/browser_links.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "engine/find_bytes.h"
#include "engine/link_filter.h"
#include "platform/domain_to_ascii.h"
#include "platform/text_decoder.h"
#include "platform/utf8.h"
#include "settings/harvest_settings.h"

namespace {

constexpr std::array<std::string_view, 8> kImages{"jpg",  "jpeg", "gif", "png",
                                                  "webp", "avif", "bmp", "svg"};
constexpr std::array<std::string_view, 9> kArchives{"lzh", "zip", "7z", "rar", "gz",
                                                    "tgz", "bz2", "xz", "tar"};
constexpr std::array<std::string_view, 10> kSounds{"mid", "wav", "aiff", "mp3",  "m4a",
                                                   "aac", "ogg", "oga",  "opus", "flac"};
constexpr std::array<std::string_view, 9> kMovies{"avi", "mov",  "mpg", "mpeg", "mp4",
                                                  "m4v", "webm", "mkv", "ogv"};
constexpr std::array<std::string_view, 2> kPrograms{"exe", "msi"};

template <size_t N>
bool HasExtension(std::string_view segment, const std::array<std::string_view, N>& names) {
  const size_t dot = segment.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = segment.substr(dot + 1);
  for (std::string_view name : names)
    if (extension == name) return true;
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The code point of one whole UTF-8 character.
char32_t CodePoint(std::string_view character) {
  const unsigned char lead = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return lead;
  char32_t code = lead & (0x7F >> character.size());
  for (size_t i = 1; i < character.size(); ++i)
    code = (code << 6) | (static_cast<unsigned char>(character[i]) & 0x3F);
  return code;
}

WebUrlOptions OptionsFor(const std::string& encoding) {
  WebUrlOptions options;
  options.domainToAscii = [](std::string_view domain, bool beStrict) {
    return platform::DomainToAscii(domain, beStrict);
  };
  options.queryEncoder = QueryEncoderFor(encoding);
  return options;
}

uint64_t Finalize(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

// What the URL parser reads of `text`, in a form a text-mode line holds:
// its outer controls and blanks, and its tabs and line breaks, dropped as
// the parser drops them; a Ctrl-Z, which would end a text-mode read, as
// "%1A", which the parser takes for it wherever it may stand.
void AppendAsParsed(std::string_view text, std::string& out) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  // Whole runs at a time: most addresses hold none of these.
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    const char* const at = FindAny<'\t', '\n', '\r', '\x1A'>(p, end);
    out.append(p, static_cast<size_t>(at - p));
    if (at == end) return;
    if (*at == '\x1A') out += "%1A";
    p = at + 1;
  }
}

}  // namespace

QueryEncoder QueryEncoderFor(const std::string& encoding) {
  // UTF-16 documents send their queries in UTF-8, as browsers do.
  if (encoding.empty() || encoding == "UTF-8" || encoding == "UTF-16LE" || encoding == "UTF-16BE" ||
      encoding == "replacement")
    return {};
  const bool iso2022jp = encoding == "ISO-2022-JP";
  return [encoding, iso2022jp](std::string_view utf8, std::string& bytes,
                               std::vector<std::pair<size_t, char32_t>>& unmappable) {
    for (size_t pos = 0; pos < utf8.size();) {
      const unsigned char c = static_cast<unsigned char>(utf8[pos]);
      // ISO-2022-JP's shifts and escapes are its own to write: in a
      // query they stand for nothing it can carry.
      if (iso2022jp && (c == 0x0E || c == 0x0F || c == 0x1B)) {
        unmappable.emplace_back(bytes.size(), 0xFFFD);
        ++pos;
        continue;
      }
      if (c < 0x80) {
        bytes += static_cast<char>(c);
        ++pos;
        continue;
      }
      const size_t length = platform::Utf8CharacterLength(utf8, pos);
      const std::string_view character = utf8.substr(pos, length);
      std::string encoded;
      // The system writes a character it cannot map as "&#N;"; nothing
      // else a character beyond ASCII becomes starts with "&#".
      if (platform::EncodeFromUtf8(encoding, character, encoded) &&
          encoded.compare(0, 2, "&#") != 0) {
        bytes += encoded;
      } else {
        unmappable.emplace_back(bytes.size(), CodePoint(character));
      }
      pos += length;
    }
  };
}

BrowserKinds::BrowserKinds(const CHarvestSettings& app)
    : m_all(app.m_bAllLinks == 1),
      m_image(app.m_bImage == 1),
      m_archive(app.m_bArchive == 1),
      m_wave(app.m_bWave == 1),
      m_movie(app.m_bMovie == 1),
      m_exe(app.m_bExe == 1),
      m_extra(app.m_bExtra == 1) {
  if (m_extra)
    for (const std::string& extension : CustomExtensions(app.m_strExtent)) {
      m_custom.push_back(LowercaseMultibyte(extension));
      m_judgedLength = std::max(m_judgedLength, m_custom.back().size());
    }
}

std::string_view BrowserKinds::LastSegment(std::string_view path, std::string& scratch) const {
  // Only the end the kinds are told by is needed; where nothing there is
  // percent-encoded (an escape reaches two bytes past its "%"), it reads
  // the same decoded, and needs nothing but its capitals lowered.
  const char* const last = path.data() + path.size();
  const char* const stop = last - std::min(path.size(), m_judgedLength + 2);
  const char* start = last;
  bool plain = true;
  for (; start != stop && start[-1] != '/'; --start)
    plain &= start[-1] != '%' && static_cast<unsigned char>(start[-1]) < 0x80;
  if (plain) {
    start = last - std::min(static_cast<size_t>(last - start), m_judgedLength);
    scratch.resize(static_cast<size_t>(last - start));
    std::transform(start, last, scratch.begin(), AsciiLower);
    return scratch;
  }
  if (const size_t slash = path.rfind('/'); slash != std::string_view::npos)
    path.remove_prefix(slash + 1);
  scratch.clear();
  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
      i += 2;
    } else {
      decoded += path[i];
    }
  }
  scratch = LowercaseMultibyte(decoded);
  return scratch;
}

bool BrowserKinds::HasCustomExtension(std::string_view segment) const {
  for (const std::string& extension : m_custom)
    if (segment.size() >= extension.size() &&
        segment.compare(segment.size() - extension.size(), extension.size(), extension) == 0)
      return true;
  return false;
}

bool BrowserKinds::KeepsAsImage(std::string_view path) const {
  return m_image && HasExtension(LastSegment(path, m_segment), kImages);
}

bool BrowserKinds::Keeps(FoundKind kind, std::string_view path, bool* imageLink) const {
  if (imageLink) *imageLink = false;
  if (m_all && !imageLink) return true;
  const std::string_view segment = LastSegment(path, m_segment);
  const bool image = m_image && HasExtension(segment, kImages);
  if (imageLink) *imageLink = image;
  if (m_all) return true;
  if (m_extra && HasCustomExtension(segment)) return true;
  switch (kind) {
    case FoundKind::kImage:
      return m_image;
    case FoundKind::kMovie:
      return m_movie;
    case FoundKind::kSound:
      return m_wave;
    case FoundKind::kLink:
      break;
  }
  return image || (m_archive && HasExtension(segment, kArchives)) ||
         (m_wave && HasExtension(segment, kSounds)) ||
         (m_movie && HasExtension(segment, kMovies)) || (m_exe && HasExtension(segment, kPrograms));
}

void AppendBrowserRecord(FoundKind kind, std::string_view url, std::string_view anchor,
                         std::string& out) {
  out += static_cast<char>(kind);
  AppendAsParsed(url, out);
  if (!anchor.empty()) {
    out += '\t';
    AppendAsParsed(anchor, out);
  }
  out += '\n';
}

std::optional<BrowserRecord> ParseBrowserRecord(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (line.empty()) return std::nullopt;
  const char k = line[0];
  if (k != 'a' && k != 'i' && k != 'v' && k != 's') return std::nullopt;
  line.remove_prefix(1);
  const size_t tab = line.find('\t');
  BrowserRecord record{static_cast<FoundKind>(k), line.substr(0, tab), {}};
  if (tab != std::string_view::npos) record.anchor = line.substr(tab + 1);
  return record;
}

BrowserLinks::BrowserLinks(const CHarvestSettings& app, const std::string& documentUrl,
                           const std::optional<std::string>& baseHref, const std::string& encoding)
    : m_kinds(app), m_parser(OptionsFor(encoding)) {
  WebUrl document;
  if (!m_parser.Parse(documentUrl, nullptr, document)) return;
  m_hasBase = true;
  // A <base href> that does not parse leaves the document's own address
  // the base, as in a browser.
  if (!baseHref || !m_parser.Parse(*baseHref, &document, m_base)) m_base = std::move(document);
}

bool BrowserLinks::Resolve(std::string_view link, WebUrl& url) {
  return m_parser.Parse(link, &m_base, url);
}

BrowserLinks::Digest BrowserLinks::DigestOf(std::string_view text) {
  // Two lanes of different make over the same words, each mixed to the
  // full width at the end.
  uint64_t a = 0xcbf29ce484222325ull ^ text.size();
  uint64_t b = 0x9E3779B97F4A7C15ull ^ text.size();
  auto mix = [&](uint64_t v) {
    a = std::rotl((a ^ v) * 0x87c37b91114253d5ull, 31) * 0x4cf5ad432745937full;
    b ^= v + 0x9E3779B97F4A7C15ull + (b << 6) + (b >> 2);
    b *= 0xff51afd7ed558ccdull;
    b ^= b >> 33;
  };
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t v;
    std::memcpy(&v, text.data() + i, 8);
    mix(v);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, text.data() + i, text.size() - i);
  mix(tail);
  return {Finalize(a), Finalize(b ^ 0x2545F4914F6CDD1Dull)};
}

void BrowserLinks::MakeRoom(size_t count) {
  // Grown at four fifths full: a table of twice the size would cost more
  // memory than the probes it spares.
  while ((m_seenCount + count) * 5 > m_slots.size() * 4) {
    std::vector<Digest> old(m_slots.empty() ? 1024 : m_slots.size() * 2);
    old.swap(m_slots);
    for (const Digest& d : old)
      if (d.a != 0 || d.b != 0)
        for (size_t at = d.a & (m_slots.size() - 1);; at = (at + 1) & (m_slots.size() - 1))
          if (m_slots[at].a == 0 && m_slots[at].b == 0) {
            m_slots[at] = d;
            break;
          }
  }
}

void BrowserLinks::Prefetch(const Digest& digest) const {
#if defined(__GNUC__)
  __builtin_prefetch(&m_slots[digest.a & (m_slots.size() - 1)]);
#else
  (void)digest;
#endif
}

bool BrowserLinks::FirstTime(const Digest& digest) {
  // The all-zero digest marks a free slot: it is kept aside.
  if (digest.a == 0 && digest.b == 0) return !std::exchange(m_seenZero, true);
  MakeRoom(1);
  const size_t mask = m_slots.size() - 1;
  for (size_t at = digest.a & mask;; at = (at + 1) & mask) {
    Digest& slot = m_slots[at];
    if (slot == digest) return false;
    if (slot.a == 0 && slot.b == 0) {
      slot = digest;
      ++m_seenCount;
      return true;
    }
  }
}

const std::string* BrowserLinks::Take(const BrowserRecord& record) {
  const std::string* href = Judge(record);
  return href && FirstTime(DigestOf(*href)) ? href : nullptr;
}

void BrowserLinks::TakeAll(std::span<const BrowserRecord> records, std::string& out) {
  // The table outgrows the processor's caches, which the page streaming
  // past empties besides: a lookup that waits for its slot waits long. The
  // addresses of a batch are judged first, and each slot asked for a few
  // lookups before it is looked at, so that the waits overlap.
  m_batchText.clear();
  m_batch.clear();
  for (const BrowserRecord& record : records)
    if (const std::string* href = Judge(record)) {
      m_batch.push_back({m_batchText.size(), href->size(), DigestOf(*href)});
      m_batchText += *href;
    }
  // The table does not grow under the slots asked for.
  MakeRoom(m_batch.size());
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < std::min(kAhead, m_batch.size()); ++i) Prefetch(m_batch[i].digest);
  for (size_t i = 0; i < m_batch.size(); ++i) {
    if (i + kAhead < m_batch.size()) Prefetch(m_batch[i + kAhead].digest);
    const Pending& pending = m_batch[i];
    if (FirstTime(pending.digest)) {
      out.append(m_batchText, pending.offset, pending.size);
      out += "\r\n";
    }
  }
}

const std::string* BrowserLinks::Judge(const BrowserRecord& record) {
  if (!m_hasBase) return nullptr;
  // A picture inside an anchor to the full-size picture is its thumbnail:
  // the anchor's target is the one worth keeping.
  if (record.kind == FoundKind::kImage && !record.anchor.empty()) {
    // The anchor's own record came just before, and the pictures of one
    // anchor share it: it is judged once.
    if (record.anchor != m_anchor) {
      m_anchor = record.anchor;
      m_anchorIsImage =
          Resolve(record.anchor, m_anchorUrl) && m_kinds.KeepsAsImage(m_anchorUrl.Path());
    }
    if (m_anchorIsImage) return nullptr;
  }
  const bool resolved = Resolve(record.url, m_url);
  bool kept = false;
  if (record.kind == FoundKind::kLink) {
    // What the anchor's pictures will ask of it, judged with it.
    m_anchor = record.url;
    kept = resolved && m_kinds.Keeps(record.kind, m_url.Path(), &m_anchorIsImage);
    if (!resolved) m_anchorIsImage = false;
  } else {
    kept = resolved && m_kinds.Keeps(record.kind, m_url.Path());
  }
  return kept ? &m_url.Href() : nullptr;
}
