// A file handed from a second start to the running instance: what arrives,
// what is dropped, and who may hand over at all.
#include "platform/instance_handover.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "tests/support/test_environment.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits for a handover and takes it, as the window's event loop would:
// Accept each time the listener is ready.
std::optional<std::string> AcceptWithin(platform::HandoverListener& listener,
                                        std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{static_cast<int>(listener.Handle()), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1)
      return std::nullopt;
    if (auto path = listener.Accept()) return path;
  }
}

TEST(InstanceHandover, TheRunningInstanceGetsTheFileAsAnAbsolutePath) {
  testing_support::TestEnvironment env;
  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);

  struct Case {
    std::string given;
    std::string arrives;
  };
  const Case cases[] = {
      {"page.url", std::string(here) + "/page.url"},
      {"../a b/ページ.URL", std::string(here) + "/../a b/ページ.URL"},
      {"/abs/line\nbreak.html", "/abs/line\nbreak.html"},
  };
  for (const Case& c : cases) {
    auto sent =
        std::async(std::launch::async, [&c] { return platform::HandOverFile("vimbel", c.given); });
    EXPECT_EQ(AcceptWithin(*listener, 2s), c.arrives);
    EXPECT_TRUE(sent.get()) << "acknowledged: " << c.given;
  }
  const std::string socket = *platform::TempFolder() + "vimbel.sock";
  struct stat st {};
  ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  listener.reset();
  EXPECT_NE(::lstat(socket.c_str(), &st), 0) << "the socket goes with its listener";
}

TEST(InstanceHandover, AHandoverNobodyTakesInTimeIsDropped) {
  testing_support::TestEnvironment env;
  EXPECT_FALSE(platform::HandOverFile("vimbel", "/x.url")) << "no instance listens";

  // A socket left by a killed instance: refused at once, replaced by the next.
  const std::string socket = *platform::TempFolder() + "vimbel.sock";
  {
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
  }
  const auto start = Clock::now();
  EXPECT_FALSE(platform::HandOverFile("vimbel", "/x.url"));
  EXPECT_LT(Clock::now() - start, 500ms);
  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);

  // The instance is busy (a run) past the sender's wait: the sender gives
  // up, and the file is not opened when the instance gets to it later.
  EXPECT_FALSE(platform::HandOverFile("vimbel", "/late.url", 200));
  EXPECT_EQ(listener->Accept(), std::nullopt);
  EXPECT_EQ(listener->Accept(), std::nullopt) << "nothing else waits";
}

// The window takes handovers on its own thread: connections that send
// nothing (a hung or hostile process of the user's) must hold up neither it
// nor a real handover behind them, and are hung up on once the sender's wait
// has passed.
TEST(InstanceHandover, SilentConnectionsHoldUpNeitherTheWindowNorARealHandover) {
  testing_support::TestEnvironment env;
  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, (*platform::TempFolder() + "vimbel.sock").c_str());

  // Each Accept the window makes while they arrive, timed; far below the
  // second a read with a wait would take for each.
  Clock::duration longest{};
  auto accept = [&] {
    const auto start = Clock::now();
    auto path = listener->Accept();
    longest = std::max(longest, Clock::now() - start);
    return path;
  };
  std::vector<int> silent;
  for (int i = 0; i < 9; ++i) {
    silent.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ASSERT_EQ(::connect(silent.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(accept(), std::nullopt);
  }
  auto sent =
      std::async(std::launch::async, [] { return platform::HandOverFile("vimbel", "/r.url"); });
  std::optional<std::string> taken;
  for (const auto end = Clock::now() + 3s; !taken && Clock::now() < end;) {
    pollfd p{static_cast<int>(listener->Handle()), POLLIN, 0};
    if (::poll(&p, 1, 50) == 1) taken = accept();
  }
  EXPECT_EQ(taken, "/r.url");
  EXPECT_TRUE(sent.get()) << "acknowledged within the sender's wait";
  EXPECT_LT(longest, 500ms);

  // The window's loop goes on; the silent ones are hung up on at their deadline.
  size_t hungUp = 0;
  for (const auto end = Clock::now() + 3s; hungUp < silent.size() && Clock::now() < end;) {
    pollfd p{static_cast<int>(listener->Handle()), POLLIN, 0};
    if (::poll(&p, 1, 50) == 1) {
      EXPECT_EQ(accept(), std::nullopt);
    }
    hungUp = 0;
    for (int fd : silent) {
      char c;
      if (::recv(fd, &c, 1, MSG_PEEK) == 0) ++hungUp;
    }
  }
  EXPECT_EQ(hungUp, silent.size());
  EXPECT_LT(longest, 500ms);
  for (int fd : silent) ::close(fd);
}

TEST(InstanceHandover, AnotherUserCanNeitherReachNorHandOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  testing_support::TestEnvironment env;
  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  const std::string folder = *platform::TempFolder();
  const std::string socket = folder + "vimbel.sock";

  // Runs `body` as the user nobody; its exit status.
  auto asNobody = [](auto body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
      ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  // Through the program: the private folder keeps the socket out of reach.
  EXPECT_EQ(asNobody([] { return platform::HandOverFile("vimbel", "/etc/x.url") ? 1 : 0; }), 0);

  // Straight at the socket, with the folder and socket opened up: the
  // listener still refuses a peer of another user, and acknowledges nothing.
  std::vector<std::pair<std::string, mode_t>> opened;
  for (std::string dir = folder; dir.size() >= env.Dir().size();
       dir.erase(dir.find_last_of('/', dir.size() - 2) + 1)) {
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0) << dir;
    opened.emplace_back(dir, st.st_mode & 07777);
    ASSERT_EQ(::chmod(dir.c_str(), 0711), 0);
  }
  ASSERT_EQ(::chmod(socket.c_str(), 0666), 0);
  auto raw = std::async(std::launch::async, [&] {
    return asNobody([&socket] {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strcpy(address.sun_path, socket.c_str());
      if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 2;
      const char path[] = "/etc/x.url";
      // The listener may already have hung up on it.
      if (::send(fd, path, sizeof path - 1, MSG_NOSIGNAL) < 0) return 0;
      ::shutdown(fd, SHUT_WR);
      char answer;
      return ::read(fd, &answer, 1) == 1 ? 1 : 0;
    });
  });
  EXPECT_EQ(AcceptWithin(*listener, 2s), std::nullopt);
  EXPECT_EQ(raw.get(), 0) << "connected, and got no acknowledgement";
  for (const auto& [dir, mode] : opened) ::chmod(dir.c_str(), mode);
}

}  // namespace
