// The two readings of a page side by side, in one run on one generated
// gallery page, harvested from a local file:
//
//   vimbel-cli --classic --open PAGE BASE/                 the exact reading
//   vimbel-cli --as-browser --embedded --open PAGE BASE/   browser reading
//
//   build/reading_bench [MEGABYTES] [ROUNDS]     (default 64 MB, 5 rounds)
//
// Each round runs both, one after the other, so that a busy machine slows
// them alike; the medians of wall time, processor time and the peak memory
// are shown, then their ratio. vimbel-cli is taken from the folder this
// program lives in.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/gallery_page.h"

namespace {

namespace fs = std::filesystem;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
  const char* name;
  std::vector<bench::ChildRun> samples;
  size_t lines = 0;

  double Pick(double bench::ChildRun::*field) const {
    std::vector<double> values;
    for (const bench::ChildRun& s : samples) values.push_back(s.*field);
    return Median(values);
  }
  long Peak() const {
    long peak = 0;
    for (const bench::ChildRun& s : samples) peak = std::max(peak, s.peakKb);
    return peak;
  }
  void Print() const {
    std::printf("  %-22s %8.3f s   user %6.3f s  kernel %6.3f s   peak %7ld KB   %zu lines\n", name,
                Pick(&bench::ChildRun::wall), Pick(&bench::ChildRun::user),
                Pick(&bench::ChildRun::system), Peak(), lines);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (megabytes == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: reading_bench [MEGABYTES] [ROUNDS]\n");
    return 64;
  }
  const std::optional<std::string> cli = bench::ProgramBeside("reading_bench", "vimbel-cli");
  if (!cli) return 1;
  std::optional<bench::World> world = bench::World::Make({"exact", "browser"});
  if (!world) return 1;
  const std::string& dir = world->Dir();
  const std::string pagePath = dir + "/page.html";
  // The page is made in a process of its own: one made here would count in
  // the peak memory the harvests report, since they start as copies of this
  // process.
  const pid_t maker = fork();
  if (maker == 0) {
    const std::string page = bench::GalleryPage().Make(megabytes << 20);
    std::ofstream out(pagePath, std::ios::binary);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    _exit(out.flush() ? 0 : 1);
  }
  int made = -1;
  if (maker < 0 || waitpid(maker, &made, 0) != maker || !WIFEXITED(made) ||
      WEXITSTATUS(made) != 0) {
    std::fprintf(stderr, "reading_bench: cannot write %s\n", pagePath.c_str());
    return 1;
  }
  const std::string errors = dir + "/stderr.txt";
  auto harvest = [&](const char* folder, std::vector<std::string> reading) {
    std::vector<std::string> args = {*cli,    "--list",        "--append",        "--types",
                                     "image", "--save-folder", dir + "/" + folder};
    args.insert(args.end(), reading.begin(), reading.end());
    args.insert(args.end(), {"--open", pagePath, "http://example.com/gallery/"});
    return args;
  };
  Series exact{"exact reading", {}}, browser{"browser reading", {}};
  std::printf("page: %.1f MB\n", fs::file_size(pagePath) / 1048576.0);
  for (int round = 0; round < rounds; ++round) {
    for (Series* s : {&exact, &browser}) {
      const bool isBrowser = s == &browser;
      const std::string output = dir + (isBrowser ? "/browser" : "/exact") + "/vimbel.txt";
      fs::remove(output);
      s->samples.push_back(
          bench::RunChild(harvest(isBrowser ? "browser" : "exact",
                                  isBrowser ? std::vector<std::string>{"--as-browser", "--embedded"}
                                            : std::vector<std::string>{"--classic"}),
                          world->Env(), errors));
      s->lines = bench::CountLines(output);
      if (s->samples.back().status != 0 || s->lines == 0) {
        std::fprintf(stderr, "reading_bench: a run failed\n%s", bench::Contents(errors).c_str());
        return 1;
      }
    }
  }
  std::printf("medians of %d rounds:\n", rounds);
  exact.Print();
  browser.Print();
  std::printf("browser / exact: wall %.2f, processor %.2f, peak memory %.2f\n",
              browser.Pick(&bench::ChildRun::wall) / exact.Pick(&bench::ChildRun::wall),
              (browser.Pick(&bench::ChildRun::user) + browser.Pick(&bench::ChildRun::system)) /
                  (exact.Pick(&bench::ChildRun::user) + exact.Pick(&bench::ChildRun::system)),
              static_cast<double>(browser.Peak()) / static_cast<double>(exact.Peak()));
  return 0;
}
