// Peak memory of vimbel-cli harvesting a local page that is one long link,
// against the link's own size: a link of any length should cost about two
// copies of itself and a few MB more, whatever its form.
//
//   build/long_link_bench [MEGABYTES]     (default 200)
//
// vimbel-cli is taken from the folder this program lives in; it runs in a
// folder of its own under the temporary folder, removed at the end.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs vimbel-cli with `args` in the environment `env` added to this one;
// the peak resident size of the child in KB, or -1 when it failed.
long PeakOfRun(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  std::vector<std::string> envStore(env);
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargs.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  if (megabytes <= 0) {
    std::fprintf(stderr, "usage: long_link_bench [MEGABYTES]\n");
    return 64;
  }
  const std::string program = (fs::path(argv[0]).parent_path() / "vimbel-cli").string();
  const fs::path dir = fs::temp_directory_path() / ("long_link_bench-" + std::to_string(getpid()));
  fs::create_directories(dir / "home");
  fs::create_directories(dir / "runtime");
  const std::vector<std::string> env = {
      "HOME=" + (dir / "home").string(), "XDG_CONFIG_HOME=" + (dir / "config").string(),
      "XDG_RUNTIME_DIR=" + (dir / "runtime").string(), "TMPDIR=" + (dir / "tmp").string()};

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
    const long peak =
        PeakOfRun(program,
                  {"--list", "--types", "image", "--save-folder", (dir / "home").string(), "--open",
                   page.string(), "http://example.com/gallery/"},
                  env);
    fs::remove(dir / "home" / "vimbel.txt");
    if (peak < 0) {
      std::printf("  %-28s  vimbel-cli failed\n", form.name);
      continue;
    }
    std::printf("  %-28s  %7ld MB  (%.2f times the link)\n", form.name, peak / 1024,
                static_cast<double>(peak) / 1024.0 / static_cast<double>(megabytes));
  }
  fs::remove_all(dir);
  return 0;
}
