#pragma once
// A harvest engine without a window: the address text is set by the test,
// status texts and message boxes are recorded, and credentials prompts are
// answered from a queue the test fills beforehand. An answer left over, or a
// prompt with no answer waiting, fails the test.
#include <deque>
#include <string>
#include <vector>

#include "engine/harvest_engine.h"
#include "settings/harvest_settings.h"

namespace testing_support {

class RecordingEngine : public CHarvestEngine {
 public:
  struct Message {
    std::string text;
    std::string caption;
    platform::UINT type;
  };

  // The engine reads and the credentials answers write `settings`.
  explicit RecordingEngine(CHarvestSettings& settings)
      : CHarvestEngine(settings), m_writableSettings(settings) {}
  ~RecordingEngine() override;

  void SetAddress(std::string text) { m_address = std::move(text); }

  // The next prompt answers OK and stores `userId` and `password` in the
  // settings record, as the prompt's OK does.
  void QueueCredentials(std::string userId, std::string password);
  // The next prompt is cancelled; nothing is stored.
  void QueueCredentialsCancel();

  // The user asks to stop at the `checks`-th StopRequested of the engine and
  // keeps asking; 0 never asks.
  void StopAtCheck(int checks) {
    m_stopAt = checks;
    m_stopChecks = 0;
  }

  const std::vector<std::string>& StatusTexts() const { return m_statusTexts; }
  const std::vector<Message>& Messages() const { return m_messages; }
  int PromptCount() const { return m_prompts; }
  void ClearRecords();

  // The window services, public here so that tests can call them too.
  std::string GetAddressText() const override { return m_address; }
  void SetStatusText(const std::string& text) override { m_statusTexts.push_back(text); }
  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override;
  int RunCredentialsPrompt() override;
  bool StopRequested() override { return m_stopAt > 0 && ++m_stopChecks >= m_stopAt; }

 private:
  struct Answer {
    int result;
    std::string userId;
    std::string password;
  };

  CHarvestSettings& m_writableSettings;
  std::string m_address;
  std::vector<std::string> m_statusTexts;
  std::vector<Message> m_messages;
  std::deque<Answer> m_answers;
  int m_prompts = 0;
  int m_stopAt = 0;
  int m_stopChecks = 0;
};

}  // namespace testing_support
