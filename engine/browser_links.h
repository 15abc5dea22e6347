#pragma once
// Browser reading, the output's side: each address the page gave, resolved
// against the document's base as the URL Standard's parser does, kept when
// it is of a chosen kind, once per run, in the order first met.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/page_links_collector.h"
#include "engine/web_url.h"

class CHarvestSettings;

// The query encoder for a document in `encoding` (as the Encoding Standard
// names it), through the system's tables; none for the encodings whose
// queries go as UTF-8.
QueryEncoder QueryEncoderFor(const std::string& encoding);

// The kinds browser reading knows, told by the end of the address's path
// (never by its query), or for an embedded file by its element.
class BrowserKinds {
 public:
  explicit BrowserKinds(const CHarvestSettings& app);
  // Whether an address found as `kind`, whose path is `path`, is kept;
  // `imageLink`, when given, is set to what KeepsAsImage says of the path.
  bool Keeps(FoundKind kind, std::string_view path, bool* imageLink = nullptr) const;
  // Whether a link to `path` is kept as a picture.
  bool KeepsAsImage(std::string_view path) const;

 private:
  // The last segment of the path, percent-decoded and lowercased, in
  // `scratch`; where its end holds no escape, only its last m_judgedLength
  // bytes, all that an extension is told by.
  std::string_view LastSegment(std::string_view path, std::string& scratch) const;
  bool HasCustomExtension(std::string_view segment) const;

  bool m_all;
  bool m_image, m_archive, m_wave, m_movie, m_exe, m_extra;
  std::vector<std::string> m_custom;  // lowercased, with their dots
  // The longest extension known, its dot included: "." and four letters,
  // or a longer one of the user's.
  size_t m_judgedLength = 5;
  mutable std::string m_segment;  // the last segment judged
};

// One record of the browser reading's link list: the kind, the address as
// the page spelled it, and for a picture inside an anchor the anchor's.
struct BrowserRecord {
  FoundKind kind;
  std::string_view url;
  std::string_view anchor;
};
// The record's line with its LF, in a form a text-mode read gives back
// whole: the address and the anchor's as the URL parser reads them.
void AppendBrowserRecord(FoundKind kind, std::string_view url, std::string_view anchor,
                         std::string& out);
// Reads a line back (its LF, if any, left out); nullopt for one no record
// makes.
std::optional<BrowserRecord> ParseBrowserRecord(std::string_view line);

class BrowserLinks {
 public:
  // `documentUrl`: the page's own address (without credentials);
  // `baseHref`: its first <base href>, which changes the base where it
  // parses; `encoding`: the document's, for the queries of its links.
  BrowserLinks(const CHarvestSettings& app, const std::string& documentUrl,
               const std::optional<std::string>& baseHref, const std::string& encoding);

  // False when the document's own address is none a browser would load
  // from; nothing is kept then.
  bool HasBase() const { return m_hasBase; }

  // The address to write for `record`, or nullptr when it is left out: no
  // valid address, not of a chosen kind, or met before in this run. Good
  // until the next call.
  const std::string* Take(const BrowserRecord& record);
  // Takes `records` as Take would one after another, and appends each
  // address to write to `out`, each with CR LF: a line as an output file
  // stores it, and as a text-mode read gives it back with its LF.
  void TakeAll(std::span<const BrowserRecord> records, std::string& out);

 private:
  // Take, but for the once-each check.
  const std::string* Judge(const BrowserRecord& record);
  bool Resolve(std::string_view link, WebUrl& url);

  BrowserKinds m_kinds;
  WebUrlParser m_parser;
  WebUrl m_base;
  bool m_hasBase = false;
  WebUrl m_url;
  WebUrl m_anchorUrl;
  std::string m_anchor;  // the last anchor judged, as spelled
  bool m_anchorIsImage = false;
  // Each address once: two independent 64-bit hashes of each address
  // written, so that memory grows by 16 bytes an address rather than by the
  // address itself; two different addresses share both only by chance of
  // about one in 2^128. They are kept in an open-addressed table, with no
  // allocation of its own for each.
  struct Digest {
    uint64_t a, b;
    bool operator==(const Digest&) const = default;
  };
  static Digest DigestOf(std::string_view text);
  // Whether `digest` is new, which it is afterwards no longer.
  bool FirstTime(const Digest& digest);
  // Room for `count` more digests without the table growing.
  void MakeRoom(size_t count);
  // Starts fetching the slot a lookup of `digest` begins at.
  void Prefetch(const Digest& digest) const;
  std::vector<Digest> m_slots;  // a power of two of them, or none
  size_t m_seenCount = 0;
  bool m_seenZero = false;
  // TakeAll's addresses, judged, before they are looked up.
  struct Pending {
    size_t offset, size;
    Digest digest;
  };
  std::vector<Pending> m_batch;
  std::string m_batchText;
};
