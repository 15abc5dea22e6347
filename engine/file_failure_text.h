#pragma once
// The one place where a file failure becomes the user's message.
#include <string>

#include "engine/harvest_engine.h"

// The text for the kind of failure, a line feed, and the path.
std::string FileFailureText(const FileFailure& failure);
