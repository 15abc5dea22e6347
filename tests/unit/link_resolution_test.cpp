// Making links absolute, and the per-line preparation.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/link_output.h"
#include "engine/link_resolution.h"
#include "settings/output_choice.h"

namespace {

struct Resolution {
  const char* reference;
  const char* result;
};

// RFC 3986, section 5.4, with its own base.
TEST(ResolveReference, HoldsTheExamplesOfRfc3986) {
  const std::vector<Resolution> examples = {
      // 5.4.1 normal examples
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // 5.4.2 abnormal examples
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const Resolution& e : examples)
    EXPECT_EQ(ResolveReference("http://a/b/c/d;p?q", e.reference), e.result) << e.reference;
}

// Most links are plain relative paths, which the resolver appends to the
// base in one piece. A fragment only ever adds itself to the end, and a
// reference with one never takes that shortcut: so whatever a reference
// resolves to, the same reference with "#" must give that and "#".
TEST(ResolveReference, AppendsPlainPathsAsTheFullStepsWould) {
  const char* const pieces[] = {"a", "B", "/",     ".",   "..", "./", "../", ":", "?",
                                "#", "g", "x.jpg", "%20", " ",  "//", ";p",  "=", "\xE3\x81\x82"};
  const char* const bases[] = {
      "http://a/b/c/d;p?q", "http://a/b/c/", "http://a", "file:///x/y/",
      "http://a/./b/",      "a/b/",          "",         "http://h/p/../q/"};
  std::mt19937 random(11);
  std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
  for (const char* base : bases) {
    ReferenceResolver resolver(base);
    for (int i = 0; i < 500; ++i) {
      std::string reference;
      for (size_t n = random() % 7; n > 0; --n) reference += pieces[piece(random)];
      const std::string plain(resolver.Resolve(reference));
      EXPECT_EQ(plain + "#", resolver.Resolve(reference + "#")) << base << " + " << reference;
    }
  }
}

TEST(ResolveAgainstBaseAddress, ResolvesAgainstTheBaseAddressAsWritten) {
  const std::vector<Resolution> cases = {
      {"x.jpg", "http://a/b/c/x.jpg"},
      {"../x.jpg", "http://a/b/x.jpg"},
      {"../../x.jpg", "http://a/x.jpg"},
      {"/x.jpg", "http://a/x.jpg"},
      {"./x.jpg", "http://a/b/c/x.jpg"},
      {"sub/../x.jpg", "http://a/b/c/x.jpg"},
      {"a/b/../../../x.jpg", "http://a/b/x.jpg"},
      {"../../../x.jpg", "http://a/x.jpg"},
      {"../../../../x.jpg", "http://a/x.jpg"},
      {"//d/x.jpg", "http://d/x.jpg"},
      {"//d/p/../x.jpg", "http://d/x.jpg"},
      {"https://d/x.jpg", "https://d/x.jpg"},
      {"HTTP://d/x.jpg", "HTTP://d/x.jpg"},
      {"ftp://d/../x.jpg", "ftp://d/../x.jpg"},
      {"go.cgi?u=http://d/x.jpg", "http://a/b/c/go.cgi?u=http://d/x.jpg"},
      {"x.jpg#top", "http://a/b/c/x.jpg#top"},
      // Bytes pass unchanged: no encoding, decoding or case change.
      {"A%20B/%2e%2E/X.JPG", "http://a/b/c/A%20B/%2e%2E/X.JPG"},
      {"\xE7\x94\xBB.jpg", "http://a/b/c/\xE7\x94\xBB.jpg"},
      // Not valid references, still joined as relative paths.
      {" \"x.jpg\"", "http://a/b/c/ \"x.jpg\""},
      {"my file:x.jpg", "http://a/b/c/my file:x.jpg"},
      {"1http:x.jpg", "http://a/b/c/1http:x.jpg"},
      {"'x.jpg'", "http://a/b/c/'x.jpg'"},
  };
  for (const Resolution& c : cases)
    EXPECT_EQ(ResolveReference("http://a/b/c/", c.reference), c.result) << c.reference;
}

TEST(ResolveAgainstBaseAddress, TakesTheBaseAsAPageAddressMayLeaveIt) {
  struct Case {
    const char* base;
    const char* link;
    const char* result;
  };
  const std::vector<Case> cases = {
      {"http://a/", "x.jpg", "http://a/x.jpg"},
      {"http://a/", "../x.jpg", "http://a/x.jpg"},
      {"http://user:pw@a:8080/d/", "x.jpg", "http://user:pw@a:8080/d/x.jpg"},
      // The last "/" of the field may stand in a query: the page is c.cgi.
      {"http://a/b/c.cgi?p=1/", "x.jpg", "http://a/b/x.jpg"},
      {"http://", "x.jpg", "http:///x.jpg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ResolveReference(c.base, c.link), c.result) << c.base << " + " << c.link;
}

TEST(PrepareLinkLine, ResolvesUnlessTheLineBeginsWithASchemeAndEndsInOneLf) {
  struct Case {
    int outputType;
    const char* line;
    const char* result;
  };
  const std::vector<Case> cases = {
      {2, "x.jpg\n", "http://a/b/c/x.jpg\n"},
      {2, "x.jpg", "http://a/b/c/x.jpg\n"},
      {2, "http://d/x.jpg\n", "http://d/x.jpg\n"},
      {2, "Ftp://d/x.jpg\n", "Ftp://d/x.jpg\n"},
      {2, "go.cgi?u=http://d/x.jpg\n", "http://a/b/c/go.cgi?u=http://d/x.jpg\n"},
      // CR and TAB are dropped as browsers drop them, before the scheme test.
      {2, "x\r.jpg\n", "http://a/b/c/x.jpg\n"},
      {1, "h\tttp://d/\t\"x\r\r.gif\n", "<IMG SRC=\"http://d/&quot;x.gif\"><BR>\n"},
      {2, "\n", "http://a/b/c/\n"},
      {1, "x.jpg\n", "<IMG SRC=\"http://a/b/c/x.jpg\"><BR>\n"},
      {1, " \"x.jpg\"\n", "<IMG SRC=\"http://a/b/c/ &quot;x.jpg&quot;\"><BR>\n"},
      {1, "x.jpg\"onerror=\"alert(1)\n",
       "<IMG SRC=\"http://a/b/c/x.jpg&quot;onerror=&quot;alert(1)\"><BR>\n"},
      {2, "x.jpg\"onerror=\"alert(1)\n", "http://a/b/c/x.jpg\"onerror=\"alert(1)\n"},
      {1, "http://d/a'b<c>&amp;.gif", "<IMG SRC=\"http://d/a'b<c>&amp;.gif\"><BR>\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PrepareLinkLine(c.line, "http://a/b/c/", c.outputType == kOutputGallery), c.result)
        << c.line;
}

}  // namespace
