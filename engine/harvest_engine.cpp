#include "engine/harvest_engine.h"

#include "resources/texts.h"

CHarvestEngine::CHarvestEngine(const CHarvestSettings& settings) : m_settings(settings) {}
CHarvestEngine::~CHarvestEngine() = default;

int CHarvestEngine::ShowError(const std::string& text) {
  return ShowMessage(text, texts::kCaptionError, platform::MB_ICONERROR);
}

std::string FileFailureText(const FileFailure& failure) {
  const char* text = "";
  switch (failure.kind) {
    case FileFailure::kCannotRead:
      text = texts::kCannotReadFile;
      break;
    case FileFailure::kCannotCreate:
      text = texts::kCannotCreateFile;
      break;
    case FileFailure::kCannotWrite:
      text = texts::kCannotWriteFile;
      break;
    case FileFailure::kWriteUndone:
      return std::string(texts::kCannotWriteFile) + "\n" + failure.path + "\n" +
             texts::kFileRestored;
    case FileFailure::kNone:
    case FileFailure::kStopped:
      break;
  }
  return std::string(text) + "\n" + failure.path;
}
