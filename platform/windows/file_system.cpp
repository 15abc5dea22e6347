#include "platform/file_system.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/windows/system_folders.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

namespace {

using win32::Narrow;
using win32::Widen;

void SetWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = n ? Narrow(std::wstring_view(text, n)) : "error " + std::to_string(error);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

std::optional<std::string> FullPath(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::nullopt;
  std::wstring full(n, L'\0');
  const DWORD written = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) return std::nullopt;
  full.resize(written);
  return Narrow(full);
}

}  // namespace

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::optional<std::string> TempFolder(std::string* why) {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) {
    SetWhy(why, "GetTempPathW: " + SystemMessage(::GetLastError()));
    return std::nullopt;
  }
  std::string folder = Narrow(std::wstring_view(buffer, n));
  if (!IsDirectory(folder)) {
    SetWhy(why, folder + ": is not a folder");
    return std::nullopt;
  }
  if (!IsPathSeparator(folder.back())) folder += '\\';
  return folder;
}

int OpenOwnFileToAppend(const std::string& path) {
  // Write access as well as append, so that a failed append can be cut
  // back; every write still goes at the end (the descriptor appends, and
  // other runs that share the file wait for the append lock). Reading too,
  // when the file allows it, so that a line left unfinished can be seen.
  const std::wstring wide = Widen(path);
  HANDLE h = INVALID_HANDLE_VALUE;
  for (const DWORD read : {DWORD{FILE_READ_DATA}, DWORD{0}}) {
    h = ::CreateFileW(wide.c_str(), FILE_WRITE_DATA | FILE_APPEND_DATA | SYNCHRONIZE | read,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return -1;
  }
  // A device (NUL, CON, a pipe) or a folder is no file to append to.
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(h);
    errno = EINVAL;
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
  if (fd < 0) ::CloseHandle(h);
  return fd;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, bool* toFailed) {
  if (toFailed) *toFailed = false;
  if (IsDirectory(from)) return false;
  if (::CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE)) return true;
  if (toFailed) {
    // CopyFileW does not say which side failed: a full disk is the copy's,
    // and so is any failure while the original still opens for reading.
    const DWORD error = ::GetLastError();
    const HANDLE source = ::CreateFileW(Widen(from).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *toFailed = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
                source != INVALID_HANDLE_VALUE;
    if (source != INVALID_HANDLE_VALUE) ::CloseHandle(source);
  }
  return false;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(Widen(path).c_str()) != 0; }

bool FileExists(const std::string& path) {
  return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool MakeParentFolders(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  if (end == 0) return true;
  const std::string folder = path.substr(0, end - 1);
  if (folder.empty() || IsDirectory(folder + "\\")) return true;
  // Each missing folder on the way, from the top down; the drive or share
  // at the top exists or nothing can be made.
  for (size_t pos = 0; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && !IsPathSeparator(folder[pos])) continue;
    const std::string part = folder.substr(0, pos);
    if (part.empty() || part.back() == ':' || IsDirectory(part + "\\")) continue;
    if (!::CreateDirectoryW(Widen(part).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return IsDirectory(folder);
}

std::optional<std::string> CanonicalExistingPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::optional<std::string> full = FullPath(path);
  if (!full || !FileExists(*full)) return std::nullopt;
  // "C:\" keeps its separator; any other folder loses it.
  while (full->size() > 3 && IsPathSeparator(full->back())) full->pop_back();
  return full;
}

std::string HomeFolder() {
  std::string home = win32::UserProfileFolder();
  if (home.empty() || !IsPathSeparator(home.back())) home.push_back('\\');
  return home;
}

std::optional<std::string> FindFirstFile(const std::string& pattern) {
  if (pattern.empty() || IsPathSeparator(pattern.back())) return std::nullopt;
  size_t end = pattern.size();
  while (end > 0 && !IsPathSeparator(pattern[end - 1]) && pattern[end - 1] != ':') --end;
  std::optional<std::string> folder =
      FullPath(end == 0 ? std::string(".\\") : pattern.substr(0, end));
  if (!folder) return std::nullopt;
  if (!IsPathSeparator(folder->back())) *folder += '\\';

  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW(Widen(*folder + pattern.substr(end)).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> first;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") first = *folder + Narrow(name);
  } while (!first && ::FindNextFileW(find, &found));
  ::FindClose(find);
  return first;
}

}  // namespace platform
