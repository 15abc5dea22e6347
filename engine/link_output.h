#pragma once
// The output file's name and the form of its lines.
#include <string>
#include <string_view>

// `baseUrl` with every ":" and "/" replaced by "_", so that it names one
// file in the save folder.
std::string FlattenBaseAddress(std::string_view baseUrl);
