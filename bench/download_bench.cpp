// Times vimbel-cli harvesting a large page from a loopback server against
// curl merely fetching the same page from the same server, in one run.
//
//   build/download_bench [MEGABYTES] [ROUNDS]     (default 64 MB, 3 rounds)
//
// vimbel-cli is taken from the folder this program lives in. Each side runs
// ROUNDS times; the best time of each is compared.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/http_server.h"

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

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (megabytes == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: download_bench [MEGABYTES] [ROUNDS]\n");
    return 64;
  }

  const std::optional<std::string> cli = bench::ProgramBeside("download_bench", "vimbel-cli");
  if (!cli) return 1;
  // A world of its own: profile, scratch folder and output.
  std::optional<bench::World> world = bench::World::Make({"out"});
  if (!world) return 1;
  const std::string& dir = world->Dir();
  const std::vector<std::string>& env = world->Env();

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
    const bench::ChildRun curl =
        bench::RunChild({"curl", "-s", "-o", "/dev/null", url}, env, errors);
    fs::remove(output);
    const bench::ChildRun harvest = bench::RunChild(
        {*cli, "--list", "--append", "--types", "image", "--save-folder", dir + "/out", url}, env,
        errors);
    size_t lines = bench::CountLines(output);
    const bench::ChildRun plain = bench::RunChild(
        {*cli, "--list", "--append", "--types", "image", "--save-folder", dir + "/out", plainUrl},
        env, errors);
    std::printf(
        "round %d: curl %.3f s (exit %d), vimbel-cli %.3f s (exit %d, %zu lines), "
        "vimbel-cli without anchors %.3f s (exit %d)\n",
        round + 1, curl.wall, curl.status, harvest.wall, harvest.status, lines, plain.wall,
        plain.status);
    if (curl.status != 0 || harvest.status != 0 || plain.status != 0 || lines != anchors) {
      std::fprintf(stderr, "download_bench: a run failed or lost links\n%s",
                   bench::Contents(errors).c_str());
      ok = false;
    }
    bestCurl = std::min(bestCurl, curl.wall);
    bestCli = std::min(bestCli, harvest.wall);
    bestPlain = std::min(bestPlain, plain.wall);
  }
  server.Stop();
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
