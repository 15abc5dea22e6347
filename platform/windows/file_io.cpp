#include "platform/file_io.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform::file_io {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The C runtime's descriptor over a Win32 handle, in binary mode: the text
// translation is the streams' own business.
int Descriptor(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

bool IsReparsePoint(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return !::GetFileInformationByHandle(handle, &info) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

int OpenForReading(const std::string& path) {
  // Without backup semantics a folder does not open, which refuses it.
  HANDLE h = ::CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return Descriptor(h, _O_RDONLY);
}

int OpenForWriting(const std::string& path, bool append, bool privateFile) {
  // The name Linux gives the standard output, for the terminal program's
  // output lines; binary, since the writer makes the CR LF itself.
  if (path == kStandardOutput) {
    const int fd = ::_dup(1);
    if (fd >= 0) ::_setmode(fd, _O_BINARY);
    return fd;
  }
  // An append goes at the end (the descriptor appends, and the sharing
  // keeps any other writer out); write access lets a failed one be cut back.
  const DWORD access = append ? FILE_WRITE_DATA | FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
  const DWORD disposition = append ? OPEN_ALWAYS : CREATE_ALWAYS;
  // A private scratch file is never reached through a planted link: the
  // link itself is opened, and refused.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | (privateFile ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = ::CreateFileW(win32::Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, disposition, flags, nullptr);
  if (h != INVALID_HANDLE_VALUE && privateFile && IsReparsePoint(h)) {
    ::CloseHandle(h);
    return -1;
  }
  return Descriptor(h, append ? _O_WRONLY | _O_APPEND : _O_WRONLY);
}

long long ReadSome(int fd, char* buffer, size_t size) {
  const unsigned count = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  return ::_read(fd, buffer, count);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const unsigned count =
        data.size() > 0x40000000u ? 0x40000000u : static_cast<unsigned>(data.size());
    const int n = ::_write(fd, data.data(), count);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool Close(int fd) { return ::_close(fd) == 0; }

long long ReadAt(int fd, char* buffer, size_t size, long long offset) {
  // An overlapped position reads there without moving the file's own.
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
  DWORD n = 0;
  const DWORD count = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!::ReadFile(h, buffer, count, &n, &at)) return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

long long CurrentOffset(int fd) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (::GetFileType(h) != FILE_TYPE_DISK) return -1;
  return ::_lseeki64(fd, 0, SEEK_CUR);
}

long long RegularFileSize(int fd) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                info.nFileSizeLow);
}

int Duplicate(int fd) {
  // Binary whatever the original's mode: the writer makes the CR LF itself.
  const int copy = ::_dup(fd);
  if (copy >= 0) ::_setmode(copy, _O_BINARY);
  return copy;
}

bool CutTo(int fd, long long size) { return ::_chsize_s(fd, size) == 0; }

namespace {

// Windows locks are mandatory: a lock on the file's bytes would keep a
// browser from reading the gallery. One byte far past any file's end is
// locked instead, which only the program's appenders ask for.
OVERLAPPED AppendLockByte() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  return at;
}

}  // namespace

AppendLock LockForAppend(int fd, const std::function<bool()>& keepWaiting) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  for (;;) {
    OVERLAPPED at = AppendLockByte();
    if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
      return AppendLock::kLocked;
    if (::GetLastError() != ERROR_LOCK_VIOLATION) return AppendLock::kUnavailable;
    // Polled rather than waited for: the wait must end when the user stops.
    if (!keepWaiting()) return AppendLock::kGivenUp;
    ::Sleep(10);
  }
}

// Explicitly: Windows lets go of a closed handle's locks only when it gets
// round to it.
void UnlockForAppend(int fd) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  OVERLAPPED at = AppendLockByte();
  ::UnlockFileEx(h, 0, 1, 0, &at);
}

LoadResult LoadWholeFile(const std::string& path, size_t maxSize, std::string& content) {
  content.clear();
  HANDLE h = ::CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? LoadResult::kMissing
                                                                          : LoadResult::kFailed;
  }
  LARGE_INTEGER size;
  bool ok = ::GetFileSizeEx(h, &size) && static_cast<unsigned long long>(size.QuadPart) <= maxSize;
  size_t done = 0;
  if (ok) content.resize(static_cast<size_t>(size.QuadPart));
  while (ok) {
    if (done == content.size()) content.resize(done + 4096);  // it may have grown
    DWORD n = 0;
    ok = ::ReadFile(h, content.data() + done, static_cast<DWORD>(content.size() - done), &n,
                    nullptr);
    if (!ok || n == 0) break;
    done += n;
    ok = done <= maxSize;
  }
  ::CloseHandle(h);
  content.resize(ok ? done : 0);
  return ok ? LoadResult::kLoaded : LoadResult::kFailed;
}

bool ReplaceWholeFile(const std::string& path, std::string_view content) {
  std::wstring target = win32::Widen(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // Write through a link to the file it names, not over the link.
    HANDLE h = ::CreateFileW(target.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    wchar_t final[MAX_PATH * 4];
    const DWORD n = ::GetFinalPathNameByHandleW(h, final, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    ::CloseHandle(h);
    if (n == 0 || n >= MAX_PATH * 4) return false;
    target.assign(final, n);
  }

  static std::atomic<unsigned> counter{0};
  const std::wstring temp = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(counter++) + L".tmp";
  HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !content.empty()) {
    DWORD n = 0;
    ok = ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &n, nullptr) && n > 0;
    content.remove_prefix(n);
  }
  if (ok) ok = ::FlushFileBuffers(h);
  if (!::CloseHandle(h)) ok = false;
  // An existing file keeps its security and attributes through ReplaceFile.
  if (ok && exists)
    ok = ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                        nullptr, nullptr);
  else if (ok)
    ok = ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}

ExclusiveLock::ExclusiveLock(const std::string& path) {
  const HANDLE h = ::CreateFileW(win32::Widen(path + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                 kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  OVERLAPPED whole{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
    ::CloseHandle(h);
    return;
  }
  m_handle = reinterpret_cast<intptr_t>(h);
}

ExclusiveLock::~ExclusiveLock() {
  if (m_handle == -1) return;
  const HANDLE h = reinterpret_cast<HANDLE>(m_handle);
  OVERLAPPED whole{};
  ::UnlockFileEx(h, 0, 1, 0, &whole);
  ::CloseHandle(h);
}

}  // namespace platform::file_io
