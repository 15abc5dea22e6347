#pragma once
// The output file's name and the form of its lines.
#include <string>
#include <string_view>

// `baseUrl` with every ":" and "/" replaced by "_", so that it names one
// file in the save folder.
std::string FlattenBaseAddress(std::string_view baseUrl);

// The output line (its LF included) that the link list's `line` becomes
// once it passes the filter: its LF taken off, its CR and TAB bytes dropped,
// resolved against `baseUrl`, and as a gallery line or a bare address.
std::string PrepareLinkLine(const std::string& line, std::string_view baseUrl, bool gallery);
