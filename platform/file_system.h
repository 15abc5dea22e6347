#pragma once
// Files and folders as the program needs them: the private temporary
// folder, copying, deleting, attributes, and the file-find.
#include <optional>
#include <string>

namespace platform {

// The private per-user temporary folder, ending in "/":
// $XDG_RUNTIME_DIR/vimbel/, else ${TMPDIR:-/tmp}/vimbel-<uid>/. Created 0700
// when missing; refused (nullopt, with the reason in `why`) when it is a
// symlink, not a folder, or not owned by the user.
std::optional<std::string> TempFolder(std::string* why = nullptr);

// Copies `from` to `to` byte for byte, replacing `to`. False on failure;
// `toFailed`, when given, then says whether it was `to` that could not be
// made or written (a full disk, a size limit) rather than `from` read.
bool CopyFileReplacing(const std::string& from, const std::string& to, bool* toFailed = nullptr);

// Opens `path` to append to it as a regular file of the user's own, and
// returns its descriptor (-1 with errno set on refusal or failure). A missing
// file is created (0666 less the umask). A symbolic link in the last
// component is followed only when it belongs to the user, link after link, so
// that a link another user planted in a shared folder cannot lead the append
// into some other file of the user's. The open never blocks, and anything
// but a regular file (a FIFO, a device, a folder) is refused before a byte is
// written. The descriptor can read as well when the file allows it.
int OpenOwnFileToAppend(const std::string& path);

// Deletes a file; false when it was not there or could not be deleted.
bool RemoveFile(const std::string& path);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// A file that can be read more than once, and by two readers at a time (not
// a folder, pipe or device).
bool IsRegularFile(const std::string& path);

// Creates every missing folder on the way to `path`'s folder, each private
// to the user. False when the folder is not there afterwards.
bool MakeParentFolders(const std::string& path);

// `path` made absolute with "." and ".." resolved and no trailing
// separator (except for a root), when it names something that exists.
std::optional<std::string> CanonicalExistingPath(const std::string& path);

// The separator the system writes between folder names: "/" here, "\" on
// Windows, which also takes "/".
char PathSeparator();
bool IsPathSeparator(char c);

// The user's home folder with a trailing "/".
std::string HomeFolder();

// The first entry matching `pattern` (which may hold * and ? in its last
// component), as a full path: the pattern's folder made absolute against
// the current folder and cleaned of ".", ".." and doubled separators, then
// the entry's name as stored. nullopt: no match.
std::optional<std::string> FindFirstFile(const std::string& pattern);

}  // namespace platform
