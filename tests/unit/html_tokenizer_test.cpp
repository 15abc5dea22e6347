// The HTML tokenizer where the conformance data cannot reach: a sink that
// switches the state from its callbacks as the tree builder will (the
// tokenizer then knows the last start tag by itself), the memory long
// comments, texts and end tag candidates cost, and repeated attribute names
// in a tag with more attributes than a linear search is used for, and tags
// a sink does not want, passed over.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/html_tokenizer.h"

namespace {

// Writes tokens as "<name a=v>", "</name>", "#comment", text as it is; and
// does what a tree builder does after some start tags.
class SwitchingSink : public HtmlTokenSink {
 public:
  explicit SwitchingSink(HtmlTokenizer*& tokenizer) : m_tokenizer(tokenizer) {}
  std::string out;

  void OnStartTag(const HtmlTag& tag) override {
    out.append("<").append(tag.name);
    for (const HtmlAttribute& a : tag.attributes)
      out.append(" ").append(a.name).append("=").append(a.value);
    out += ">";
    const std::string name(tag.name);
    if (name == "title" || name == "textarea") m_tokenizer->SwitchToRcdata();
    if (name == "style" || name == "xmp") m_tokenizer->SwitchToRawtext();
    if (name == "script") m_tokenizer->SwitchToScriptData();
    if (name == "plaintext") m_tokenizer->SwitchToPlaintext();
    if (name == "svg") m_tokenizer->SetCdataAllowed(true);
  }
  void OnEndTag(const HtmlTag& tag) override {
    out.append("</").append(tag.name).append(">");
    if (tag.name == "svg") m_tokenizer->SetCdataAllowed(false);
  }
  void OnCharacters(std::string_view text) override { out += text; }
  void OnComment(std::string_view text) override { out.append("#").append(text).append("#"); }

 private:
  HtmlTokenizer*& m_tokenizer;
};

TEST(HtmlTokenizer, SinkSwitchesStateAfterStartTags) {
  struct Row {
    const char* input;
    const char* expected;
  };
  const Row rows[] = {
      // RCDATA ends at the end tag of the start tag just emitted, in any
      // case; references are read, tags are not.
      {"<title><b>a&amp;b</b></TITLE ><b>", "<title><b>a&b</b></title><b>"},
      {"<textarea></title></textareas></textarea>x", "<textarea></title></textareas></textarea>x"},
      // A start tag inside RAWTEXT is text, and does not become the last one.
      {"<xmp><style></style></xmp><i>", "<xmp><style></style></xmp><i>"},
      {"<style>a{}</style foo=bar><i>", "<style>a{}</style><i>"},
      {"<script>if (a<b) x='</scrip'</script><p>", "<script>if (a<b) x='</scrip'</script><p>"},
      // "<!--<script>" escapes the script twice: the first </script> ends
      // only the inner one.
      {"<script><!--<script></script>--></script>x", "<script><!--<script></script>--></script>x"},
      {"<plaintext></plaintext><b>", "<plaintext></plaintext><b>"},
      // CDATA only where the sink says the current node is foreign.
      {"<![CDATA[a]]><svg><![CDATA[<b>]]]></svg><![CDATA[c]]>",
       "#[CDATA[a]]#<svg><b>]</svg>#[CDATA[c]]#"},
  };
  for (const Row& row : rows) {
    const std::string input = row.input;
    for (size_t piece : {input.size(), size_t{1}, size_t{3}}) {
      HtmlTokenizer* self = nullptr;
      SwitchingSink sink(self);
      HtmlTokenizer tokenizer(sink);
      self = &tokenizer;
      for (size_t at = 0; at < input.size(); at += piece) tokenizer.Feed(input.substr(at, piece));
      tokenizer.Finish();
      EXPECT_EQ(sink.out, row.expected) << input << " in pieces of " << piece;
    }
  }
}

// Counts what comes out, keeping nothing.
class CountingSink : public HtmlTokenSink {
 public:
  size_t tags = 0;
  size_t textBytes = 0;
  std::string lastTag;  // "/" before an end tag's name
  void OnStartTag(const HtmlTag& tag) override {
    ++tags;
    lastTag.assign(tag.name);
  }
  void OnEndTag(const HtmlTag& tag) override {
    ++tags;
    lastTag.assign(1, '/');
    lastTag += tag.name;
  }
  void OnCharacters(std::string_view text) override { textBytes += text.size(); }
};

TEST(HtmlTokenizer, LongTextCommentsAndEndTagCandidatesKeepNoBuffer) {
  using Text = HtmlTokenizer::Text;
  using State = HtmlTokenizer::ContentState;
  struct Row {
    const char* what;
    Text text;
    State state;
    const char* head;
    const char* unit;  // repeated to 10 MB
    const char* tail;
    const char* lastTag;
  };
  const Row rows[] = {
      {"comment, without text", Text::kSkip, State::kData, "<!--", "a comment - <!- ", "--><p>",
       "p"},
      {"bogus comment, without text", Text::kSkip, State::kData, "<?", "xml stuff ", "><p>", "p"},
      {"CDATA, without text", Text::kSkip, State::kData, "<![CDATA[", "text ] ", "]]><p>", "p"},
      {"text with references", Text::kDeliver, State::kData, "", "a&amp;b\r\n", "<p>", "p"},
      {"script", Text::kDeliver, State::kScriptData, "", "x<y; <!-- --> ", "</script>", "/script"},
      {"RCDATA end tag candidate", Text::kDeliver, State::kRcdata, "</title", "abcdefgh",
       "</title>", "/title"},
      {"doubly escaped script word", Text::kSkip, State::kScriptData, "<!--<script", "abcdefgh",
       " --></script>", "/script"},
  };
  constexpr size_t kBytes = 10 << 20;
  for (const Row& row : rows) {
    CountingSink sink;
    HtmlTokenizer tokenizer(sink, row.text);
    tokenizer.SetContentState(row.state);
    tokenizer.SetLastStartTag(row.state == State::kRcdata ? "title" : "script");
    tokenizer.Feed(row.head);
    const size_t before = tokenizer.BufferCapacity();
    std::string block;
    while (block.size() < 64 * 1024) block += row.unit;
    for (size_t fed = 0; fed < kBytes; fed += block.size()) tokenizer.Feed(block);
    tokenizer.Feed(row.tail);
    tokenizer.Finish();
    EXPECT_LE(tokenizer.BufferCapacity(), before + 256) << row.what;
    EXPECT_EQ(sink.lastTag, row.lastTag) << row.what;
    if (row.text == Text::kDeliver) {
      EXPECT_GT(sink.textBytes, kBytes / 3) << row.what;
    }
  }
}

class AttributeSink : public HtmlTokenSink {
 public:
  std::vector<std::pair<std::string, std::string>> attributes;
  void OnStartTag(const HtmlTag& tag) override {
    attributes.clear();
    for (const HtmlAttribute& a : tag.attributes) attributes.emplace_back(a.name, a.value);
  }
};

TEST(HtmlTokenizer, RepeatedNamesAmongManyAttributesKeepTheFirst) {
  // 300 attributes over 100 names, each name coming back later with
  // another value and in capitals, the first of them after the linear
  // search has given way to the hash.
  std::string tag = "<x";
  std::vector<std::pair<std::string, std::string>> expected;
  std::set<std::string> seen;
  for (int i = 0; i < 300; ++i) {
    const int n = (i * 37) % 100;
    std::string name(1, 'n'), value = std::to_string(i);
    name += std::to_string(n);
    tag.append(" ").append(i % 2 ? "n" : "N").append(std::to_string(n));
    tag.append("='").append(value).append("'");
    if (seen.insert(name).second) expected.emplace_back(name, value);
  }
  tag += ">";
  for (size_t piece : {tag.size(), size_t{5}}) {
    AttributeSink sink;
    HtmlTokenizer tokenizer(sink);
    for (size_t at = 0; at < tag.size(); at += piece) tokenizer.Feed(tag.substr(at, piece));
    tokenizer.Finish();
    EXPECT_EQ(sink.attributes, expected) << "in pieces of " << piece;
  }
}

// Writes the start tags <a> and <img> and the end tag </a> with their
// attributes.
class PickySink : public HtmlTokenSink {
 public:
  std::string out;

  void OnStartTag(const HtmlTag& tag) override {
    if (tag.name != "a" && tag.name != "img") return;
    out.append("<").append(tag.name);
    for (const HtmlAttribute& a : tag.attributes)
      out.append(" ").append(a.name).append("=[").append(a.value).append("]");
    out += tag.selfClosing ? "/>" : ">";
  }
  void OnEndTag(const HtmlTag& tag) override {
    if (tag.name == "a") out += "</a>";
  }
};

TEST(HtmlTokenizer, TagsTheSinkDoesNotWantEndWhereTheirStatesEndThem) {
  // Tag soup from the bytes that matter in a tag: the tags wanted after
  // one passed over show where the tokenizer took that one to end, and the
  // tags read whole in a block must come out as the states read them byte
  // by byte.
  const std::vector<std::string> pieces = {
      "<a",
      "<img",
      "<div",
      "<Td",
      "</a",
      "</div",
      "<br/",
      " ",
      "\t",
      "\r\n",
      "\n",
      "=",
      "\"",
      "'",
      ">",
      "/",
      "/>",
      "x",
      "src",
      "&",
      "&gt;",
      "`",
      "<",
      "\xE6\x97\xA5",
      "href",
      "a=b",
      "c=\"d>\"",
      "e='f>'",
      "<!--",
      "-->",
      std::string(1, '\0'),
      "HREF=\"",
      "src=\"",
      "data-lazy-src=\"",
      "abcdefghijklm=\"",
      "abcdefghijklmn=\"",
      "0123456789abcdef",
      "\"\x01\"",
  };
  // The tags the sink reads, when it says so.
  const HtmlTagNames startTags{"a", "img"}, endTags{"a"};
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    const size_t count = 4 + random() % 40;
    for (size_t i = 0; i < count; ++i) input += pieces[random() % pieces.size()];
    std::string byStates;
    for (size_t piece : {size_t{1}, input.size(), size_t{7}}) {
      for (bool picky : {false, true}) {
        PickySink sink;
        HtmlTokenizer tokenizer(sink, HtmlTokenizer::Text::kSkip);
        if (picky) tokenizer.SetWantedTags(&startTags, &endTags);
        for (size_t at = 0; at < input.size(); at += piece) tokenizer.Feed(input.substr(at, piece));
        tokenizer.Finish();
        if (byStates.empty()) byStates = sink.out.empty() ? "-" : sink.out;
        ASSERT_EQ(sink.out.empty() ? "-" : sink.out, byStates)
            << input << " in pieces of " << piece << (picky ? ", picky" : "");
      }
    }
  }
}

}  // namespace
