#include "engine/page_links_collector.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Deeper foreign content than this is not remembered element by element:
// a hostile page could otherwise grow the stack without bound. What is
// deeper still ends when its outermost element does.
constexpr size_t kForeignDepthLimit = 256;

[[gnu::always_inline]] inline const HtmlAttribute* Find(const HtmlTag& tag, std::string_view name) {
  for (const HtmlAttribute& a : tag.attributes)
    if (a.name == name) return &a;
  return nullptr;
}

std::optional<std::string_view> Value(const HtmlTag& tag, std::string_view name) {
  const HtmlAttribute* a = Find(tag, name);
  if (!a) return std::nullopt;
  return a->value;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) {
             return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
           };
           return lower(x) == lower(y);
         });
}

template <size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// HTML elements that end foreign content where they start.
constexpr std::array<std::string_view, 44> kBreakouts{
    "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
    "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
    "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
    "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
    "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var",
};

// The lazy-loading attributes pages put a picture's real address in.
constexpr std::array<std::string_view, 2> kLazySrcsets{"data-srcset", "data-lazy-srcset"};
constexpr std::array<std::string_view, 3> kLazySrcs{"data-src", "data-original", "data-lazy-src"};

// The HTML elements the collector tells apart; the rest are kOther.
enum class Element : uint8_t {
  kOther,
  kA,
  kArea,
  kBase,
  kImg,
  kPicture,
  kSource,
  kVideo,
  kAudio,
  kInput,
  kSvg,
  kMath,
  kTemplate,
  kScript,
  kRawtext,  // style, xmp, iframe, noembed, noframes
  kRcdata,   // textarea, title
  kPlaintext,
};

// The start tags the collector reads in HTML content: the elements below.
constexpr std::array<std::string_view, 21> kStartTagNames{
    "a",      "img",     "svg",     "xmp",      "area",     "base",     "math",
    "video",  "audio",   "input",   "style",    "title",    "source",   "script",
    "iframe", "picture", "noembed", "template", "noframes", "textarea", "plaintext",
};
constexpr HtmlTagNames kWantedStartTags(kStartTagNames);
// The end tags it reads while no foreign element is open.
constexpr HtmlTagNames kWantedEndTags{"a", "template", "picture", "video", "audio"};

[[gnu::always_inline]] constexpr Element ElementOf(std::string_view name) {
  // Most tags are none of these, and their length and first letter say so.
  if (!kWantedStartTags.MayHave(name)) return Element::kOther;
  switch (name.size()) {
    case 1:
      if (name[0] == 'a') return Element::kA;
      break;
    case 3:
      if (name == "img") return Element::kImg;
      if (name == "svg") return Element::kSvg;
      if (name == "xmp") return Element::kRawtext;
      break;
    case 4:
      if (name == "area") return Element::kArea;
      if (name == "base") return Element::kBase;
      if (name == "math") return Element::kMath;
      break;
    case 5:
      if (name == "video") return Element::kVideo;
      if (name == "audio") return Element::kAudio;
      if (name == "input") return Element::kInput;
      if (name == "style") return Element::kRawtext;
      if (name == "title") return Element::kRcdata;
      break;
    case 6:
      if (name == "source") return Element::kSource;
      if (name == "script") return Element::kScript;
      if (name == "iframe") return Element::kRawtext;
      break;
    case 7:
      if (name == "picture") return Element::kPicture;
      if (name == "noembed") return Element::kRawtext;
      break;
    case 8:
      if (name == "template") return Element::kTemplate;
      if (name == "noframes") return Element::kRawtext;
      if (name == "textarea") return Element::kRcdata;
      break;
    case 9:
      if (name == "plaintext") return Element::kPlaintext;
      break;
  }
  return Element::kOther;
}

static_assert(std::none_of(kStartTagNames.begin(), kStartTagNames.end(), [](std::string_view name) {
  return ElementOf(name) == Element::kOther;
}));

}  // namespace

PageLinksCollector::PageLinksCollector(bool embedded, Found found)
    : m_embedded(embedded), m_found(std::move(found)) {}

void PageLinksCollector::Attach(HtmlTokenizer& tokenizer) {
  m_pTokenizer = &tokenizer;
  UpdateTokenizer();
}

void PageLinksCollector::UpdateTokenizer() {
  if (!m_pTokenizer) return;
  m_pTokenizer->SetCdataAllowed(InForeignContent());
  // In foreign content every start tag counts, and while a foreign element
  // is open any end tag may close it.
  m_pTokenizer->SetWantedTags(InForeignContent() ? nullptr : &kWantedStartTags,
                              m_foreign.empty() ? &kWantedEndTags : nullptr);
}

void PageLinksCollector::TakeLink(std::string_view url) {
  if (m_templateDepth == 0) m_found(FoundKind::kLink, url, {});
}

void PageLinksCollector::TakeEmbedded(FoundKind kind, std::string_view url) {
  if (m_templateDepth > 0 || !m_embedded || url.empty() || IsDataUrl(url)) return;
  std::string_view anchor;
  if (kind == FoundKind::kImage && m_inAnchor) anchor = m_anchor;
  m_found(kind, url, anchor);
}

void PageLinksCollector::OnStartTag(const HtmlTag& tag) {
  if (InForeignContent()) {
    const bool fontBreakout =
        tag.name == "font" && (Find(tag, "color") || Find(tag, "face") || Find(tag, "size"));
    if (!fontBreakout && !OneOf(tag.name, kBreakouts)) {
      ForeignStartTag(tag);
      return;
    }
    // The element is HTML after all: foreign content ends below the
    // nearest integration point.
    while (InForeignContent()) m_foreign.pop_back();
    UpdateTokenizer();
  }
  HtmlStartTag(tag);
}

void PageLinksCollector::ForeignStartTag(const HtmlTag& tag) {
  const bool svg = m_foreign.back().svg;
  if (svg && tag.name == "a") {
    // SVG links name their target in href, or in the older xlink:href.
    if (auto href = Value(tag, "href"))
      TakeLink(*href);
    else if (auto xlink = Value(tag, "xlink:href"))
      TakeLink(*xlink);
  }
  if (tag.selfClosing) return;
  const bool integrationPoint =
      svg ? (tag.name == "foreignobject" || tag.name == "desc" || tag.name == "title")
          : (tag.name == "mi" || tag.name == "mo" || tag.name == "mn" || tag.name == "ms" ||
             tag.name == "mtext" || (tag.name == "annotation-xml" && [&] {
               auto encoding = Value(tag, "encoding");
               return encoding && (EqualsIgnoringAsciiCase(*encoding, "text/html") ||
                                   EqualsIgnoringAsciiCase(*encoding, "application/xhtml+xml"));
             }()));
  if (m_foreign.size() < kForeignDepthLimit)
    m_foreign.push_back({std::string(tag.name), svg, integrationPoint});
  UpdateTokenizer();
}

void PageLinksCollector::HtmlStartTag(const HtmlTag& tag) {
  const Element element = ElementOf(tag.name);
  switch (element) {
    case Element::kSvg:
    case Element::kMath:
      if (!tag.selfClosing && m_foreign.size() < kForeignDepthLimit) {
        m_foreign.push_back({std::string(tag.name), element == Element::kSvg, false});
        UpdateTokenizer();
      }
      return;
    // What a browser's tree builder reads as text, never as markup.
    case Element::kScript:
      if (m_pTokenizer) m_pTokenizer->SwitchToScriptData();
      return;
    case Element::kRawtext:
      if (m_pTokenizer) m_pTokenizer->SwitchToRawtext();
      return;
    case Element::kRcdata:
      if (m_pTokenizer) m_pTokenizer->SwitchToRcdata();
      return;
    case Element::kPlaintext:
      if (m_pTokenizer) m_pTokenizer->SwitchToPlaintext();
      return;
    case Element::kTemplate:
      ++m_templateDepth;
      return;
    default:
      break;
  }
  if (m_templateDepth > 0) return;

  switch (element) {
    case Element::kA:
      m_inAnchor = false;
      if (auto href = Value(tag, "href")) {
        TakeLink(*href);
        m_anchor.assign(*href);
        m_inAnchor = true;
      }
      return;
    case Element::kArea:
      if (auto href = Value(tag, "href")) TakeLink(*href);
      return;
    case Element::kBase:
      if (!m_baseHref)
        if (auto href = Value(tag, "href")) m_baseHref.emplace(*href);
      return;
    default:
      break;
  }
  if (!m_embedded) return;
  switch (element) {
    case Element::kImg:
      TakeImage(tag);
      break;
    case Element::kPicture:
      m_inPicture = true;
      m_pictureSources.Clear();
      break;
    case Element::kSource:
      if (m_inPicture) {
        if (auto srcset = Value(tag, "srcset")) m_pictureSources.Add(*srcset);
        for (std::string_view lazy : kLazySrcsets)
          if (auto srcset = Value(tag, lazy)) m_pictureSources.Add(*srcset);
      } else if (m_media != Media::kNone) {
        if (auto src = Value(tag, "src"))
          TakeEmbedded(m_media == Media::kVideo ? FoundKind::kMovie : FoundKind::kSound, *src);
      }
      break;
    case Element::kVideo:
      m_media = Media::kVideo;
      if (auto src = Value(tag, "src")) TakeEmbedded(FoundKind::kMovie, *src);
      if (auto poster = Value(tag, "poster")) TakeEmbedded(FoundKind::kImage, *poster);
      break;
    case Element::kAudio:
      m_media = Media::kAudio;
      if (auto src = Value(tag, "src")) TakeEmbedded(FoundKind::kSound, *src);
      break;
    case Element::kInput: {
      auto type = Value(tag, "type");
      if (type && EqualsIgnoringAsciiCase(*type, "image"))
        if (auto src = Value(tag, "src")) TakeEmbedded(FoundKind::kImage, *src);
      break;
    }
    default:
      break;
  }
}

void PageLinksCollector::TakeImage(const HtmlTag& img) {
  // Mostly a picture has a src and none of the attributes that could offer
  // another address: that is told at once.
  const HtmlAttribute* plainSrc = nullptr;
  bool offersMore = m_inPicture;
  for (const HtmlAttribute& a : img.attributes) {
    if (a.name == "src")
      plainSrc = &a;
    else if (a.name == "srcset" || a.name.starts_with("data-"))
      offersMore = true;
  }
  if (!offersMore) {
    if (plainSrc) TakeEmbedded(FoundKind::kImage, plainSrc->value);
    return;
  }
  // The attributes read, found in one pass over the tag.
  std::optional<std::string_view> srcset, src;
  std::array<std::optional<std::string_view>, kLazySrcsets.size()> lazySrcsets;
  std::array<std::optional<std::string_view>, kLazySrcs.size()> lazySrcs;
  for (const HtmlAttribute& a : img.attributes) {
    if (a.name == "src") {
      src = a.value;
    } else if (a.name == "srcset") {
      srcset = a.value;
    } else if (a.name.starts_with("data-")) {
      for (size_t i = 0; i < kLazySrcsets.size(); ++i)
        if (a.name == kLazySrcsets[i]) lazySrcsets[i] = a.value;
      for (size_t i = 0; i < kLazySrcs.size(); ++i)
        if (a.name == kLazySrcs[i]) lazySrcs[i] = a.value;
    }
  }
  // One picture, one address: the largest it offers over its <picture>'s
  // sources and its own srcset, else its lazy-loading address, else its src.
  const bool anySrcset = srcset || std::any_of(lazySrcsets.begin(), lazySrcsets.end(),
                                               [](const auto& lazy) { return lazy.has_value(); });
  if (m_inPicture || anySrcset) {
    LargestSrcsetCandidate largest;
    if (m_inPicture) largest = m_pictureSources;
    if (srcset) largest.Add(*srcset);
    for (const auto& lazy : lazySrcsets)
      if (lazy) largest.Add(*lazy);
    if (largest.Found()) {
      TakeEmbedded(FoundKind::kImage, largest.Url());
      return;
    }
  }
  for (const auto& lazy : lazySrcs) {
    if (lazy && !lazy->empty() && !IsDataUrl(*lazy)) {
      TakeEmbedded(FoundKind::kImage, *lazy);
      return;
    }
  }
  if (src) TakeEmbedded(FoundKind::kImage, *src);
}

void PageLinksCollector::OnEndTag(const HtmlTag& tag) {
  const std::string_view name = tag.name;
  if (!m_foreign.empty()) {
    // An end tag closes the innermost open foreign element of its name, and
    // everything opened inside it.
    for (size_t i = m_foreign.size(); i-- > 0;) {
      if (m_foreign[i].name == name) {
        m_foreign.resize(i);
        UpdateTokenizer();
        return;
      }
    }
    if (InForeignContent()) return;
  }
  switch (ElementOf(name)) {
    case Element::kTemplate:
      if (m_templateDepth > 0) --m_templateDepth;
      break;
    case Element::kA:
      m_inAnchor = false;
      break;
    case Element::kPicture:
      m_inPicture = false;
      m_pictureSources.Clear();
      break;
    case Element::kVideo:
    case Element::kAudio:
      m_media = Media::kNone;
      break;
    default:
      break;
  }
}
