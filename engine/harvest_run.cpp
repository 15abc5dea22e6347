// The start button and the harvest run it starts.
#include <optional>
#include <string>

#include "engine/browser_page_scan.h"
#include "engine/harvest_engine.h"
#include "engine/page_address.h"
#include "engine/page_scan.h"
#include "engine/side_task.h"
#include "platform/file_system.h"
#include "platform/scratch_files.h"
#include "platform/win_types.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

namespace {

using texts::kLinkScratchName;
using texts::kPageScratchName;
using texts::kResolvedScratchName;
using texts::kStatusIdle;

}  // namespace

void CHarvestEngine::OnOK() { StartHarvest(GetAddressText()); }

void CHarvestEngine::StartHarvest(const std::string& fieldText) {
  const std::string address = TrimmedAddress(fieldText);
  if (address.empty()) {
    m_lastOutcome = HarvestOutcome::kNotRun;
    ShowError(texts::kNoAddress);
    return;
  }
  // With a local page the field holds the base address, which must name a
  // directory.
  if (!m_strSourceFile.empty() && address.back() != '/') {
    m_lastOutcome = HarvestOutcome::kNotRun;
    ShowError(texts::kBadBaseAddress);
    return;
  }
  RunHarvest(address);
}

void CHarvestEngine::RunHarvest(const std::string& address) {
  m_lastOutcome = HarvestOutcome::kStopped;
  m_scannedLinkList.clear();
  m_resolvedLinkList.clear();
  auto stop = [this] {
    m_lastOutcome = HarvestOutcome::kStopped;
    SetStatusText(kStatusIdle);
  };

  std::string why;
  std::optional<std::string> folder = platform::TempFolder(&why);
  if (!folder) {
    ShowError(std::string(texts::kCannotCreateFile) + "\n" + why);
    stop();
    return;
  }
  const std::string pagePath = *folder + ScratchName(kPageScratchName, m_strScratchTag);
  // No scratch file outlives the run, however it ends: a stop, a full disk,
  // or a signal that ends a terminal run.
  const platform::ScratchFiles scratch(
      {pagePath, *folder + ScratchName(kLinkScratchName, m_strScratchTag),
       *folder + ScratchName(kResolvedScratchName, m_strScratchTag)});

  const bool downloaded = m_strSourceFile.empty();
  if (!downloaded) {
    m_strBaseUrl = BaseAddressOf(address);  // the whole address: it ends in "/"
    // A local page is read as if it stood at the base address given for it.
    m_documentUrl = address;
    if (!CopyLocalPage(pagePath)) {  // it has said which file failed
      stop();
      return;
    }
  } else {
    m_strBaseUrl = BaseAddressOf(address);
    // Only the request address ever carries credentials; the base address,
    // which names the output file and resolves links, never does.
    std::string request = address;
    DownloadResult result = kDownloadAgain;
    for (int attempt = 0; result == kDownloadAgain; ++attempt)
      result = DownloadPage(request, pagePath, attempt);
    if (result != kDownloadGoOn) {
      stop();
      return;
    }
    // Relative links are relative to where the page was read from, which
    // redirects may have moved away from the typed address.
    m_strBaseUrl = BaseAddressOf(request);
    m_documentUrl = WithoutUserInfo(request);
  }

  // A page was scanned as it arrived or while it was copied, where it could be.
  std::string linkPath = m_scannedLinkList;
  FileFailure failure;
  if (linkPath.empty())
    failure = m_settings.m_bBrowser == 1 ? MakeBrowserLinkList(pagePath, downloaded, linkPath)
                                         : MakeLinkList(pagePath, linkPath, m_strScratchTag);
  if (!failure) {
    // The page is not read again. Letting go of a large one keeps the file
    // system busy a while, which it may be while the links are written.
    SideTask removal([&pagePath] { platform::RemoveFile(pagePath); });
    WaitForTurnToWrite();
    failure = WriteLinkList(linkPath);
  }
  if (failure) {
    if (failure.kind != FileFailure::kStopped) ShowError(FileFailureText(failure));
    stop();
    return;
  }

  bool incomplete = m_lastOutcome == HarvestOutcome::kIncomplete;
  m_lastOutcome = incomplete ? HarvestOutcome::kIncomplete : HarvestOutcome::kCompleted;
  ShowMessage(texts::kDone, texts::kCaptionDone, platform::MB_OK);
  SetStatusText(kStatusIdle);
}

FileFailure CHarvestEngine::MakeBrowserLinkList(const std::string& pagePath, bool downloaded,
                                                std::string& linkPath) {
  const std::optional<std::string> path = LinkListPath(m_strScratchTag);
  if (!path) return {FileFailure::kCannotCreate, texts::kLinkScratchName};
  linkPath = *path;
  // A downloaded page is stored as a text-mode write leaves it; read back
  // so, it is the bytes the server sent.
  return ScanAsBrowser(pagePath, downloaded, true, linkPath);
}

FileFailure CHarvestEngine::ScanAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                                          const std::string& linkPath) {
  BrowserPage page;
  m_resolvedLinkList.clear();
  const std::optional<std::string> resolvedPath = ResolvedListPath(m_strScratchTag);
  std::optional<ResolveAlongside> alongside;
  if (resolvedPath) alongside.emplace(ResolveAlongside{m_settings, m_documentUrl, *resolvedPath});
  const FileFailure failure = ScanPageAsBrowser(
      pagePath, textMode, mapPage, m_strSourceFile.empty() ? m_pageContentType : std::string(),
      m_settings.m_bEmbedded == 1, linkPath, page, alongside ? &*alongside : nullptr);
  m_baseHref = std::move(page.baseHref);
  m_documentEncoding = std::move(page.encoding);
  if (!failure && page.resolved) m_resolvedLinkList = *resolvedPath;
  return failure;
}
