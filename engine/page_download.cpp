// The page download: one request for the page, dispatched on the answer's
// status, with the body read into the page scratch file.
#include "engine/page_download.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "engine/block_pipe.h"
#include "engine/download_scan.h"
#include "engine/harvest_engine.h"
#include "engine/page_address.h"
#include "engine/page_scan.h"
#include "platform/decimal_text.h"
#include "platform/file_system.h"
#include "platform/internet_session.h"
#include "platform/text_file.h"
#include "platform/win_types.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

namespace {

constexpr size_t kReadChunk = 1024;
// The byte count is shown at most this often while the page arrives, and
// always once at the end: drawn after every small read, it would keep the
// window busier than the harvest itself.
constexpr std::chrono::milliseconds kProgressInterval{50};

// A fixed text with its one "%d" filled in with the answer's status.
std::string FormatWithStatus(const char* format, int status) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, status);
  return buffer;
}

}  // namespace

std::string FormatProgressText(int64_t received, bool hasDeclared, int64_t declared) {
  std::string text = std::to_string(received);
  text += " ﾊﾞｲﾄ";
  // A declared length of 0 (or a nonsensical negative one) gives no
  // percentage rather than a division by nothing.
  if (hasDeclared && declared > 0) {
    double percent = static_cast<double>(received) / static_cast<double>(declared) * 100.0;
    text += '(';
    text += std::to_string(static_cast<int64_t>(percent));
    text += "%)";
  }
  return text;
}

std::string ConnectFailureText(platform::InternetFailure cause, const std::string& libraryText) {
  using platform::InternetFailure;
  const char* text = nullptr;
  switch (cause) {
    case InternetFailure::kBadAddress:
      text = texts::kCauseBadAddress;
      break;
    case InternetFailure::kUnsupportedAddress:
      text = texts::kCauseUnsupportedAddress;
      break;
    case InternetFailure::kHostNotFound:
      text = texts::kCauseHostNotFound;
      break;
    case InternetFailure::kRefused:
      text = texts::kCauseRefused;
      break;
    case InternetFailure::kUnreachable:
      text = texts::kCauseUnreachable;
      break;
    case InternetFailure::kTimedOut:
      text = texts::kCauseTimedOut;
      break;
    case InternetFailure::kCertificate:
      text = texts::kCauseCertificate;
      break;
    case InternetFailure::kTls:
      text = texts::kCauseTls;
      break;
    case InternetFailure::kTooManyRedirects:
      text = texts::kCauseTooManyRedirects;
      break;
    case InternetFailure::kRedirectNotFetched:
      text = texts::kCauseRedirectNotFetched;
      break;
    case InternetFailure::kProxy:
      text = texts::kCauseProxy;
      break;
    case InternetFailure::kNoAnswer:
      text = texts::kCauseNoAnswer;
      break;
    case InternetFailure::kNone:
    case InternetFailure::kOther:
    case InternetFailure::kStopped:
      break;
  }
  return std::string(texts::kCannotConnect) + "\n" + (text ? text : libraryText);
}

// What one attempt holds open.
struct CHarvestEngine::PageDownload {
  platform::InternetSession session;
  platform::TextWriter page;
  std::unique_ptr<platform::InternetRequest> request;
  // The link list, written as the page arrives when it can be.
  DownloadScan scan;
  std::string linkPath;  // empty when the page is to be scanned once stored
  bool scanKept = false;

  // A link list the run does not take is not left behind.
  ~PageDownload() {
    if (linkPath.empty() || scanKept) return;
    scan.Close();
    platform::RemoveFile(linkPath);
  }
  // Once the user has asked to stop, the attempt stays stopped.
  bool stopped = false;

  // Lets go of the connection, then of the page; false when the page's last
  // bytes could not be written.
  bool Close() {
    request.reset();
    session.Close();
    return page.Close();
  }
};

// How a body read ended.
enum class CHarvestEngine::BodyEnd {
  kWhole,        // read to its end, as long as declared
  kShort,        // broken off, or not as long as declared
  kWriteFailed,  // the page scratch file took not all of it
  kStopped,      // the user asked to stop
};

DownloadResult CHarvestEngine::DownloadPage(std::string& url, const std::string& scratchPath,
                                            int attempt) {
  m_scannedLinkList.clear();
  PageDownload download;
  if (!OpenPageDownload(download, url, scratchPath)) return kDownloadStopped;

  // An answer without a status (ftp) is read like a 2xx answer.
  std::string statusText;
  bool hasStatus = download.request->QueryStatusCode(statusText);
  int status = hasStatus ? static_cast<int>(platform::LeadingDecimal(statusText)) : 200;
  // After redirects, the answer is that of another address than `url`.
  const std::string answeredBy = download.request->FinalUrl();
  // Browser reading finds the page's encoding in it first.
  m_pageContentType = download.request->ContentType();
  if (status < 200 || status > 299) {
    // The connection is let go before anything waits for the user.
    download.Close();
    return AnswerUnsuccessfulStatus(status, answeredBy, url);
  }

  SetStatusText(texts::kStatusReading);
  BodyEnd end = ReadBody(download);
  if (!download.Close() && end != BodyEnd::kStopped) end = BodyEnd::kWriteFailed;
  // Whatever page goes on to the scan, the link list written with it holds
  // its links, unless it could not be written whole.
  auto keepScan = [&] {
    download.scanKept = !download.linkPath.empty() && download.scan.Close();
    if (download.scanKept) m_scannedLinkList = download.linkPath;
  };
  switch (end) {
    case BodyEnd::kWhole:
      url = answeredBy;
      keepScan();
      return kDownloadGoOn;
    case BodyEnd::kStopped:
      // A stopped run says nothing and leaves no page behind.
      platform::RemoveFile(scratchPath);
      return kDownloadStopped;
    case BodyEnd::kWriteFailed:
      ShowError(FileFailureText({FileFailure::kCannotWrite, scratchPath}));
      return kDownloadStopped;
    case BodyEnd::kShort:
      break;
  }
  if (attempt < m_settings.m_nTimes) return kDownloadAgain;
  ShowMessage(texts::kIncompleteRead, texts::kCaptionWarning, platform::MB_ICONWARNING);
  m_lastOutcome = HarvestOutcome::kIncomplete;
  url = answeredBy;
  keepScan();
  return kDownloadGoOn;
}

bool CHarvestEngine::OpenPageDownload(PageDownload& download, const std::string& url,
                                      const std::string& scratchPath) {
  std::string why;
  bool sessionOpen = download.session.Open(texts::kUserAgent, &why);

  // Each attempt starts the page afresh; the file is the user's alone.
  if (!download.page.Open(scratchPath, platform::TextWriter::Mode::kCreate, true)) {
    ShowError(FileFailureText({FileFailure::kCannotCreate, scratchPath}));
    return false;
  }
  if (!sessionOpen) {
    download.Close();
    ShowError(ConnectFailureText(platform::InternetFailure::kOther, why));
    return false;
  }

  // The user may stop the run while the server is awaited and at each read.
  download.session.SetStopCheck(
      [this, &download] { return download.stopped = download.stopped || StopRequested(); });

  SetStatusText(texts::kStatusConnecting);
  platform::InternetFailure cause = platform::InternetFailure::kNone;
  download.request = download.session.OpenUrl(url, &why, &cause);
  if (download.request) return true;
  download.Close();
  if (download.stopped) {
    platform::RemoveFile(scratchPath);
    return false;
  }
  ShowError(ConnectFailureText(cause, why));
  return false;
}

DownloadResult CHarvestEngine::AnswerUnsuccessfulStatus(int status, const std::string& answeredBy,
                                                        std::string& url) {
  if (status == 401) {
    if (RunCredentialsPrompt() != platform::IDOK) return kDownloadStopped;
    // The credentials go to the address that asked for them: the typed one
    // may have redirected to another host, which must not receive them.
    const CHarvestSettings& app = m_settings;
    url = AddressWithCredentials(answeredBy, app.m_strUserId, app.m_strPassword);
    return kDownloadAgain;
  }
  if (status == 404) {
    ShowMessage(std::string(texts::kNotFound) + "\n" + texts::kCheckAddress,
                texts::kCaptionNotFound, platform::MB_ICONERROR);
    return kDownloadStopped;
  }
  ShowMessage(FormatWithStatus(texts::kOtherStatusFormat, status),
              FormatWithStatus(texts::kCaptionStatusFormat, status), platform::MB_ICONERROR);
  return kDownloadStopped;
}

CHarvestEngine::BodyEnd CHarvestEngine::ReadBody(PageDownload& download) {
  platform::InternetRequest& request = *download.request;
  std::string lengthText;
  bool hasLength = request.QueryContentLength(lengthText);
  int64_t declared = hasLength ? platform::LeadingDecimal(lengthText) : 0;

  int64_t received = 0;
  auto lastShown = std::chrono::steady_clock::now();
  bool countShown = true;
  BodyEnd end = BodyEnd::kWhole;
  // The link list is written as the body arrives, where it can be made.
  // (Browser reading reads the stored page its own way, once it is whole.)
  if (std::optional<std::string> linkPath = LinkListPath(m_strScratchTag);
      m_settings.m_bBrowser != 1 && linkPath && download.scan.Open(*linkPath))
    download.linkPath = *linkPath;
  // The page and its scan take the bytes on a thread of their own.
  BlockPipe sink([&download](const char* data, size_t size) {
    if (!download.page.Write(data, size)) return false;
    download.scan.Feed(data, size);
    return true;
  });
  for (;;) {
    if (download.stopped || StopRequested()) {
      download.stopped = true;
      return BodyEnd::kStopped;
    }
    const size_t n = request.Read(sink.Room(kReadChunk), kReadChunk);
    const bool kept = sink.Commit(n);
    if (n == 0) {
      // The end of the body, or a transfer that broke off (reset, stall):
      // either way the read is over.
      if (request.Failed()) end = BodyEnd::kShort;
      break;
    }
    if (!kept) {
      end = BodyEnd::kWriteFailed;
      break;
    }
    // A declared length counts the bytes as sent, compressed or not.
    received = request.BodyBytesOnWire();
    countShown = false;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastShown >= kProgressInterval) {
      SetStatusText(FormatProgressText(received, hasLength, declared));
      lastShown = now;
      countShown = true;
    }
  }
  if (!sink.Finish()) end = BodyEnd::kWriteFailed;
  // The end of a compressed stream (its trailer) arrives without giving
  // anything to read.
  if (request.BodyBytesOnWire() != received) {
    received = request.BodyBytesOnWire();
    countShown = false;
  }
  // A stall ends the read through the stop check as well.
  if (download.stopped) return BodyEnd::kStopped;
  if (!countShown) SetStatusText(FormatProgressText(received, hasLength, declared));
  if (end == BodyEnd::kWhole && hasLength && received != declared) end = BodyEnd::kShort;
  return end;
}
