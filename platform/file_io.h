#pragma once
// Byte-level file access under the text streams and the profile, the part
// each system does its own way: opening by name, reading and writing raw
// bytes, and replacing a whole file at once. A file is a small integer
// descriptor, -1 when none.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform::file_io {

// Opens an existing file for reading. -1 when it cannot be opened or is a
// folder.
int OpenForReading(const std::string& path);

// The standard output, by the name Linux gives it; Windows takes it too.
inline constexpr char kStandardOutput[] = "/dev/stdout";

// Opens for writing, creating the file when missing: appending at the end,
// or emptied first. A created `privateFile` is the user's alone and is never
// reached through a planted link. -1 on failure.
int OpenForWriting(const std::string& path, bool append, bool privateFile);

// Up to `size` bytes; 0 at the end of the file, -1 on a read error.
long long ReadSome(int fd, char* buffer, size_t size);

// All of `data`, or false.
bool WriteAll(int fd, std::string_view data);

// False when the last buffered write failed to reach the file.
bool Close(int fd);

// Up to `size` bytes from `offset` on, leaving the read position where it
// is; 0 at the end of the file, -1 on a read error.
long long ReadAt(int fd, char* buffer, size_t size, long long offset);

// The read or write position; -1 where there is none (a pipe).
long long CurrentOffset(int fd);

// The length of a regular file; -1 for anything else.
long long RegularFileSize(int fd);

// A second descriptor of the same open file, sharing its position; -1 on
// failure.
int Duplicate(int fd);

// Cuts a regular file back to `size` bytes.
bool CutTo(int fd, long long size);

// The lock every run of the program holds on its output file for the
// length of its append, so that appends from several runs, in this process
// or others, never mix. It belongs to the open file (descriptors that
// Duplicate made share it) and is taken and let go of through one
// descriptor. While another holds it, `keepWaiting` is asked every 10 ms or
// so; false from it gives up.
enum class AppendLock {
  kLocked,
  kGivenUp,
  kUnavailable,  // the file system keeps no such locks: append without
};
AppendLock LockForAppend(int fd, const std::function<bool()>& keepWaiting);
// Lets go of the lock taken through `fd`; the file stays open.
void UnlockForAppend(int fd);

enum class LoadResult { kLoaded, kMissing, kFailed };

// The whole of a plain file of at most `maxSize` bytes into `content`.
// kMissing: neither the file nor its folder exists.
LoadResult LoadWholeFile(const std::string& path, size_t maxSize, std::string& content);

// Replaces the file's content at once: the new content is complete on disk
// before it takes the name, so a crash or a full disk leaves either the old
// file or the new one. A link is written through, not over; an existing
// file keeps its permissions.
bool ReplaceWholeFile(const std::string& path, std::string_view content);

// An exclusive lock on the file `path` + ".lock", held for the object's
// lifetime. Writers of one file that each read it, change it and replace it
// whole take it around all three, so that none loses another's change, in
// this process or another. Where the lock file cannot be made (a folder
// that is not writable), the holder goes on without it.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const std::string& path);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  intptr_t m_handle = -1;  // a descriptor, or a Windows handle
};

}  // namespace platform::file_io
