// What Explorer and Windows read from the programs themselves: the icon,
// the version resource and the manifest, all from the project's one name
// and version.
#include <gtest/gtest.h>

#include <string>

#include "platform/program_version.h"
#include "platform/windows/wide_text.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

// "1.03" as Windows numbers it: 1.3.0.0.
std::string FourPartVersion() {
  const std::string version = VIMBEL_PROGRAM_VERSION;
  const size_t dot = version.find('.');
  return std::to_string(std::stoi(version.substr(0, dot))) + "." +
         std::to_string(std::stoi(version.substr(dot + 1))) + ".0.0";
}

std::string VersionString(const std::string& path, const wchar_t* name) {
  const std::wstring file = Widen(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::string info(size, '\0');
  if (size == 0 || !::GetFileVersionInfoW(file.c_str(), 0, size, info.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
  if (!::VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return {};
  return Narrow(std::wstring_view(static_cast<const wchar_t*>(value), length - 1));
}

TEST(WindowsPrograms, EachCarriesTheIconTheVersionAndTheManifest) {
  for (const std::string path : {VIMBEL_EXE_PATH, VIMBEL_CLI_EXE_PATH}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(VersionString(path, L"ProductVersion"), VIMBEL_PROGRAM_VERSION);
    EXPECT_EQ(VersionString(path, L"ProductName"), VIMBEL_PROGRAM_NAME);

    HMODULE module = ::LoadLibraryExW(Widen(path).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(128), RT_GROUP_ICON), nullptr) << "icon 128";
    HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const auto* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
    const std::string xml(text, ::SizeofResource(module, manifest));
    EXPECT_NE(xml.find("version=\"" + FourPartVersion() + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(xml.find("PerMonitorV2"), std::string::npos);
    ::FreeLibrary(module);
  }
}

}  // namespace
