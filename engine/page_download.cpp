// The page download: one request for the page, dispatched on the answer's
// status, with the body read into the page scratch file.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/connect_failure_text.h"
#include "engine/credentials_address.h"
#include "engine/file_failure_text.h"
#include "engine/harvest_engine.h"
#include "engine/progress_text.h"
#include "platform/internet_session.h"
#include "platform/text_file.h"
#include "platform/decimal_text.h"
#include "platform/file_system.h"
#include "platform/win_types.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

namespace {

constexpr size_t kReadChunk = 1024;
// The byte count is shown at most this often while the page arrives, and
// always once at the end: drawing it after every small read made a harvest
// through the window several times slower than the harvest itself.
constexpr std::chrono::milliseconds kProgressInterval{50};

// A fixed text with one "%d" filled in.
std::string Formatted(const char* format, int value) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

int CHarvestEngine::DownloadPage(std::string& url, const std::string& scratchPath,
                                 int attempt) {
  using platform::MB_ICONERROR;
  using platform::MB_ICONWARNING;

  std::string why;
  platform::InternetSession session;
  bool sessionOpen = session.Open(texts::kUserAgent, &why);

  // Each attempt starts the page afresh; the file is the user's alone.
  platform::TextWriter page;
  if (!page.Open(scratchPath, platform::TextWriter::Mode::kCreate, true)) {
    ShowMessage(FileFailureText({FileFailure::kCannotCreate, scratchPath}), texts::kCaptionError,
                MB_ICONERROR);
    return 2;
  }
  if (!sessionOpen) {
    page.Close();
    ShowMessage(ConnectFailureText(platform::InternetFailure::kOther, why), texts::kCaptionError,
                MB_ICONERROR);
    return 2;
  }

  // The user may stop the run while the server is awaited and at each read.
  // A stopped run says nothing and leaves no page behind.
  bool stopped = false;
  auto stopRequested = [this, &stopped] { return stopped = stopped || StopRequested(); };
  session.SetStopCheck(stopRequested);

  SetStatusText(texts::kStatusConnecting);
  platform::InternetFailure cause = platform::InternetFailure::kNone;
  std::unique_ptr<platform::InternetRequest> request = session.OpenUrl(url, &why, &cause);
  if (!request) {
    session.Close();
    page.Close();
    if (stopped) {
      platform::RemoveFile(scratchPath);
      return 2;
    }
    ShowMessage(ConnectFailureText(cause, why), texts::kCaptionError, MB_ICONERROR);
    return 2;
  }

  // An answer without a status (ftp) is read like a 2xx answer.
  std::string statusText;
  bool hasStatus = request->QueryStatusCode(statusText);
  int status = hasStatus ? static_cast<int>(platform::LeadingDecimal(statusText)) : 200;

  if (status == 401 || status == 404 || status < 200 || status > 299) {
    // The connection is let go before anything waits for the user.
    request.reset();
    session.Close();
    page.Close();
    if (status == 401) {
      if (RunCredentialsPrompt() != platform::IDOK) return 2;
      url = AddressWithCredentials(url, m_settings.m_strUserId, m_settings.m_strPassword);
      return 0;
    }
    if (status == 404) {
      ShowMessage(std::string(texts::kNotFound) + "\n" + texts::kCheckAddress,
                  texts::kCaptionNotFound, MB_ICONERROR);
      return 2;
    }
    ShowMessage(Formatted(texts::kOtherStatusFormat, status),
                Formatted(texts::kCaptionStatusFormat, status), MB_ICONERROR);
    return 2;
  }

  SetStatusText(texts::kStatusReading);
  std::string lengthText;
  bool hasLength = request->QueryContentLength(lengthText);
  int64_t declared = hasLength ? platform::LeadingDecimal(lengthText) : 0;

  int64_t received = 0;
  bool readFailed = false;
  bool writeFailed = false;
  char buffer[kReadChunk];
  auto lastShown = std::chrono::steady_clock::now();
  bool countShown = true;
  for (;;) {
    if (stopRequested()) break;
    size_t n = request->Read(buffer, sizeof buffer);
    if (n == 0) {
      // The end of the body, or a transfer that broke off (reset, stall):
      // either way the read is over.
      readFailed = request->Failed();
      break;
    }
    if (!page.Write(buffer, n)) {
      writeFailed = true;
      break;
    }
    received += static_cast<int64_t>(n);
    countShown = false;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastShown >= kProgressInterval) {
      SetStatusText(FormatProgressText(received, hasLength, declared));
      lastShown = now;
      countShown = true;
    }
  }
  request.reset();
  session.Close();
  if (!page.Close()) writeFailed = true;
  if (stopped) {
    platform::RemoveFile(scratchPath);
    return 2;
  }
  if (!countShown) SetStatusText(FormatProgressText(received, hasLength, declared));
  if (writeFailed) {
    ShowMessage(FileFailureText({FileFailure::kCannotWrite, scratchPath}), texts::kCaptionError,
                MB_ICONERROR);
    return 2;
  }

  bool shortPage = readFailed || (hasLength && received != declared);
  if (!shortPage) return 1;
  if (attempt < m_settings.m_nTimes) return 0;
  ShowMessage(texts::kIncompleteRead, texts::kCaptionWarning, MB_ICONWARNING);
  m_lastOutcome = HarvestOutcome::kIncomplete;
  return 1;
}
