#include "platform/instance_lock.h"

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

// A named mutex in the session's namespace: the system closes it when the
// process ends, however it ends.
class InstanceLock {
 public:
  explicit InstanceLock(HANDLE mutex) : m_hMutex(mutex) {}
  ~InstanceLock() { ::CloseHandle(m_hMutex); }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  HANDLE m_hMutex;
};

InstanceLock* CreateInstanceLock(const std::string& name, bool* alreadyExists, std::string* why) {
  if (alreadyExists) *alreadyExists = false;
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, win32::Widen(name).c_str());
  if (!mutex) {
    if (why) *why = "the mutex " + name + " (error " + std::to_string(::GetLastError()) + ")";
    return nullptr;
  }
  if (alreadyExists) *alreadyExists = ::GetLastError() == ERROR_ALREADY_EXISTS;
  return new InstanceLock(mutex);
}

void CloseInstanceLock(InstanceLock* lock) { delete lock; }

}  // namespace platform
