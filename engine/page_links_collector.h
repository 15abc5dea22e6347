#pragma once
// Browser reading, the page's side: from the tokens of the page, the
// addresses a browser would link to or show, as the page spells them
// (references decoded), in the order they stand. It plays as much of a
// browser's tree builder as the tokenizer needs to read the page as a
// browser does (scripts, styles, titles and the like as text; SVG and
// MathML as foreign content) and as the links need (template contents are
// no part of the document; the first <base href> is the document's base).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/html_tokenizer.h"
#include "engine/srcset.h"

// What an address found names. The letter is the record's first byte in the
// browser reading's link list.
enum class FoundKind : char {
  kLink = 'a',   // an anchor's target: its kind is told by its name
  kImage = 'i',  // a picture the page shows
  kMovie = 'v',
  kSound = 's',
};

class PageLinksCollector : public HtmlTokenSink {
 public:
  // `anchor`: for a picture inside an anchor, the anchor's target as
  // spelled; empty otherwise.
  using Found = std::function<void(FoundKind kind, std::string_view url, std::string_view anchor)>;

  // `embedded`: also the files the page embeds, not only its links.
  PageLinksCollector(bool embedded, Found found);

  // The tokenizer this collector reads, whose state it switches as a tree
  // builder would.
  void Attach(HtmlTokenizer& tokenizer);

  // The first <base href> of the document, as spelled.
  const std::optional<std::string>& BaseHref() const { return m_baseHref; }

  void OnStartTag(const HtmlTag& tag) override;
  void OnEndTag(const HtmlTag& tag) override;

 private:
  enum class Media : uint8_t { kNone, kVideo, kAudio };
  // An open element of foreign content; an integration point holds HTML.
  struct ForeignFrame {
    std::string name;
    bool svg;
    bool integrationPoint;
  };

  bool InForeignContent() const { return !m_foreign.empty() && !m_foreign.back().integrationPoint; }
  void ForeignStartTag(const HtmlTag& tag);
  void HtmlStartTag(const HtmlTag& tag);
  void TakeLink(std::string_view url);
  void TakeEmbedded(FoundKind kind, std::string_view url);
  void TakeImage(const HtmlTag& img);
  // Tells the tokenizer what depends on foreign content: whether CDATA
  // sections open, and the tags the collector wants.
  void UpdateTokenizer();

  bool m_embedded;
  Found m_found;
  HtmlTokenizer* m_pTokenizer = nullptr;

  std::optional<std::string> m_baseHref;
  std::vector<ForeignFrame> m_foreign;
  int m_templateDepth = 0;  // inside template contents: no part of the document
  // The open anchor's target; kept as a buffer that the next anchor reuses.
  std::string m_anchor;
  bool m_inAnchor = false;
  bool m_inPicture = false;
  LargestSrcsetCandidate m_pictureSources;  // the open <picture>'s <source>s
  Media m_media = Media::kNone;             // the open <video> or <audio>
};
