// Peak memory of vimbel-cli harvesting a local page that is one long link,
// against the link's own size: a link of any length should cost about two
// copies of itself and a few MB more, whatever its form.
//
//   build/long_link_bench [MEGABYTES]     (default 200)
//
// vimbel-cli is taken from the folder this program lives in; it runs in a
// folder of its own under the temporary folder, removed at the end.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  if (megabytes <= 0) {
    std::fprintf(stderr, "usage: long_link_bench [MEGABYTES]\n");
    return 64;
  }
  const std::optional<std::string> program = bench::ProgramBeside("long_link_bench", "vimbel-cli");
  if (!program) return 1;
  std::optional<bench::World> world = bench::World::Make();
  if (!world) return 1;
  const fs::path dir = world->Dir();
  const std::vector<std::string>& env = world->Env();

  struct Form {
    const char* name;
    std::string head;  // the link's start; a long run of letters follows
  };
  const Form forms[] = {
      {"relative", "pics/"},
      {"relative, with dot segments", "./a/../pics/"},
      {"absolute", "http://elsewhere/pics/"},
  };
  const size_t length = static_cast<size_t>(megabytes) << 20;
  const std::string run(1 << 20, 'p');
  std::printf("link of %ld MB, list output; peak resident size of vimbel-cli\n", megabytes);
  for (const Form& form : forms) {
    const fs::path page = dir / "page.html";
    {
      std::ofstream out(page, std::ios::binary);
      out << "<html><body><a href=\"" << form.head;
      for (size_t done = form.head.size(); done < length; done += run.size()) out << run;
      out << ".jpg\">x</a></body></html>\n";
    }
    const bench::ChildRun run = bench::RunChild(
        {*program, "--list", "--types", "image", "--save-folder", (dir / "home").string(), "--open",
         page.string(), "http://example.com/gallery/"},
        env);
    const long peak = run.status == 0 ? run.peakKb : -1;
    fs::remove(dir / "home" / "vimbel.txt");
    if (peak < 0) {
      std::printf("  %-28s  vimbel-cli failed\n", form.name);
      continue;
    }
    std::printf("  %-28s  %7ld MB  (%.2f times the link)\n", form.name, peak / 1024,
                static_cast<double>(peak) / 1024.0 / static_cast<double>(megabytes));
  }
  return 0;
}
