#pragma once
// What the benchmark programs share: a private world for the programs they
// run, and running one of them with its times and peak memory.
#include <optional>
#include <string>
#include <vector>

namespace bench {

// A folder of its own under the temporary folder, with the variables that
// put a run's profile, scratch folder and home into it. Removed when it goes.
class World {
 public:
  // Makes the folder with `home`, `config` and `runtime` in it, plus the
  // folders named in `extra`; nullopt (and a message) when it cannot.
  static std::optional<World> Make(const std::vector<std::string>& extra = {});
  World(World&& other) noexcept;
  World(const World&) = delete;
  World& operator=(const World&) = delete;
  ~World();

  const std::string& Dir() const { return m_dir; }
  // NAME=VALUE pairs for HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and no
  // proxy, to add to a child's environment.
  const std::vector<std::string>& Env() const { return m_env; }
  // The same put into this process's own environment.
  void Enter() const;

 private:
  World() = default;
  std::string m_dir;
  std::vector<std::string> m_env;
};

// The program `name` in the folder this benchmark lives in; nullopt (and a
// message naming `self`) when it is not built.
std::optional<std::string> ProgramBeside(const char* self, const char* name);

struct ChildRun {
  double wall = 0, user = 0, system = 0;  // seconds
  long peakKb = 0;
  int status = -1;  // the exit status; -1 when it did not start or was killed
};

// Runs argv (found on PATH) with `env` added to this environment and its
// standard input from /dev/null. Its standard output goes to /dev/null and
// its standard error to the file `errors`; with `errors` empty both stay
// this program's.
ChildRun RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& errors = "");

// Lines in a file, by LF.
size_t CountLines(const std::string& path);
// A whole file, for messages.
std::string Contents(const std::string& path);

}  // namespace bench
