#include "platform/windows/system_folders.h"

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform::win32 {

namespace {

std::string EnvironmentValue(const wchar_t* name) {
  const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD written = ::GetEnvironmentVariableW(name, value.data(), n);
  if (written == 0 || written >= n) return {};
  value.resize(written);
  return Narrow(value);
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = Narrow(path);
  ::CoTaskMemFree(path);
  return folder;
}

std::string Folder(const wchar_t* variable, REFKNOWNFOLDERID id) {
  std::string folder = EnvironmentValue(variable);
  if (folder.empty()) folder = KnownFolder(id);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace

std::string UserProfileFolder() { return Folder(L"USERPROFILE", FOLDERID_Profile); }

std::string RoamingAppDataFolder() { return Folder(L"APPDATA", FOLDERID_RoamingAppData); }

}  // namespace platform::win32
