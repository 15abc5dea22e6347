#include "tests/support/recording_engine.h"

#include <gtest/gtest.h>

#include "platform/win_types.h"
#include "settings/harvest_settings.h"

namespace testing_support {

RecordingEngine::~RecordingEngine() {
  EXPECT_TRUE(m_answers.empty()) << m_answers.size()
                                 << " credentials answer(s) queued but never asked for";
}

void RecordingEngine::QueueCredentials(std::string userId, std::string password) {
  m_answers.push_back({platform::IDOK, std::move(userId), std::move(password)});
}

void RecordingEngine::QueueCredentialsCancel() {
  m_answers.push_back({platform::IDCANCEL, {}, {}});
}

void RecordingEngine::ClearRecords() {
  m_statusTexts.clear();
  m_messages.clear();
}

int RecordingEngine::ShowMessage(const std::string& text, const std::string& caption,
                                 platform::UINT type) {
  m_messages.push_back({text, caption, type});
  return platform::IDOK;
}

int RecordingEngine::RunCredentialsPrompt() {
  ++m_prompts;
  if (m_answers.empty()) {
    ADD_FAILURE() << "credentials prompt shown with no answer queued";
    return platform::IDCANCEL;
  }
  Answer answer = std::move(m_answers.front());
  m_answers.pop_front();
  if (answer.result == platform::IDOK) {
    m_writableSettings.m_strUserId = answer.userId;
    m_writableSettings.m_strPassword = answer.password;
  }
  return answer.result;
}

}  // namespace testing_support
