#pragma once
// One harvest run: the start-button test, the download (or the copy of a
// local page), the anchor scan, the filter, the resolution and the writing.
// The main dialog derives from this class and provides the four window
// services; the terminal front end provides them on the console. Nothing
// here needs a window.
#include <optional>
#include <string>

#include "platform/win_types.h"
#include "settings/output_choice.h"

class CHarvestSettings;
namespace platform {
class InternetRequest;
class TextWriter;
}  // namespace platform

// What a stage that touches files reports to the run: which file failed and
// how. The run turns it into the user's message.
struct FileFailure {
  enum Kind {
    kNone,
    kCannotRead,    // a scratch file could not be read
    kCannotCreate,  // a scratch file could not be created
    kCannotWrite,   // the output file could not be opened, written or closed
    kWriteUndone,   // it could not be written, and was cut back to its
                    // length before the run
    kStopped,       // the user stopped the run while it waited for the
                    // output file: nothing written, nothing to say
  };
  Kind kind = kNone;
  std::string path;

  explicit operator bool() const { return kind != kNone; }
};

// The one place where a file failure becomes the user's message: the text
// for its kind, a line feed, and the path.
std::string FileFailureText(const FileFailure& failure);

// What DownloadPage tells the run.
enum DownloadResult : int {
  kDownloadAgain = 0,    // call again: credentials entered, or a short page
                         // with attempts left
  kDownloadGoOn = 1,     // the page is in the scratch file
  kDownloadStopped = 2,  // stop; the user has been told why
};

// How the last run ended, for callers that need more than the messages (the
// terminal front end's exit status).
enum class HarvestOutcome {
  kNotRun,      // refused by the start-button test, or never started
  kCompleted,   // reached the completion message
  kIncomplete,  // reached it after the incomplete-read warning
  kStopped,     // an error message, the credentials prompt cancelled, or the
                // user's stop
};

class CHarvestEngine {
 public:
  // The run reads `settings` (categories, re-read count, credentials) as it
  // goes; they must outlive the engine.
  explicit CHarvestEngine(const CHarvestSettings& settings);
  virtual ~CHarvestEngine();

  // The start button: reads the address field once and starts the harvest
  // with what it holds.
  void OnOK();

  // Fetches `url` into the page scratch file. A 401 answered with
  // credentials puts them into the address that answered (after redirects)
  // and leaves that in `url` for the next call; a page that was read leaves
  // in `url` the address it was read from. A run the user stopped ends with
  // kDownloadStopped, silently, and leaves no page. The page's link list is
  // written as it arrives, for the run to take instead of scanning the page.
  DownloadResult DownloadPage(std::string& url, const std::string& scratchPath, int attempt);

  // Filters, resolves, formats and appends the link list to the output
  // file (in browser reading, the list resolved while the page was scanned,
  // where there is one); deletes both lists whatever happens.
  FileFailure WriteLinkList(const std::string& linkListPath);

  // The output file this run appends to. A front end may put the output
  // elsewhere (the terminal's standard output, say).
  virtual std::string OutputFilePath() const;
  // Opens the stream this run appends its lines to: by default the file at
  // `path`. A front end may give another (the terminal's standard output).
  virtual bool OpenOutput(platform::TextWriter& output, const std::string& path);

  // Job state.
  std::string m_strSourceFile;           // local page to harvest instead of downloading
  std::string m_strSaveFolder;           // ends in "/"
  int m_nOutPutType = kOutputGallery;    // an OutputType
  int m_nFileSelect = kFixedOutputFile;  // an OutputNaming
  std::string m_strBaseUrl;              // the page's directory address, or empty
  // Empty: the fixed scratch names, which the window's one instance owns.
  // A run beside others gives its own (platform::UniqueScratchTag), which
  // goes into the names.
  std::string m_strScratchTag;
  // Writes only the output lines the output file does not hold yet, and
  // each once.
  bool m_bNewOnly = false;

  HarvestOutcome m_lastOutcome = HarvestOutcome::kNotRun;

  const CHarvestSettings& m_settings;

 protected:
  // The start button on the address field's text, for a front end that has
  // read the field itself: tests the address (and, when a local page is
  // selected, that it names a directory), then runs the harvest.
  void StartHarvest(const std::string& fieldText);

  // Window services.
  virtual std::string GetAddressText() const = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual int ShowMessage(const std::string& text, const std::string& caption,
                          platform::UINT type) = 0;
  // Runs the credentials prompt modally; IDOK when answered.
  virtual int RunCredentialsPrompt() = 0;
  // Asked at each read of the page and while the server is awaited: true
  // once the user has asked to stop the run. A window takes the chance to
  // answer its close box and Escape key and to repaint; other input meanwhile
  // is dropped. Never, unless a front end says so.
  virtual bool StopRequested() { return false; }
  // Called once the page's link list is ready, just before it is written:
  // a front end that runs several harvests at once waits here until the
  // runs before this one have written theirs.
  virtual void WaitForTurnToWrite() {}

  // The error box every refusal and failure uses: `text`, the caption
  // "エラー" and the error icon, through ShowMessage.
  int ShowError(const std::string& text);

 private:
  // The harvest of the trimmed, tested address.
  void RunHarvest(const std::string& address);

  // The parts of DownloadPage: open the session, the page and the request;
  // answer a status whose body is not read (401, 404, and all but 2xx);
  // read a 2xx body into the page.
  struct PageDownload;
  enum class BodyEnd;
  bool OpenPageDownload(PageDownload& download, const std::string& url,
                        const std::string& scratchPath);
  DownloadResult AnswerUnsuccessfulStatus(int status, const std::string& answeredBy,
                                          std::string& url);
  BodyEnd ReadBody(PageDownload& download);
  // Copies the local page to the page scratch file; false, once the user
  // has been told which file failed, when it cannot be. The page is scanned
  // while the copy is made, where it can be.
  bool CopyLocalPage(const std::string& pagePath);
  // Waits for the output's append lock; false when the user stopped the
  // run meanwhile.
  bool LockOutput(platform::TextWriter& output);
  // The link list the last page download or copy wrote alongside; empty
  // when the stored page is still to be scanned.
  std::string m_scannedLinkList;

  // Browser reading: scans the stored page (downloaded, or a copy) into the
  // run's link list, and keeps what resolving its addresses needs.
  FileFailure MakeBrowserLinkList(const std::string& pagePath, bool downloaded,
                                  std::string& linkPath);
  // The page at `pagePath` (see ScanPageAsBrowser) into the list at
  // `linkPath`; what the write needs of the document is kept.
  FileFailure ScanAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                            const std::string& linkPath);
  std::string m_pageContentType;          // the downloaded page's Content-Type
  std::string m_documentUrl;              // the page's own address, without credentials
  std::optional<std::string> m_baseHref;  // its first <base href>
  std::string m_documentEncoding;
  // Browser reading's addresses, resolved against the document's final base
  // while the page was scanned; empty when the link list is to be resolved.
  std::string m_resolvedLinkList;
};
