#include "engine/harvest_engine.h"

#include "resources/texts.h"

CHarvestEngine::CHarvestEngine(const CHarvestSettings& settings) : m_settings(settings) {}
CHarvestEngine::~CHarvestEngine() = default;

int CHarvestEngine::ShowError(const std::string& text) {
  return ShowMessage(text, texts::kCaptionError, platform::MB_ICONERROR);
}
