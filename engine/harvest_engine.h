#pragma once
// One harvest run: the start-button test, the download (or the copy of a
// local page), the anchor scan, the filter, the resolution and the writing.
// The main dialog derives from this class and provides the four window
// services; the terminal front end provides them on the console. Nothing
// here needs a window.
#include <string>
#include <string_view>

#include "platform/win_types.h"

class CHarvestSettings;
class ReferenceResolver;

// What a stage that touches files reports to the run: which file failed and
// how. The run turns it into the user's message.
struct FileFailure {
  enum Kind {
    kNone,
    kCannotRead,    // a scratch file could not be read
    kCannotCreate,  // a scratch file could not be created
    kCannotWrite,   // the output file could not be opened, written or closed
  };
  Kind kind = kNone;
  std::string path;

  explicit operator bool() const { return kind != kNone; }
};

// How the last run ended, for callers that need more than the messages (the
// terminal front end's exit status).
enum class HarvestOutcome {
  kNotRun,        // refused by the start-button test, or never started
  kCompleted,     // reached the completion message
  kIncomplete,    // reached it after the incomplete-read warning
  kStopped,       // an error message, the credentials prompt cancelled, or the
                  // user's stop
};

class CHarvestEngine {
 public:
  // The run reads `settings` (categories, re-read count, credentials) as it
  // goes; they must outlive the engine.
  explicit CHarvestEngine(const CHarvestSettings& settings);
  virtual ~CHarvestEngine();

  // The start button: tests the address field (and the base address when a
  // local page is selected), then runs the harvest.
  void OnOK();
  void RunHarvest();

  // Fetches `url` into the page scratch file. 0: call again (credentials
  // entered, or the page came short with attempts left); 1: go on with the
  // page; 2: stop, the user has been told (or asked to stop, and the page
  // scratch file is gone).
  int DownloadPage(std::string& url, const std::string& scratchPath, int attempt);

  // Scans the page for anchor values into the link scratch file, then hands
  // it to WriteLinkList.
  FileFailure ScanAnchorLinks(const std::string& pagePath);
  // Filters, resolves, formats and appends the link list to the output
  // file; deletes the link list whatever happens.
  FileFailure WriteLinkList(const std::string& linkListPath);
  std::string PrepareLinkLine(const std::string& line) const;
  std::string ResolveRelativeLink(const std::string& link) const;
  std::string FormatOutputLine(const std::string& link) const;

  // The output file this run appends to. A front end may put the output
  // elsewhere (the terminal's standard output, say).
  virtual std::string OutputFilePath() const;

  // Job state.
  std::string m_strSourceFile;  // local page to harvest instead of downloading
  std::string m_strSaveFolder;  // ends in "/"
  int m_nOutPutType = 1;        // 1 gallery, 2 list
  int m_nFileSelect = 2;        // 1 named after the base address, 2 fixed file
  std::string m_strBaseUrl;     // the page's directory address, or empty

  HarvestOutcome m_lastOutcome = HarvestOutcome::kNotRun;

  const CHarvestSettings& m_settings;

 protected:
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

 private:
  // PrepareLinkLine and FormatOutputLine appending to `out`, so that
  // WriteLinkList can reuse its buffers from line to line.
  void AppendPreparedLine(std::string_view line, ReferenceResolver& resolver,
                          std::string& out) const;
  void AppendOutputLine(std::string_view link, std::string& out) const;
};
