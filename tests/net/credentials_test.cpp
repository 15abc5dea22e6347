// The answer to a 401: the prompt, the address that carries the credentials, and
// where those credentials may go.
#include <string>
#include <vector>

#include "tests/net/net_fixture.h"

namespace net_tests {
namespace {

using test::HttpRoute;

HttpRoute Guarded(std::string body, std::string user, std::string password) {
  HttpRoute route = HttpRoute::Page(200, std::move(body));
  route.basicAuth = std::make_pair(std::move(user), std::move(password));
  return route;
}

class Credentials : public LoopbackTest {
 protected:
  // Downloads as the run does: again while the answer is 0.
  std::vector<int> Attempts(std::string& url) {
    std::vector<int> results;
    int result = 0;
    for (int attempt = 0; result == 0 && attempt < 10; ++attempt) {
      result = engine.DownloadPage(url, PagePath(), attempt);
      results.push_back(result);
    }
    return results;
  }
};

TEST_F(Credentials, AnsweredPromptsAreSentAsTypedWhateverTheyHoldIn) {
  struct Case {
    const char* user;
    const char* password;
  };
  const Case cases[] = {
      {"user", "pa:ss@wo/rd"},
      {"us@er:x", "#?/ %"},
      {"", ""},
      {"名前", "パス"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " / " + c.password);
    server.Route("/dir/page.html", Guarded("secret page", c.user, c.password));
    engine.ClearRecords();
    engine.QueueCredentials(c.user, c.password);
    std::string url = server.Url("/dir/page.html");

    EXPECT_EQ(Attempts(url), (std::vector<int>{0, 1}));
    EXPECT_EQ(testing_support::ReadBytes(PagePath()), "secret page");
    EXPECT_TRUE(engine.Messages().empty());
    // The page itself is asked for again, on the same server.
    auto last = server.LastRequest();
    EXPECT_EQ(last.path, "/dir/page.html");
    EXPECT_EQ(last.headers["authorization"],
              "Basic " + test::BasicAuthorization(c.user, c.password));
    EXPECT_NE(url.find("@127.0.0.1:" + std::to_string(server.Port()) + "/dir/page.html"),
              std::string::npos)
        << url;
  }
}

TEST_F(Credentials, WrongCredentialsPromptAgainUntilCancel) {
  server.Route("/page", Guarded("x", "user", "right"));
  engine.QueueCredentials("user", "wrong");
  engine.QueueCredentials("user", "wrong again");
  engine.QueueCredentialsCancel();
  std::string url = server.Url("/page");

  EXPECT_EQ(Attempts(url), (std::vector<int>{0, 0, 2}));
  EXPECT_EQ(engine.PromptCount(), 3);
  EXPECT_TRUE(engine.Messages().empty());
  // Only the last answer is in the address, once.
  EXPECT_EQ(url.find("wrong@"), std::string::npos);
  EXPECT_EQ(url.find('@'), url.rfind('@'));
  EXPECT_NE(url.find("user:wrong%20again@"), std::string::npos) << url;
  // Cancel keeps what the last OK stored.
  EXPECT_EQ(env.App().m_strPassword, "wrong again");
}

// Every form of Digest a server may ask for; Basic is offered as well and
// would be refused. An expired nonce is renewed without a second prompt.
TEST_F(Credentials, DigestIsAnsweredInTheFormTheServerAsksFor) {
  struct Case {
    const char* algorithm;
    bool qop;
    bool staleFirst;
  };
  const Case cases[] = {
      {"MD5", true, false},     {"", false, false},  {"MD5-sess", true, false},
      {"SHA-256", true, false}, {"MD5", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.algorithm) + (c.qop ? " qop" : "") + (c.staleFirst ? " stale" : ""));
    HttpRoute route = HttpRoute::Page(200, "digest page");
    route.digestAuth = HttpRoute::DigestDemand{"名前 x", "pa:ss", c.algorithm, c.qop, c.staleFirst};
    server.Route("/dir/page.html", route);
    engine.ClearRecords();
    const int prompts = engine.PromptCount();
    engine.QueueCredentials("名前 x", "pa:ss");
    std::string url = server.Url("/dir/page.html?q=1");

    EXPECT_EQ(Attempts(url), (std::vector<int>{0, 1}));
    EXPECT_EQ(engine.PromptCount(), prompts + 1);
    EXPECT_EQ(testing_support::ReadBytes(PagePath()), "digest page");
    EXPECT_EQ(server.LastRequest().headers["authorization"].rfind("Digest ", 0), 0u);
  }
}

TEST_F(Credentials, RefusedDigestPromptsAgain) {
  HttpRoute route = HttpRoute::Page(200, "x");
  route.digestAuth = HttpRoute::DigestDemand{"user", "right"};
  server.Route("/page", route);
  engine.QueueCredentials("user", "wrong");
  engine.QueueCredentialsCancel();
  std::string url = server.Url("/page");

  EXPECT_EQ(Attempts(url), (std::vector<int>{0, 2}));
  EXPECT_EQ(engine.PromptCount(), 2);
  EXPECT_TRUE(engine.Messages().empty());
  EXPECT_EQ(testing_support::ReadBytes(PagePath()), "");
}

TEST_F(Credentials, CancelAtOnceStopsWithoutAMessage) {
  server.Route("/page", Guarded("x", "user", "right"));
  engine.QueueCredentialsCancel();
  std::string url = server.Url("/page");
  const std::string typed = url;
  EXPECT_EQ(Attempts(url), (std::vector<int>{2}));
  EXPECT_EQ(url, typed);
  EXPECT_TRUE(engine.Messages().empty());
  EXPECT_EQ(testing_support::ReadBytes(PagePath()), "");
}

TEST_F(Credentials, NeverFollowARedirectToAnotherHost) {
  test::HttpServer other;
  ASSERT_TRUE(other.Start());
  other.Route("/elsewhere", HttpRoute::Page(200, "moved"));
  HttpRoute away = HttpRoute::Redirect(other.Url("/elsewhere"));
  away.basicAuth = std::make_pair("user", "pw");
  server.Route("/page", away);
  engine.QueueCredentials("user", "pw");
  std::string url = server.Url("/page");

  EXPECT_EQ(Attempts(url), (std::vector<int>{0, 1}));
  EXPECT_EQ(testing_support::ReadBytes(PagePath()), "moved");
  ASSERT_EQ(other.RequestCount(), 1u);
  EXPECT_EQ(other.LastRequest().headers.count("authorization"), 0u);
}

// The typed host sends the user on to a login elsewhere: that host asked,
// so it gets the credentials, and the host that was typed never sees them.
TEST_F(Credentials, GoToTheHostThatAskedForThemAfterARedirect) {
  test::HttpServer login;
  ASSERT_TRUE(login.Start("127.0.0.2"));
  login.Route("/login/page", Guarded("behind the login", "user", "pw"));
  server.Route("/start", HttpRoute::Redirect(login.Url("/login/page")));
  engine.QueueCredentials("user", "pw");
  std::string url = server.Url("/start");

  EXPECT_EQ(Attempts(url), (std::vector<int>{0, 1}));
  EXPECT_EQ(testing_support::ReadBytes(PagePath()), "behind the login");
  EXPECT_EQ(url, "http://user:pw@127.0.0.2:" + std::to_string(login.Port()) + "/login/page");
  for (const auto& request : server.Requests())
    EXPECT_EQ(request.headers.count("authorization"), 0u) << request.target;
  EXPECT_EQ(login.LastRequest().headers["authorization"],
            "Basic " + test::BasicAuthorization("user", "pw"));
}

}  // namespace
}  // namespace net_tests
