// The local page: copied to the page scratch file by the system while the
// page itself is scanned on this thread, so that the run pays for the longer
// of the two rather than for both.
#include <optional>
#include <string>

#include "engine/harvest_engine.h"
#include "engine/page_scan.h"
#include "engine/side_task.h"
#include "platform/file_system.h"
#include "settings/harvest_settings.h"

bool CHarvestEngine::CopyLocalPage(const std::string& pagePath) {
  const std::string& source = m_strSourceFile;
  // A full scratch folder is no fault of the user's page: the message names
  // the file that could not be written.
  bool scratchFailed = false;
  auto failed = [&] {
    ShowError(FileFailureText(scratchFailed ? FileFailure{FileFailure::kCannotWrite, pagePath}
                                            : FileFailure{FileFailure::kCannotRead, source}));
    return false;
  };
  // A pipe or a device gives its bytes once, to one reader: it is copied,
  // and the copy scanned after.
  const std::optional<std::string> linkPath = LinkListPath(m_strScratchTag);
  if (!linkPath || !platform::IsRegularFile(source))
    return platform::CopyFileReplacing(source, pagePath, &scratchFailed) || failed();

  bool copied = false;
  // The copy is only read where the scan fails: it takes what the scan and
  // the resolving leave of the processor.
  SideTask copier([&] { copied = platform::CopyFileReplacing(source, pagePath, &scratchFailed); },
                  platform::ThreadWeight::kBackground);
  // The user's file may change under the run, so it is read, never mapped.
  const FileFailure scan = m_settings.m_bBrowser == 1
                               ? ScanAsBrowser(source, false, false, *linkPath)
                               : ScanPageFile(source, *linkPath, false);
  copier.Wait();
  // Where the scan failed, the copy is scanned as it would have been, and
  // any failure reported as it would have been.
  if (copied && !scan) m_scannedLinkList = *linkPath;
  if (!copied || scan) {
    platform::RemoveFile(*linkPath);
    if (!m_resolvedLinkList.empty()) platform::RemoveFile(m_resolvedLinkList);
    m_resolvedLinkList.clear();
  }
  return copied || failed();
}
