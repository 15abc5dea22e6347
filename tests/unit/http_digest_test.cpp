// Digest login: the hashes, the challenges as servers write them, and the
// answer a server checks.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/hashes.h"
#include "platform/http_digest.h"

namespace {

using platform::AuthChallenge;
using platform::DigestChallenge;

// Padding that fills a block exactly or spills into one more, several
// blocks, and bytes above 0x7F.
TEST(Hashes, MatchTheKnownValues) {
  struct Case {
    std::string bytes;
    const char* md5;
    const char* sha256;
  };
  const Case cases[] = {
      {"abc", "900150983cd24fb0d6963f7d28e17f72",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "8215ef0796a20bcaaae116d3876c664a",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367",
       "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(119, 'a') + "\xE3\x81\x82", "acf726d9a241a71ef5e69b7f613e78e4",
       "f60f400f23996840e0fcd4b09b6004f03b3be8d4c2db5eca0a6acf9eb04f7b2e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(platform::Md5Hex(c.bytes), c.md5);
    EXPECT_EQ(platform::Sha256Hex(c.bytes), c.sha256);
  }
}

// The one challenge a header gives, parsed and chosen as a 401 is.
std::optional<DigestChallenge> Chosen(const std::string& header) {
  return platform::UsableDigest(platform::ParseAuthChallenges(header));
}

// The value of `name` in an Authorization header, which has a challenge's
// syntax.
std::string ParamOf(const std::string& authorization, const char* name) {
  const auto parsed = platform::ParseAuthChallenges(authorization);
  if (parsed.size() != 1) return "(not one challenge)";
  const std::string* value = parsed[0].Param(name);
  return value ? *value : "(none)";
}

// The published examples, and the forms their formulas leave to a client:
// no qop, the session key with a later request, SHA-256's session key.
TEST(HttpDigest, ResponsesMatchThePublishedExamples) {
  struct Case {
    const char* challenge;
    const char* password;
    const char* cnonce;
    unsigned nc;
    const char* response;
  };
  const char* kRfc2617 =
      R"(Digest realm="testrealm@host.com", qop="auth,auth-int", )"
      R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", opaque="5ccc069c403ebaf9f0171e9517f40e41")";
  const char* kRfc7616Sha256 =
      R"(Digest realm="http-auth@example.org", qop="auth, auth-int", algorithm=SHA-256, )"
      R"(nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", )"
      R"(opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS")";
  const char* kRfc7616Md5 =
      R"(Digest realm="http-auth@example.org", qop="auth, auth-int", algorithm=MD5, )"
      R"(nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", )"
      R"(opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS")";
  const char* kCnonce7616 = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
  const Case cases[] = {
      {kRfc2617, "Circle Of Life", "0a4f113b", 1, "6629fae49393a05397450978507c4ef1"},
      {kRfc7616Sha256, "Circle of Life", kCnonce7616, 1,
       "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"},
      {kRfc7616Md5, "Circle of Life", kCnonce7616, 1, "8ca523f5e9506fed4657c9700eebdbec"},
      {R"(Digest realm="testrealm@host.com", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")",
       "Circle Of Life", "0a4f113b", 1, "670fd8c2df070c60b045671b8b24ff02"},
      {R"(Digest realm="testrealm@host.com", algorithm=MD5-sess, qop="auth", )"
       R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")",
       "Circle Of Life", "0a4f113b", 2, "d16df0df0d92cef8935129145e21b5e1"},
      {R"(Digest realm="testrealm@host.com", algorithm=sha-256-SESS, qop=auth, )"
       R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")",
       "Circle Of Life", "0a4f113b", 1,
       "b8822e12417cb7750f4e2b8515f0dcf25b7dd26993e80bee1426201446a7f59b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.challenge);
    const auto challenge = Chosen(c.challenge);
    ASSERT_TRUE(challenge);
    const std::string header = platform::DigestAuthorization(
        *challenge, {"GET", "/dir/index.html", "Mufasa", c.password, c.cnonce, c.nc});
    EXPECT_EQ(ParamOf(header, "response"), c.response) << header;
  }
}

TEST(HttpDigest, TheAnswerCarriesWhatTheServerChecks) {
  const auto challenge =
      Chosen(R"(Digest realm="say \"hi\", then \\ go", nonce="n,1", opaque="o\"p", qop="auth")");
  ASSERT_TRUE(challenge);
  const std::string header =
      platform::DigestAuthorization(*challenge, {"GET", "/a?b=c", "名前", "pw", "c0ffee", 10});
  EXPECT_EQ(header.rfind("Digest ", 0), 0u) << header;
  const std::pair<const char*, const char*> expected[] = {
      {"username*", "UTF-8''%E5%90%8D%E5%89%8D"},
      {"realm", R"(say "hi", then \ go)"},
      {"nonce", "n,1"},
      {"opaque", "o\"p"},
      {"uri", "/a?b=c"},
      {"qop", "auth"},
      {"nc", "0000000a"},
      {"cnonce", "c0ffee"},
      {"algorithm", "(none)"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(ParamOf(header, name), value) << name;

  // Without qop the old form: no count and no client nonce.
  const std::string old = platform::DigestAuthorization(*Chosen(R"(Digest realm="r", nonce="n")"),
                                                        {"GET", "/", "u", "p", "c0ffee", 1});
  EXPECT_EQ(ParamOf(old, "qop"), "(none)");
  EXPECT_EQ(ParamOf(old, "nc"), "(none)");
  EXPECT_EQ(ParamOf(old, "cnonce"), "(none)");

  // A user name with a line break must not start a header of its own;
  // a plain one goes as it is.
  const std::string injected =
      platform::DigestAuthorization(*challenge, {"GET", "/", "a\r\nX-Evil: 1", "p", "c0ffee", 1});
  EXPECT_EQ(injected.find_first_of("\r\n"), std::string::npos) << injected;
  EXPECT_EQ(ParamOf(injected, "username*"), "UTF-8''a%0D%0AX-Evil%3A%201");
  EXPECT_EQ(ParamOf(old, "username"), "u");
}

// Which challenge is answered, if any: commas and escapes inside quoted
// values, several challenges in one header, parameters a client must
// refuse, values it cannot echo in an ASCII header (NUL, controls, bytes
// beyond ASCII), and the opaque credentials of other schemes in between.
TEST(HttpDigest, ChoosesTheFirstChallengeItCanAnswer) {
  using namespace std::string_literals;
  struct Case {
    std::string header;
    const char* nonce;  // nullptr: none can be answered
    const char* realm = "r";
    bool stale = false;
  };
  const Case cases[] = {
      {R"(Basic realm="b", Digest realm="a, b=c", nonce="n")", "n", "a, b=c"},
      {R"(Digest realm="r", nonce="say \"x, y\"", qop="auth-int,auth")", "say \"x, y\""},
      {R"(Negotiate abc==, NTLM, Digest realm=r, nonce=n)", "n"},
      {R"(Digest realm="r", nonce="1", algorithm=SHA-512-256, Digest realm="r", nonce="2")", "2"},
      {R"(DIGEST REALM="r", NONCE="n", STALE=TRUE, ALGORITHM=md5)", "n", "r", true},
      {R"(Digest realm="r" , nonce = "n", stale=false, junk, extra="x")", "n"},
      {R"(Digest realm="r", nonce="n", algorithm=SHA-1)", nullptr},
      {R"(Digest realm="r", nonce="n", qop="auth-int")", nullptr},
      {R"(Digest realm="r", nonce="n", algorithm=MD5-sess)", nullptr},
      {R"(Digest realm="r")", nullptr},
      {R"(Basic realm="Digest nonce=n")", nullptr},
      {R"(Digest realm="r", nonce="unterminated)", "unterminated"},
      {"Digest realm=\"r\0x\", nonce=\"n\""s, nullptr},
      {"Digest realm=\"r\", nonce=\"n\x01\""s, nullptr},
      {"Digest realm=\"r\", nonce=\"n\tx\""s, "n\tx"},
      {"Digest realm=\"r\", nonce=\"n\x7F\""s, nullptr},
      {"Digest realm=\"r\", nonce=\"n\", opaque=\"caf\xC3\xA9\""s, nullptr},
      {"Digest realm=\"\xE7\x94\xBB\", nonce=\"1\", Digest realm=\"r\", nonce=\"2\""s, "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const auto chosen = Chosen(c.header);
    ASSERT_EQ(chosen.has_value(), c.nonce != nullptr);
    if (!chosen) continue;
    EXPECT_EQ(chosen->nonce, c.nonce);
    EXPECT_EQ(chosen->realm, c.realm);
    EXPECT_EQ(chosen->stale, c.stale);
  }
  EXPECT_TRUE(platform::OffersBasic(
      platform::ParseAuthChallenges(R"(Digest realm="Basic x", nonce="n", Basic realm="r")")));
  EXPECT_FALSE(platform::OffersBasic(
      platform::ParseAuthChallenges(R"(Digest realm="r", nonce="n", basicish="1")")));
}

TEST(HttpDigest, ClientNoncesAreUnforeseeable) {
  const std::string a = platform::NewClientNonce(), b = platform::NewClientNonce();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
}

}  // namespace
