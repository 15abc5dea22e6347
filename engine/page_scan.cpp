#include "engine/page_scan.h"

#include <string_view>

#include "engine/anchor_scanner.h"
#include "platform/byte_reader.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "resources/texts.h"

std::string ScratchName(const std::string& fixedName, const std::string& tag) {
  size_t at = fixedName.rfind(".tmp");
  if (at == std::string::npos) at = fixedName.size();
  // "#name#.tmp" keeps its closing "#" after the tag.
  if (at > 0 && fixedName[at - 1] == '#') --at;
  std::string name = fixedName;
  return name.insert(at, tag);
}

std::optional<std::string> LinkListPath(const std::string& tag) {
  std::optional<std::string> folder = platform::TempFolder();
  if (!folder) return std::nullopt;
  return *folder + ScratchName(texts::kLinkScratchName, tag);
}

std::optional<std::string> ResolvedListPath(const std::string& tag) {
  std::optional<std::string> folder = platform::TempFolder();
  if (!folder) return std::nullopt;
  return *folder + ScratchName(texts::kResolvedScratchName, tag);
}

FileFailure ScanPageFile(const std::string& pagePath, const std::string& linkPath, bool mapPage) {
  platform::ByteReader page;
  if (!page.Open(pagePath, mapPage)) return {FileFailure::kCannotRead, pagePath};
  platform::TextWriter links;
  if (!links.Open(linkPath, platform::TextWriter::Mode::kCreate, true))
    return {FileFailure::kCannotCreate, linkPath};

  // The stored bytes go to the scanner as they are; it sees them in text
  // mode itself, which spares a pass that would only drop CRs.
  AnchorScanner scanner;
  std::string found;
  bool more = true;
  for (std::string_view block; more && !(block = page.Next()).empty();) {
    found.clear();
    more = scanner.FeedStored(block.data(), block.size(), found);
    if (!found.empty() && !links.Write(found)) break;
  }
  found.clear();
  scanner.EndStored(found);
  if (!found.empty()) links.Write(found);
  page.Close();
  bool written = links.Close();
  if (page.Failed()) {
    platform::RemoveFile(linkPath);
    return {FileFailure::kCannotRead, pagePath};
  }
  if (!written) {
    platform::RemoveFile(linkPath);
    return {FileFailure::kCannotCreate, linkPath};
  }
  return {};
}

FileFailure MakeLinkList(const std::string& pagePath, std::string& linkPath,
                         const std::string& tag) {
  std::optional<std::string> path = LinkListPath(tag);
  if (!path) return {FileFailure::kCannotCreate, ScratchName(texts::kLinkScratchName, tag)};
  linkPath = *path;
  return ScanPageFile(pagePath, linkPath);
}

FileFailure ScanAnchorLinks(CHarvestEngine& engine, const std::string& pagePath) {
  std::string linkPath;
  if (FileFailure failure = MakeLinkList(pagePath, linkPath)) return failure;
  return engine.WriteLinkList(linkPath);
}
