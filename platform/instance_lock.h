#pragma once
// The single-instance lock: an advisory lock on "<name>.lock" in the private
// temporary folder. The system releases it when the process ends, however
// it ends, so a crash leaves nothing stale behind.
#include <string>

namespace platform {

class InstanceLock;

// Creates (or opens) the lock named `name` and tries to take it. Returns a
// handle, or nullptr (with the lock file's path and the cause in `why`)
// when the lock file cannot be made or locked. `alreadyExists` is set to
// true when another process holds the lock; the caller then closes the
// handle and ends.
InstanceLock* CreateInstanceLock(const std::string& name, bool* alreadyExists,
                                 std::string* why = nullptr);

// Releases the handle (and the lock, if this process held it).
void CloseInstanceLock(InstanceLock* lock);

}  // namespace platform
