// Times vimbel-cli harvesting a large page from a loopback server against
// curl merely fetching the same page from the same server, in one run.
//
//   build/download_bench [MEGABYTES] [ROUNDS]     (default 64 MB, 3 rounds)
//
// vimbel-cli is taken from the folder this program lives in. Each side runs
// ROUNDS times; the best time of each is compared.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/http_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A gallery-like page: every line an anchor to an image, with text around
// it, about 95 bytes per line. Without anchors, the same text alone.
std::string MakePage(size_t bytes, bool withAnchors, size_t& anchors) {
  std::string page = "<html><body>\n";
  page.reserve(bytes + 256);
  anchors = 0;
  char line[256];
  while (page.size() < bytes) {
    int n = withAnchors ? std::snprintf(line, sizeof line,
                                        "<p>picture %zu of the collection, taken on a sunny "
                                        "day <a href=\"pics/%08zu.jpg\">view</a></p>\n",
                                        anchors, anchors)
                        : std::snprintf(line, sizeof line,
                                        "<p>picture %zu of the collection, taken on a sunny "
                                        "day, shown nowhere and linked from nothing</p>\n",
                                        anchors);
    page.append(line, static_cast<size_t>(n));
    ++anchors;
  }
  page += "</body></html>\n";
  if (!withAnchors) anchors = 0;
  return page;
}

// Runs argv with the given environment additions; stdin and stdout from
// /dev/null, stderr into `errors`. The exit status, or -1.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::string& errors) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStore(env);
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (megabytes == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: download_bench [MEGABYTES] [ROUNDS]\n");
    return 64;
  }

  const std::string cli = (fs::canonical("/proc/self/exe").parent_path() / "vimbel-cli").string();
  if (access(cli.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "download_bench: %s is not built\n", cli.c_str());
    return 1;
  }

  // A world of its own: profile, scratch folder and output under one
  // temporary folder, removed at the end.
  std::string dir = (fs::temp_directory_path() / "vimbel-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  for (const char* sub : {"/home", "/config", "/runtime", "/out"}) mkdir((dir + sub).c_str(), 0700);
  const std::vector<std::string> env = {
      "HOME=" + dir + "/home", "XDG_CONFIG_HOME=" + dir + "/config",
      "XDG_RUNTIME_DIR=" + dir + "/runtime", "no_proxy=*", "NO_PROXY=*"};

  size_t anchors = 0, none = 0;
  std::string page = MakePage(megabytes * 1024 * 1024, true, anchors);
  const size_t pageBytes = page.size();
  std::string plain = MakePage(pageBytes, false, none);
  test::HttpServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "download_bench: cannot start the loopback server\n");
    return 1;
  }
  server.Route("/gallery/page.html", test::HttpRoute::Page(200, std::move(page)));
  server.Route("/plain/page.html", test::HttpRoute::Page(200, std::move(plain)));
  const std::string url = server.Url("/gallery/page.html");
  const std::string plainUrl = server.Url("/plain/page.html");
  const std::string output = dir + "/out/vimbel.txt";
  const std::string errors = dir + "/stderr.txt";

  std::printf("page: %.1f MB, %zu anchors, %s\n", pageBytes / 1048576.0, anchors, url.c_str());
  double bestCurl = 1e9, bestCli = 1e9, bestPlain = 1e9;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    int curlStatus = Run({"curl", "-s", "-o", "/dev/null", url}, env, errors);
    auto t1 = std::chrono::steady_clock::now();
    fs::remove(output);
    int cliStatus =
        Run({cli, "--list", "--append", "--types", "image", "--save-folder", dir + "/out", url},
            env, errors);
    auto t2 = std::chrono::steady_clock::now();
    size_t lines = CountLines(output);
    int plainStatus = Run(
        {cli, "--list", "--append", "--types", "image", "--save-folder", dir + "/out", plainUrl},
        env, errors);
    auto t3 = std::chrono::steady_clock::now();
    std::printf(
        "round %d: curl %.3f s (exit %d), vimbel-cli %.3f s (exit %d, %zu lines), "
        "vimbel-cli without anchors %.3f s (exit %d)\n",
        round + 1, Seconds(t1 - t0), curlStatus, Seconds(t2 - t1), cliStatus, lines,
        Seconds(t3 - t2), plainStatus);
    if (curlStatus != 0 || cliStatus != 0 || plainStatus != 0 || lines != anchors) {
      std::ifstream said(errors);
      std::fprintf(stderr, "download_bench: a run failed or lost links\n%s",
                   std::string(std::istreambuf_iterator<char>(said), {}).c_str());
      ok = false;
    }
    bestCurl = std::min(bestCurl, Seconds(t1 - t0));
    bestCli = std::min(bestCli, Seconds(t2 - t1));
    bestPlain = std::min(bestPlain, Seconds(t3 - t2));
  }
  server.Stop();
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (!ok) return 1;

  const double mb = pageBytes / 1048576.0;
  std::printf("best: curl %.3f s (%.0f MB/s), vimbel-cli %.3f s (%.0f MB/s), ratio %.2f\n",
              bestCurl, mb / bestCurl, bestCli, mb / bestCli, bestCli / bestCurl);
  std::printf(
      "without anchors (download and scan only): vimbel-cli %.3f s (%.0f MB/s), "
      "ratio %.2f\n",
      bestPlain, mb / bestPlain, bestPlain / bestCurl);
  return 0;
}
