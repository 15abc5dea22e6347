#pragma once
// The harvest engine with the window's services on the terminal: the status
// line and the message boxes on standard error, the credentials prompt on
// the terminal. Alone, a run shows them at once; beside others (-P), through
// the call's run board, in the order of the addresses.
#include <cstddef>
#include <optional>
#include <string>

#include "app/vimbel-cli/run_board.h"
#include "engine/harvest_engine.h"
#include "platform/console/console_backend.h"
#include "platform/text_file.h"
#include "settings/harvest_settings.h"
#include "ui/cli_front_end.h"

// What the runs of one call share.
struct CliCall {
  platform::console::ConsoleBackend& console;
  const CliOptions& options;
  // --user, with its password once asked; taken and changed only at a
  // prompt, which the board gives one run at a time.
  std::optional<CliCredentials> user;
  RunBoard* board = nullptr;  // with -P only
};

class CConsoleHarvest : public CHarvestEngine {
 public:
  // A run reads `settings` and keeps in them the credentials it is given;
  // `run` is its number on the call's board.
  CConsoleHarvest(CHarvestSettings& settings, CliCall& call, size_t run = 0);

  // One run of the address field's text (and the local page, if one is
  // selected); its exit status.
  int Run(const std::string& address);

  // The output choices of `model` (folder, form, name, --new-only), as the
  // profile and the command line made them.
  void TakeOutputChoicesOf(const CHarvestEngine& model);

  std::string OutputFilePath() const override;
  bool OpenOutput(platform::TextWriter& output, const std::string& path) override;

  // Reports a failure to open FILE as the window reports it.
  void ShowFileError(const char* text, const std::string& path);

 protected:
  std::string GetAddressText() const override { return m_strAddress; }
  void SetStatusText(const std::string& text) override;
  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override;
  int RunCredentialsPrompt() override;
  void WaitForTurnToWrite() override;

 private:
  int AskForCredentials();
  int NoTerminalToAsk();

  CHarvestSettings& m_app;
  CliCall& m_call;
  const size_t m_run;
  bool m_userOffered = false;
  std::string m_strAddress;
};
