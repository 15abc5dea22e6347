#pragma once
// Section, keys and defaults of the profile.
#include <string>

#include "settings/output_choice.h"

namespace profile {

inline constexpr const char* kSection = "Parameter";

inline constexpr const char* kOutPutType = "OutPutType";
inline constexpr const char* kFileSelect = "FileSelect";
inline constexpr const char* kSaveFolder = "SaveFolder";
inline constexpr const char* kExtent = "extent";
inline constexpr const char* kImage = "image";
inline constexpr const char* kArchive = "archive";
inline constexpr const char* kWave = "wave";
inline constexpr const char* kMovie = "movie";
inline constexpr const char* kExtra = "extra";
inline constexpr const char* kExe = "exe";
inline constexpr const char* kClip = "clip";
inline constexpr const char* kTimes = "times";
// Absent from every profile written before browser reading existed, and
// read as 0 then, so that such a profile keeps the exact reading.
inline constexpr const char* kBrowser = "browser";
inline constexpr const char* kEmbedded = "embedded";

inline constexpr int kOutPutTypeDefault = kOutputGallery;
inline constexpr int kFileSelectDefault = kFixedOutputFile;
inline constexpr const char* kExtentDefault = ".???";
inline constexpr int kImageDefault = 1;
// The save-folder default: the user's home folder, ending in "/".
std::string DefaultSaveFolder();

}  // namespace profile
