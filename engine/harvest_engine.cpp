#include "engine/harvest_engine.h"

CHarvestEngine::CHarvestEngine() = default;
CHarvestEngine::~CHarvestEngine() = default;
