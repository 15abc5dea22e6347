#include "bench/bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

std::optional<World> World::Make(const std::vector<std::string>& extra) {
  World world;
  world.m_dir = (fs::temp_directory_path() / "vimbel-bench-XXXXXX").string();
  if (!mkdtemp(world.m_dir.data())) {
    std::perror("mkdtemp");
    return std::nullopt;
  }
  std::error_code ec;
  for (const char* sub : {"home", "config", "runtime"})
    fs::create_directory(world.m_dir + "/" + sub, ec);
  for (const std::string& sub : extra) fs::create_directories(world.m_dir + "/" + sub, ec);
  world.m_env = {"HOME=" + world.m_dir + "/home", "XDG_CONFIG_HOME=" + world.m_dir + "/config",
                 "XDG_RUNTIME_DIR=" + world.m_dir + "/runtime", "no_proxy=*", "NO_PROXY=*"};
  return world;
}

World::World(World&& other) noexcept
    : m_dir(std::move(other.m_dir)), m_env(std::move(other.m_env)) {
  other.m_dir.clear();
}

World::~World() {
  if (m_dir.empty()) return;
  std::error_code ec;
  fs::remove_all(m_dir, ec);
}

void World::Enter() const {
  for (const std::string& pair : m_env) {
    const size_t eq = pair.find('=');
    setenv(pair.substr(0, eq).c_str(), pair.substr(eq + 1).c_str(), 1);
  }
}

std::optional<std::string> ProgramBeside(const char* self, const char* name) {
  const std::string path = (fs::canonical("/proc/self/exe").parent_path() / name).string();
  if (access(path.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s: %s is not built\n", self, path.c_str());
    return std::nullopt;
  }
  return path;
}

ChildRun RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& errors) {
  std::vector<std::string> argStore(argv);
  std::vector<char*> args;
  for (auto& a : argStore) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> envStore(env);
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!errors.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.user = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  run.system = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  run.peakKb = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace bench
