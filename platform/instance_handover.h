#pragma once
// A file named to a second start of the program, handed to the running
// instance: through a local socket "<name>.sock" in the private temporary
// folder, which is the user's alone (0700, refused when another user owns
// it); on Windows through a local named pipe only the user may open. Each
// side also checks that the other runs as the same user, so no other user
// can hand the window a file, nor receive one.
//
// The sender waits for an acknowledgement. A handover the running instance
// does not take within the sender's wait (it is busy in a run) is dropped:
// the sender gives up, and the instance, when it gets to it, finds nobody
// waiting and takes nothing.
#include <memory>
#include <optional>
#include <string>

#include "platform/win_types.h"

namespace platform {

inline constexpr int kHandoverWaitMs = 1000;

class HandoverListener {
 public:
  // Listens as the running instance `name`. Call only while holding the
  // instance lock: a socket left behind by an instance that was killed is
  // replaced. nullptr when the socket or pipe cannot be made.
  static std::unique_ptr<HandoverListener> Listen(const std::string& name);
  ~HandoverListener();  // stops listening and removes the socket or pipe
  HandoverListener(const HandoverListener&) = delete;
  HandoverListener& operator=(const HandoverListener&) = delete;

  // Ready when a handover waits: for the window's event loop to watch. On
  // POSIX a descriptor that has input while a connection, its bytes or its
  // deadline wait; on Windows an event, signalled while a handover waits.
  WatchHandle Handle() const { return m_handle; }

  // Takes one waiting handover and acknowledges it: the path it carries.
  // nullopt when none waits, the sender is another user, it sent no
  // complete path within kHandoverWaitMs, or it is no longer waiting. On
  // POSIX it never waits for a sender: a path still on its way is read by
  // a later call, when Handle() is ready again.
  std::optional<std::string> Accept();

 private:
  // What the system listens with: a socket and its path, or a pipe.
  struct Endpoint;
  HandoverListener(std::unique_ptr<Endpoint> endpoint, WatchHandle handle);
  std::unique_ptr<Endpoint> m_endpoint;
  WatchHandle m_handle;
};

// Hands `path`, made absolute against the current folder, to the running
// instance `name`. True once it has acknowledged it; false when none listens
// or it does not acknowledge within `waitMs`.
bool HandOverFile(const std::string& name, const std::string& path, int waitMs = kHandoverWaitMs);

}  // namespace platform
