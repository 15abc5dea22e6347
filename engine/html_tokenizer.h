#pragma once
// The browser-like reading of a page: a streaming HTML tokenizer that follows
// the tokenization of the WHATWG HTML standard, state for state (data,
// RCDATA, RAWTEXT, script data with its escaped and double-escaped states,
// PLAINTEXT, tags and attributes, comments, DOCTYPEs, CDATA sections,
// character references), and the input stream's preprocessing (CR LF and a
// lone CR become LF). Parse errors are not reported.
//
// Input is the decoded page as UTF-8, fed in blocks cut anywhere: inside a
// character, a tag, a character reference or a CR LF pair. Characters beyond
// ASCII pass through as their bytes, which every state treats alike.
//
// The tokenizer keeps only the token it is building (a tag with its
// attributes, a comment, a DOCTYPE) and a few bytes of look-ahead; character
// data goes to the sink in runs that point into the block being fed. With
// HtmlTokenizer::Text::kSkip, neither character data nor comments are
// looked at beyond what finds their end, and nothing of them is kept.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/named_character_references.h"

struct HtmlAttribute {
  std::string_view name;  // ASCII letters lower-cased
  std::string_view value;
};

struct HtmlTag {
  std::string_view name;  // ASCII letters lower-cased
  // A start tag's attributes in the page's order; of a name written twice,
  // the first. End tags have none (those written are read and dropped).
  std::span<const HtmlAttribute> attributes;
  bool selfClosing = false;  // "/>" ended it
};

struct HtmlDoctype {
  std::optional<std::string_view> name;  // lower-cased
  std::optional<std::string_view> publicId;
  std::optional<std::string_view> systemId;
  bool forceQuirks = false;
};

// Where the tokens go. Every view points into the tokenizer or into the
// block being fed: it is good only until the call returns. A sink may call
// the tokenizer's state methods (SwitchTo..., SetCdataAllowed) from its
// callbacks, never Feed or Finish.
class HtmlTokenSink {
 public:
  virtual ~HtmlTokenSink() = default;
  virtual void OnDoctype(const HtmlDoctype&) {}
  virtual void OnStartTag(const HtmlTag&) {}
  virtual void OnEndTag(const HtmlTag&) {}
  // A run of character data; adjacent runs are one text, split wherever
  // the tokenizer found it convenient (block ends, references, CR LF).
  virtual void OnCharacters(std::string_view) {}
  virtual void OnComment(std::string_view) {}
  virtual void OnEndOfFile() {}
};

// Tag names told apart by their length and their first and last letters
// alone (of a longer name, the first fifteen bytes' count): the names of
// the tags a sink reads, for the tokenizer to pass over the others (see
// HtmlTokenizer::SetWantedTags). Names are lower-cased. A name that only
// looks like one of them is read all the same.
class HtmlTagNames {
 public:
  constexpr explicit HtmlTagNames(std::span<const std::string_view> names) {
    for (std::string_view name : names) m_lastLetters[Length(name)][First(name)] |= Last(name);
  }
  constexpr explicit HtmlTagNames(std::initializer_list<std::string_view> names)
      : HtmlTagNames(std::span<const std::string_view>(names.begin(), names.size())) {}
  // Whether `name` may be one of them.
  constexpr bool MayHave(std::string_view name) const {
    return !name.empty() && (m_lastLetters[Length(name)][First(name)] & Last(name)) != 0;
  }

 private:
  static constexpr size_t kLengths = 16;  // the last for every longer name
  static constexpr size_t Length(std::string_view name) {
    return name.size() < kLengths ? name.size() : kLengths - 1;
  }
  static constexpr size_t First(std::string_view name) { return name.front() & 31; }
  static constexpr uint32_t Last(std::string_view name) {
    return uint32_t{1} << (name.back() & 31);
  }
  // By length and first letter, a bit for each last letter.
  std::array<std::array<uint32_t, 32>, kLengths> m_lastLetters{};
};

class HtmlTokenizer {
 public:
  // Whether the sink gets character data and comments. kSkip passes over
  // them without copying or keeping anything: for a reader after tags alone.
  enum class Text { kDeliver, kSkip };
  // The states a tree builder (or a test) may put the tokenizer in.
  enum class ContentState { kData, kRcdata, kRawtext, kScriptData, kPlaintext, kCdataSection };

  explicit HtmlTokenizer(HtmlTokenSink& sink, Text text = Text::kDeliver);
  HtmlTokenizer(const HtmlTokenizer&) = delete;
  HtmlTokenizer& operator=(const HtmlTokenizer&) = delete;

  // The next `size` bytes of the page.
  void Feed(const char* data, size_t size);
  void Feed(std::string_view bytes) { Feed(bytes.data(), bytes.size()); }
  // The end of the page: finishes what is open and emits the end of file.
  // Nothing is taken after it.
  void Finish();

  // For the tree builder, right after a start tag (from OnStartTag or before
  // the next Feed): the element's content is read as RCDATA (title,
  // textarea), RAWTEXT (style, xmp, iframe, noembed, noframes, noscript when
  // scripting), script data or PLAINTEXT. An end tag ends RCDATA, RAWTEXT and
  // script data only when it names the last start tag emitted.
  void SwitchToRcdata() { SetContentState(ContentState::kRcdata); }
  void SwitchToRawtext() { SetContentState(ContentState::kRawtext); }
  void SwitchToScriptData() { SetContentState(ContentState::kScriptData); }
  void SwitchToPlaintext() { SetContentState(ContentState::kPlaintext); }
  void SetContentState(ContentState state);
  // Whether the adjusted current node is in foreign content (SVG, MathML),
  // where "<![CDATA[" opens a CDATA section; elsewhere it opens a comment.
  void SetCdataAllowed(bool allowed) { m_bCdataAllowed = allowed; }
  // With Text::kSkip: the start and end tags the sink reads, until it says
  // otherwise. Any other tag is passed over unread, when it is whole in the
  // block, and a start tag passed over is not remembered as the last one:
  // a tag after which the sink switches the state must be among them.
  // nullptr: every tag of that kind is read. The sets must outlive their
  // use.
  void SetWantedTags(const HtmlTagNames* startTags, const HtmlTagNames* endTags) {
    m_pWantedStartTags = startTags;
    m_pWantedEndTags = endTags;
  }
  // The name the next end tag must have to end RCDATA, RAWTEXT or script
  // data, for a tokenizer that did not emit that start tag itself (a
  // fragment's context element).
  void SetLastStartTag(std::string_view name);

  // The bytes the tokenizer holds for the tokens it builds (a tag, a comment,
  // a DOCTYPE and look-ahead): grows to the longest of them and stays.
  size_t BufferCapacity() const;

 private:
  // Every state of the standard's tokenizer, and kDone after the end of file.
  enum State : uint8_t {
    kData,
    kRcdata,
    kRawtext,
    kScriptData,
    kPlaintext,
    kTagOpen,
    kEndTagOpen,
    kTagName,
    kRcdataLessThanSign,
    kRcdataEndTagOpen,
    kRcdataEndTagName,
    kRawtextLessThanSign,
    kRawtextEndTagOpen,
    kRawtextEndTagName,
    kScriptDataLessThanSign,
    kScriptDataEndTagOpen,
    kScriptDataEndTagName,
    kScriptDataEscapeStart,
    kScriptDataEscapeStartDash,
    kScriptDataEscaped,
    kScriptDataEscapedDash,
    kScriptDataEscapedDashDash,
    kScriptDataEscapedLessThanSign,
    kScriptDataEscapedEndTagOpen,
    kScriptDataEscapedEndTagName,
    kScriptDataDoubleEscapeStart,
    kScriptDataDoubleEscaped,
    kScriptDataDoubleEscapedDash,
    kScriptDataDoubleEscapedDashDash,
    kScriptDataDoubleEscapedLessThanSign,
    kScriptDataDoubleEscapeEnd,
    kBeforeAttributeName,
    kAttributeName,
    kAfterAttributeName,
    kBeforeAttributeValue,
    kAttributeValueDoubleQuoted,
    kAttributeValueSingleQuoted,
    kAttributeValueUnquoted,
    kAfterAttributeValueQuoted,
    kSelfClosingStartTag,
    kBogusComment,
    kMarkupDeclarationOpen,
    kCommentStart,
    kCommentStartDash,
    kComment,
    kCommentLessThanSign,
    kCommentLessThanSignBang,
    kCommentLessThanSignBangDash,
    kCommentLessThanSignBangDashDash,
    kCommentEndDash,
    kCommentEnd,
    kCommentEndBang,
    kDoctype,
    kBeforeDoctypeName,
    kDoctypeName,
    kAfterDoctypeName,
    kAfterDoctypeNameKeyword,  // within "PUBLIC" or "SYSTEM", matched so far
    kAfterDoctypePublicKeyword,
    kBeforeDoctypePublicIdentifier,
    kDoctypePublicIdentifierDoubleQuoted,
    kDoctypePublicIdentifierSingleQuoted,
    kAfterDoctypePublicIdentifier,
    kBetweenDoctypePublicAndSystemIdentifiers,
    kAfterDoctypeSystemKeyword,
    kBeforeDoctypeSystemIdentifier,
    kDoctypeSystemIdentifierDoubleQuoted,
    kDoctypeSystemIdentifierSingleQuoted,
    kAfterDoctypeSystemIdentifier,
    kBogusDoctype,
    kCdataSection,
    kCdataSectionBracket,
    kCdataSectionEnd,
    kCharacterReference,
    kNamedCharacterReference,
    kNumericCharacterReference,
    kHexadecimalCharacterReferenceStart,
    kDecimalCharacterReferenceStart,
    kHexadecimalCharacterReference,
    kDecimalCharacterReference,
    kDone,
  };

  // An attribute of the tag being built: its name runs from nameOffset to
  // valueOffset in m_strAttributes, its value from there to the next
  // attribute's name (or the end).
  struct AttributeSpan {
    size_t nameOffset;
    size_t valueOffset;
    bool repeated;  // its name came earlier in the tag: dropped
  };

  void Run(const char* p, const char* end, bool eof);

  // Character data: runs of the block are gathered while they follow each
  // other and go to the sink as one.
  void EmitRun(const char* text, size_t size) {
    if (!m_bText) return;
    if (text != m_pRunEnd) {
      FlushText();
      m_pRunBegin = text;
    }
    m_pRunEnd = text + size;
  }
  void TextLiteral(std::string_view text);
  // `written`, the characters taken just before `p`, as text: from the
  // block when they are all in it.
  void TextWritten(const char* p, std::string_view written);
  // "</" and the end tag name in the temporary buffer, taken before `p`.
  void TextEndTagAsWritten(const char* p);
  void FlushText();

  // The common tag, whole in the block, read without the state machine:
  // from just after "<" (a letter) or "</" (a letter). When the tag is whole
  // and in a form these read exactly as the states would, emits it and
  // returns the byte after its ">"; otherwise nullptr, having changed
  // nothing the states use, and the states read it from the same byte.
  [[gnu::always_inline]] inline const char* FastStartTag(const char* p, const char* end);
  // FastStartTag past the quick look at the name.
  const char* ReadStartTag(const char* p, const char* end);
  [[gnu::always_inline]] inline const char* FastEndTag(const char* p, const char* end);
  // The end tags FastEndTag leaves to a longer look: capitals, whitespace
  // before ">", long names.
  [[gnu::noinline]] const char* FastEndTagRest(const char* p, const char* end);
  // An end tag read without the states: to the sink, when it wants it.
  void ReadEndTag(std::string_view name);
  // From just after a start tag's name to the byte after its ">", found
  // as the tag's states would find it, with nothing built; nullptr when the
  // block ends first or a NUL stands in an attribute name.
  static const char* SkipStartTag(const char* p, const char* end);

  void StartTag(bool end);
  void StartAttribute();
  void EndAttributeName();
  std::string_view AttributeName(size_t index) const;
  bool IsRepeatedName(size_t index);
  void EmitTag();
  void EmitComment();
  void StartDoctype();
  void EmitDoctype();
  void EmitEndOfFile();
  bool IsAppropriateEndTag() const;
  // The named reference taken so far, `next` the character after it.
  void EndNamedReference(int next, const char* p);
  // The numeric character reference end state: m_nCode checked and emitted.
  void EndNumericReference();
  // Characters a reference stands for, or written as they are, to the
  // attribute value or the text the reference is in.
  void ReferenceText(std::string_view text);
  // What the reference took from m_szReference[from] on, taken before `p`.
  void ReferenceAsWritten(const char* p, size_t from);
  bool ReferenceInAttribute() const {
    return m_nReturnState == kAttributeValueDoubleQuoted ||
           m_nReturnState == kAttributeValueSingleQuoted ||
           m_nReturnState == kAttributeValueUnquoted;
  }

  HtmlTokenSink& m_sink;
  const bool m_bText;
  State m_nState = kData;
  State m_nReturnState = kData;  // where a character reference goes back to
  bool m_bCdataAllowed = false;
  const HtmlTagNames* m_pWantedStartTags = nullptr;
  const HtmlTagNames* m_pWantedEndTags = nullptr;
  bool m_bCrPending = false;  // the last block ended with a CR already taken as LF

  // The block being fed, and character data gathered from it.
  const char* m_pBlock = nullptr;
  const char* m_pRunBegin = nullptr;
  const char* m_pRunEnd = nullptr;

  // The tag being built.
  bool m_bEndTag = false;
  bool m_bSelfClosing = false;
  std::string m_strTagName;
  std::string m_strLastStartTag;
  std::string m_strAttributes;
  std::vector<AttributeSpan> m_vAttributes;
  std::vector<uint32_t> m_vNameSlots;  // a hash of the names, for tags with many attributes
  std::vector<HtmlAttribute> m_vEmitted;
  // The fast path's attribute names that had capitals: their lower-cased
  // copies in m_strAttributes, placed once the tag is read.
  struct LoweredName {
    size_t index;
    size_t offset;
    size_t size;
  };
  std::vector<LoweredName> m_vLoweredNames;
  // The fast path's attributes; a tag with more is read by the states.
  static constexpr size_t kFastAttributes = 16;
  std::array<HtmlAttribute, kFastAttributes> m_fastAttributes;

  // The comment and DOCTYPE being built.
  std::string m_strComment;
  std::string m_strDoctypeName;
  std::string m_strPublicId;
  std::string m_strSystemId;
  bool m_bHasDoctypeName = false;
  bool m_bHasPublicId = false;
  bool m_bHasSystemId = false;
  bool m_bForceQuirks = false;
  char m_cQuote = '"';  // the quote around the DOCTYPE identifier being read

  // The standard's temporary buffer: an end tag's name in RCDATA, RAWTEXT
  // and script data (as written, no longer than the last start tag's name
  // plus one), the word after "<" in escaped script data, and "<!" keywords
  // and "PUBLIC"/"SYSTEM" matched so far.
  std::string m_strTemporary;

  // A character reference: what was taken ("&", "#", the name), the walk
  // through the names, the code point.
  char m_szReference[40] = {};
  size_t m_nReferenceLength = 0;
  NamedReferenceWalk m_walk;
  uint32_t m_nCode = 0;
};
