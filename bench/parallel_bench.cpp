// Times vimbel-cli harvesting many pages of a slow server one after another
// (-P 1) and eight at once (-P 8), and the cost of --new-only against a large
// output file, in one run.
//
//   build/parallel_bench [PAGES] [DELAY_MS] [MEGABYTES] [LINKS]
//                                   (default 64 pages, 200 ms, 100 MB, 100000)
//
// The server waits DELAY_MS before each answer, as a distant one does; the
// outputs of both runs must be the same, byte for byte. Then a local page of
// LINKS links is harvested into an output file of MEGABYTES that holds half
// of them, with and without --new-only. vimbel-cli is taken from the folder
// this program lives in.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/http_server.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 64;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 200;
  const size_t megabytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100;
  const int links = argc > 4 ? std::atoi(argv[4]) : 100000;
  if (pages <= 0 || delayMs < 0 || megabytes == 0 || links <= 0) {
    std::fprintf(stderr, "usage: parallel_bench [PAGES] [DELAY_MS] [MEGABYTES] [LINKS]\n");
    return 64;
  }
  const std::optional<std::string> cli = bench::ProgramBeside("parallel_bench", "vimbel-cli");
  if (!cli) return 1;
  std::optional<bench::World> world = bench::World::Make({"out"});
  if (!world) return 1;
  const std::string& dir = world->Dir();
  const std::vector<std::string>& env = world->Env();
  const std::string output = dir + "/out/vimbel.txt";
  const std::string errors = dir + "/stderr.txt";

  // Pages of a slow server.
  test::HttpServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "parallel_bench: cannot start the loopback server\n");
    return 1;
  }
  std::vector<std::string> addresses;
  for (int p = 0; p < pages; ++p) {
    std::string page = "<html><body>\n";
    for (int i = 0; i < 50; ++i)
      page += "<a href=\"pics/" + std::to_string(i) + ".jpg\">view</a>\n";
    test::HttpRoute route = test::HttpRoute::Page(200, page);
    route.answerDelay = std::chrono::milliseconds(delayMs);
    const std::string path = "/gallery" + std::to_string(p) + "/page.html";
    server.Route(path, route);
    addresses.push_back(server.Url(path));
  }
  auto harvest = [&](const char* parallel, std::string& written) {
    fs::remove(output);
    std::vector<std::string> argv{*cli,      "-q",    "--list",        "--append",
                                  "--types", "image", "--save-folder", dir + "/out",
                                  "-P",      parallel};
    argv.insert(argv.end(), addresses.begin(), addresses.end());
    const bench::ChildRun run = bench::RunChild(argv, env, errors);
    written = ReadFile(output);
    return run;
  };
  std::string inTurn, atOnce;
  const bench::ChildRun one = harvest("1", inTurn);
  const bench::ChildRun eight = harvest("8", atOnce);
  server.Stop();
  if (one.status != 0 || eight.status != 0 || inTurn != atOnce || inTurn.empty()) {
    std::fprintf(stderr, "parallel_bench: a run failed, or the outputs differ\n%s",
                 bench::Contents(errors).c_str());
    return 1;
  }
  const double ratio = one.wall / eight.wall;
  std::printf("%d pages, %d ms before each answer: -P 1 %.3f s, -P 8 %.3f s, %.2f times faster\n",
              pages, delayMs, one.wall, eight.wall, ratio);

  // --new-only against a large file that holds half the page's links.
  const std::string base = "http://example.com/gallery/";
  std::string page = "<html><body>\n";
  std::string half;
  for (int i = 0; i < links; ++i) {
    const std::string name = "pics/" + std::to_string(10000000 + i) + ".jpg";
    page += "<p>picture <a href=\"" + name + "\">view</a></p>\n";
    if (i % 2 == 0) half += base + name + "\r\n";
  }
  WriteFile(dir + "/page.html", page);
  std::string large;
  large.reserve(megabytes * 1024 * 1024 + half.size());
  for (size_t n = 0; large.size() < megabytes * 1024 * 1024; ++n)
    large += "http://elsewhere.example.com/collection/" + std::to_string(n) + "/picture.jpg\r\n";
  large += half;
  const std::string original = dir + "/large.txt";
  WriteFile(original, large);
  auto onLarge = [&](bool newOnly, size_t& linesAfter) {
    fs::copy_file(original, output, fs::copy_options::overwrite_existing);
    std::vector<std::string> argv{
        *cli,         "-q",     "--list",           "--append", "--types", "image", "--save-folder",
        dir + "/out", "--open", dir + "/page.html", base};
    if (newOnly) argv.insert(argv.begin() + 1, "--new-only");
    const bench::ChildRun run = bench::RunChild(argv, env, errors);
    linesAfter = bench::CountLines(output);
    return run;
  };
  const size_t before = bench::CountLines(original);
  size_t plainLines = 0, newLines = 0;
  double bestPlain = 1e9, bestNew = 1e9;
  for (int round = 0; round < 3; ++round) {
    const bench::ChildRun plain = onLarge(false, plainLines);
    const bench::ChildRun fresh = onLarge(true, newLines);
    if (plain.status != 0 || fresh.status != 0) {
      std::fprintf(stderr, "parallel_bench: a run on the large file failed\n%s",
                   bench::Contents(errors).c_str());
      return 1;
    }
    bestPlain = std::min(bestPlain, plain.wall);
    bestNew = std::min(bestNew, fresh.wall);
  }
  std::printf(
      "%.0f MB output, %d-link page: without --new-only %.3f s (%zu lines added), "
      "with --new-only %.3f s (%zu lines added), %.3f s more\n",
      large.size() / 1048576.0, links, bestPlain, plainLines - before, bestNew, newLines - before,
      bestNew - bestPlain);
  if (plainLines - before != static_cast<size_t>(links) ||
      newLines - before != static_cast<size_t>(links / 2)) {
    std::fprintf(stderr, "parallel_bench: --new-only wrote the wrong lines\n");
    return 1;
  }
  return 0;
}
