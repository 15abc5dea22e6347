// The start button and the harvest run it starts.
#include <optional>
#include <string>

#include "engine/base_address.h"
#include "engine/file_failure_text.h"
#include "engine/harvest_engine.h"
#include "platform/file_system.h"
#include "platform/win_types.h"
#include "resources/texts.h"

namespace {

using texts::kLinkScratchName;
using texts::kPageScratchName;
using texts::kStatusIdle;

}  // namespace

void CHarvestEngine::OnOK() {
  std::string address = TrimmedAddress(GetAddressText());
  if (address.empty()) {
    m_lastOutcome = HarvestOutcome::kNotRun;
    ShowMessage(texts::kNoAddress, texts::kCaptionError, platform::MB_ICONERROR);
    return;
  }
  // With a local page the field holds the base address, which must name a
  // directory.
  if (!m_strSourceFile.empty() && address.back() != '/') {
    m_lastOutcome = HarvestOutcome::kNotRun;
    ShowMessage(texts::kBadBaseAddress, texts::kCaptionError, platform::MB_ICONERROR);
    return;
  }
  RunHarvest();
}

void CHarvestEngine::RunHarvest() {
  m_lastOutcome = HarvestOutcome::kStopped;
  auto stop = [this] {
    m_lastOutcome = HarvestOutcome::kStopped;
    SetStatusText(kStatusIdle);
  };

  std::string why;
  std::optional<std::string> folder = platform::TempFolder(&why);
  if (!folder) {
    ShowMessage(std::string(texts::kCannotCreateFile) + "\n" + why, texts::kCaptionError,
                platform::MB_ICONERROR);
    stop();
    return;
  }
  const std::string pagePath = *folder + kPageScratchName;

  if (!m_strSourceFile.empty()) {
    m_strBaseUrl = BaseAddressOf(TrimmedAddress(GetAddressText()));  // the whole text: it ends in "/"
    if (!platform::CopyFileReplacing(m_strSourceFile, pagePath)) {
      // Whatever a broken copy left behind is not this page.
      platform::RemoveFile(pagePath);
      ShowMessage(FileFailureText({FileFailure::kCannotRead, m_strSourceFile}), texts::kCaptionError,
                  platform::MB_ICONERROR);
      stop();
      return;
    }
  } else {
    std::string address = TrimmedAddress(GetAddressText());
    m_strBaseUrl = BaseAddressOf(address);
    // Only the request address ever carries credentials; the base address,
    // which names the output file and resolves links, never does.
    std::string request = address;
    int result = 0;
    for (int attempt = 0; result == 0; ++attempt)
      result = DownloadPage(request, pagePath, attempt);
    if (result != 1) {
      stop();
      return;
    }
  }

  if (FileFailure failure = ScanAnchorLinks(pagePath)) {
    ShowMessage(FileFailureText(failure), texts::kCaptionError, platform::MB_ICONERROR);
    platform::RemoveFile(pagePath);
    platform::RemoveFile(*folder + kLinkScratchName);
    stop();
    return;
  }

  bool incomplete = m_lastOutcome == HarvestOutcome::kIncomplete;
  m_lastOutcome = incomplete ? HarvestOutcome::kIncomplete : HarvestOutcome::kCompleted;
  ShowMessage(texts::kDone, texts::kCaptionDone, platform::MB_OK);
  platform::RemoveFile(pagePath);
  SetStatusText(kStatusIdle);
}
