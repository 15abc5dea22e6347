#include "engine/harvest_engine.h"

CHarvestEngine::CHarvestEngine(const CHarvestSettings& settings) : m_settings(settings) {}
CHarvestEngine::~CHarvestEngine() = default;
