#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/program_version.h"

namespace platform {

namespace {

std::string EnvValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

void SetWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// An absolute folder without ".", ".." or doubled separators, ending in "/".
// Dropping "x/.." by text alone is wrong when x is a symbolic link; then the
// folder the system itself reaches is taken.
std::string CleanFolder(const std::string& folder) {
  std::string clean = std::filesystem::path(folder).lexically_normal().string();
  if (clean.empty() || clean.back() != '/') clean += '/';
  if (clean == folder || SameFile(clean, folder)) return clean;
  if (char* real = ::realpath(folder.c_str(), nullptr)) {
    std::string resolved = real;
    std::free(real);
    if (resolved.back() != '/') resolved += '/';
    return resolved;
  }
  return clean;
}

// The folder of `path`'s last component ("." when it has none), and the
// component itself.
std::pair<std::string, std::string> SplitLastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The text of the symbolic link open (O_PATH) as `link`.
std::optional<std::string> LinkText(int link) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlinkat(link, "", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

// Opens `name` in the folder `dir` to append, without following a link in
// it (ELOOP then). Write-only when the file cannot be read.
int OpenEntryToAppend(int dir, const std::string& name) {
  // What is plainly not a regular file is not even opened: opening a
  // device can do things of its own.
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISLNK(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  constexpr int kFlags = O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(dir, name.c_str(), O_RDWR | kFlags, 0666);
  if (fd < 0 && errno == EACCES) fd = ::openat(dir, name.c_str(), O_WRONLY | kFlags, 0666);
  return fd;
}

// The rest of `in` onto the end of `out` with read and write, for what the
// kernel's own copy refuses.
bool CopyByReading(int in, int out, bool& writeFailed) {
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        writeFailed = true;
        return false;
      }
      done += w;
    }
  }
}

// Copies `in` from its current offset to `out`. The kernel copies within
// itself where it can (no trip through this process, and a file system may
// share the blocks); where it refuses the pair of files (other file systems,
// special files, an older kernel), what is left goes by read and write.
bool CopyContents(int in, int out, bool& writeFailed) {
#ifdef __linux__
  for (bool first = true;; first = false) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    // Nothing at all on the first call may also be a file that only shows
    // its contents to a read (those of /proc and /sys say they are empty).
    if (n == 0 && first) break;
    if (n == 0) return true;  // the end of `in`
    if (n > 0) continue;
    if (errno == EINTR) continue;
    // Refusals that leave both offsets where they were; anything else is a
    // failure of the copy itself (a full disk, an error reading).
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
        errno == EBADF || errno == EPERM || errno == ETXTBSY)
      break;
    writeFailed = errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
    return false;
  }
#endif
  return CopyByReading(in, out, writeFailed);
}

}  // namespace

std::optional<std::string> TempFolder(std::string* why) {
  std::string folder;
  std::string runtime = EnvValue("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime[0] == '/') {
    folder = runtime + "/" + kProgramName;
  } else {
    std::string tmp = EnvValue("TMPDIR");
    if (tmp.empty()) tmp = "/tmp";
    folder = tmp + "/" + kProgramName + "-" + std::to_string(::geteuid());
  }
  // "/tmp/" and "/tmp" name the same folder; so should the paths made here.
  std::string single;
  for (char c : folder)
    if (c != '/' || single.empty() || single.back() != '/') single.push_back(c);
  folder = single;

  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    SetWhy(why, folder + ": " + std::strerror(errno));
    return std::nullopt;
  }
  // Whatever stands there now must be our own plain folder: a link or a
  // folder of someone else could hand our scratch files to another user.
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) {
    SetWhy(why, folder + ": " + std::strerror(errno));
    return std::nullopt;
  }
  if (S_ISLNK(st.st_mode)) {
    SetWhy(why, folder + ": is a symbolic link");
    return std::nullopt;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetWhy(why, folder + ": is not a folder");
    return std::nullopt;
  }
  if (st.st_uid != ::geteuid()) {
    SetWhy(why, folder + ": is owned by another user");
    return std::nullopt;
  }
  if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
    SetWhy(why, folder + ": " + std::strerror(errno));
    return std::nullopt;
  }
  return folder + "/";
}

bool CopyFileReplacing(const std::string& from, const std::string& to, bool* toFailed) {
  bool writeFailed = false;
  if (!toFailed) toFailed = &writeFailed;
  *toFailed = false;
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return false;
  }
  // The copy is made for this user alone, whatever the original allows.
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (out < 0) {
    ::close(in);
    *toFailed = true;
    return false;
  }
  bool ok = ::fchmod(out, 0600) == 0;  // an older file there may have been open to others
  if (!ok) *toFailed = true;
  if (ok) ok = CopyContents(in, out, *toFailed);
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    *toFailed = true;
  }
  if (!ok) ::unlink(to.c_str());
  return ok;
}

int OpenOwnFileToAppend(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the kernel allows in one path
  auto [folder, name] = SplitLastComponent(path);
  int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  int fd = -1;
  int error = ELOOP;
  for (int hop = 0; dir >= 0 && hop <= kMaxLinks; ++hop) {
    fd = OpenEntryToAppend(dir, name);
    if (fd >= 0 || errno != ELOOP) {
      error = errno;
      break;
    }
    // A link: the text of this very link is what gets followed, so it
    // cannot be swapped between the owner test and the next step.
    const int link = ::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (link < 0 || ::fstat(link, &st) != 0) {
      error = errno;
      if (link >= 0) ::close(link);
      break;
    }
    std::optional<std::string> target;
    if (S_ISLNK(st.st_mode) && st.st_uid == ::geteuid()) target = LinkText(link);
    ::close(link);
    if (!S_ISLNK(st.st_mode)) continue;  // replaced meanwhile: look again
    if (!target || target->empty()) {
      error = target ? ENOENT : EACCES;
      break;
    }
    auto [targetFolder, targetName] = SplitLastComponent(*target);
    // Relative to the link's own folder, as the kernel reads it.
    const int next = ::openat(dir, targetFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ::close(dir);
    dir = next;
    name = targetName;
  }
  if (dir < 0 && fd < 0 && error == ELOOP) error = errno;
  if (dir >= 0) ::close(dir);
  if (fd < 0) {
    errno = error;
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Raced in after the first look; still nothing has been written.
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool MakeParentFolders(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string folder = path.substr(0, slash);
  for (size_t pos = 1; pos != std::string::npos;) {
    pos = folder.find('/', pos + 1);
    std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(folder);
}

std::optional<std::string> CanonicalExistingPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string out = resolved;
  std::free(resolved);
  return out;
}

std::string HomeFolder() {
  std::string home = EnvValue("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  if (home.empty() || home.back() != '/') home.push_back('/');
  return home;
}

std::optional<std::string> FindFirstFile(const std::string& pattern) {
  if (pattern.empty()) return std::nullopt;
  std::string folder, name;
  size_t slash = pattern.rfind('/');
  if (slash == std::string::npos) {
    name = pattern;
  } else {
    folder = pattern.substr(0, slash + 1);
    name = pattern.substr(slash + 1);
  }
  if (folder.empty() || folder[0] != '/') {
    std::vector<char> cwd(4096);
    while (!::getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return std::nullopt;
      cwd.resize(cwd.size() * 2);
    }
    std::string base = cwd.data();
    if (base.back() != '/') base += '/';
    folder = base + folder;
  }
  if (name.empty()) return std::nullopt;
  folder = CleanFolder(folder);

  // A name that exists is the file meant, whatever it holds; only "*" and
  // "?" are wildcards, as on Windows, so "photo[1].html" is never a set.
  if (FileExists(folder + name)) return folder + name;
  if (name.find_first_of("*?") == std::string::npos) return std::nullopt;
  std::string glob;
  for (const char c : name) {
    if (c == '[' || c == '\\') glob += '\\';
    glob += c;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  // Directory order is arbitrary here; the smallest name makes "first"
  // the same on every run.
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (::fnmatch(glob.c_str(), entry->d_name, 0) != 0) continue;
    if (!best || std::strcmp(entry->d_name, best->c_str()) < 0) best = entry->d_name;
  }
  ::closedir(dir);
  if (!best) return std::nullopt;
  return folder + *best;
}

}  // namespace platform
