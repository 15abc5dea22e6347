#pragma once
// INI files of the private-profile kind: "[section]" header lines followed by
// "key=value" lines. Sections and keys match without regard to letter case;
// values are byte strings. A write replaces the whole file at once (a new
// file renamed over the old), keeping every other line as it was.
#include <optional>
#include <string>

namespace platform {

// The key's value (blanks around it removed), or nullopt when the file, the
// section or the key is missing, or the file cannot be read.
std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key);

// The key's text; `defaultValue` when the file or the key is missing. A key
// that is present but empty gives "".
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// The key's value read as signed decimal the way atoi reads (leading blanks,
// a sign, the digits up to the first non-digit; none gives 0; beyond 32 bits
// it wraps). `defaultValue` when the file or the key is missing or empty.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// Sets the key to `value`, adding the key or the section when missing.
// False when the file could not be replaced; the old file is then intact.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

}  // namespace platform
