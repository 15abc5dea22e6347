#include "app/vimbel-cli/console_harvest.h"

#include <unistd.h>

#include <cstdio>

#include "platform/terminal_text.h"
#include "platform/window_backend.h"
#include "resources/dialog_templates.h"
#include "resources/texts.h"
#include "ui/harvest_app.h"
#include "ui/password_dlg.h"

namespace {

// The password prompt's own label, "パスワード ：".
std::string PasswordLabel() {
  const platform::DialogTemplate& tpl = resources::kPasswordDialog;
  for (const auto& c : tpl.controls)
    if (c.id == resources::IDC_EDIT_PASSWORD)
      if (const auto* label = platform::console::LabelOf(tpl, c)) return label->caption;
  return "> ";
}

}  // namespace

CConsoleHarvest::CConsoleHarvest(CHarvestSettings& settings, CliCall& call, size_t run)
    : CHarvestEngine(settings), m_app(settings), m_call(call), m_run(run) {}

int CConsoleHarvest::Run(const std::string& address) {
  m_strAddress = address;
  m_userOffered = false;
  OnOK();
  if (!m_call.board) m_call.console.ClearStatus();
  std::fflush(stdout);
  return ExitStatusFor(m_lastOutcome);
}

void CConsoleHarvest::TakeOutputChoicesOf(const CHarvestEngine& model) {
  m_strSaveFolder = model.m_strSaveFolder;
  m_nOutPutType = model.m_nOutPutType;
  m_nFileSelect = model.m_nFileSelect;
  m_bNewOnly = model.m_bNewOnly;
}

std::string CConsoleHarvest::OutputFilePath() const {
  return m_call.options.toStdout ? "/dev/stdout" : CHarvestEngine::OutputFilePath();
}

bool CConsoleHarvest::OpenOutput(platform::TextWriter& output, const std::string& path) {
  if (!m_call.options.toStdout) return CHarvestEngine::OpenOutput(output, path);
  // The lines would land in the middle of the status line when both go to
  // the same terminal; and a page's control bytes must not drive it.
  if (m_call.board)
    m_call.board->WritesToStdout(m_run);
  else
    m_call.console.ClearStatus();
  return output.OpenDescriptor(STDOUT_FILENO, isatty(STDOUT_FILENO) == 1);
}

void CConsoleHarvest::ShowFileError(const char* text, const std::string& path) {
  ShowError(std::string(text) + "\n" + path);
}

void CConsoleHarvest::SetStatusText(const std::string& text) {
  if (m_call.options.quiet) return;
  // The window goes back to its idle text when a run ends; the terminal
  // takes its line back instead.
  if (m_call.board) {
    if (text != texts::kStatusIdle) m_call.board->Status(m_run, text);
  } else if (text == texts::kStatusIdle) {
    m_call.console.ClearStatus();
  } else {
    m_call.console.ShowStatus(text);
  }
}

int CConsoleHarvest::ShowMessage(const std::string& text, const std::string& caption,
                                 platform::UINT type) {
  if (m_call.options.quiet && (type & platform::MB_ICONMASK) == 0) return platform::IDOK;
  if (!m_call.board) return platform::WindowBackend().MessageBox(nullptr, text, caption, type);
  m_call.board->Message(m_run, text, caption, type);
  return platform::IDOK;
}

void CConsoleHarvest::WaitForTurnToWrite() {
  if (m_call.board) m_call.board->AwaitTurn(m_run);
}

int CConsoleHarvest::RunCredentialsPrompt() {
  if (!m_call.board) return AskForCredentials();
  const RunBoard::Prompt prompt(*m_call.board);
  return AskForCredentials();
}

// --user answers the first request of each run; after that (the server
// refused them) the terminal is asked, as in the window.
int CConsoleHarvest::AskForCredentials() {
  std::optional<CliCredentials>& user = m_call.user;
  if (user && !m_userOffered) {
    m_userOffered = true;
    if (!user->password) {
      // Asked once and kept for the later runs of this call.
      user->password = m_call.console.AskHidden(PasswordLabel());
      if (!user->password) {
        user.reset();
        return NoTerminalToAsk();
      }
    }
    m_app.m_strUserId = user->userId;
    m_app.m_strPassword = *user->password;
    return platform::IDOK;
  }
  if (!m_call.console.CanAsk()) return NoTerminalToAsk();
  CPasswordDlg dlg;
  const int answer = dlg.DoModal();
  // The prompt answers into the application object; a run beside others
  // reads settings of its own.
  CHarvestApp& app = GetHarvestApp();
  if (&app != &m_app) {
    m_app.m_strUserId = app.m_strUserId;
    m_app.m_strPassword = app.m_strPassword;
  }
  return answer;
}

int CConsoleHarvest::NoTerminalToAsk() {
  const std::string text = VIMBEL_CLI_NAME
      ": the page needs an ID and password, and there is no terminal "
      "to ask for them on; give them with --user ID[:PASSWORD] or --netrc\n";
  if (m_call.board) {
    m_call.board->Note(m_run, text);
  } else {
    m_call.console.ClearStatus();
    platform::WriteTerminalText(stderr, text);
  }
  return platform::IDCANCEL;
}
