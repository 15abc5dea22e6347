#include "platform/instance_handover.h"

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/windows/wide_text.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"
// Needs the types of the one above.
#include <sddl.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kAcknowledged = 'A';
// The longest path the wide calls take, each UTF-16 unit three UTF-8 bytes
// at most.
constexpr size_t kMaxPath = 32767 * 3;
// The pipe's buffers: a path of usual length fits in one write.
constexpr DWORD kBufferSize = 4096;

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
  ~OwnedHandle() {
    if (m_handle && m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

// The user a process runs as (its token's TOKEN_USER); empty when it cannot
// be read, as for a process of another user.
std::vector<BYTE> ProcessUser(HANDLE process) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  const OwnedHandle owned(token);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  return user;
}

PSID SidOf(std::vector<BYTE>& user) { return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid; }

std::wstring ThisUserSid() {
  std::vector<BYTE> user = ProcessUser(::GetCurrentProcess());
  wchar_t* text = nullptr;
  if (user.empty() || !::ConvertSidToStringSidW(SidOf(user), &text)) return {};
  std::wstring sid(text);
  ::LocalFree(text);
  return sid;
}

bool RunsAsThisUser(ULONG processId) {
  const OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process.get()) return false;
  std::vector<BYTE> peer = ProcessUser(process.get());
  std::vector<BYTE> self = ProcessUser(::GetCurrentProcess());
  return !peer.empty() && !self.empty() && ::EqualSid(SidOf(peer), SidOf(self));
}

// One pipe per user and session, as the instance lock is one per session.
// Empty when the user cannot be told.
std::wstring PipeName(const std::string& name, const std::wstring& sid) {
  if (sid.empty()) return {};
  std::wstring pipe = L"\\\\.\\pipe\\" + win32::Widen(name) + L"-" + sid;
  DWORD session = 0;
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session))
    pipe += L"-" + std::to_wstring(session);
  return pipe;
}

DWORD MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

enum class Io { kDone, kMoreData, kFailed };

// One read or write on an overlapped pipe handle, waited for until the
// deadline; one still running then is cancelled. `done` counts the bytes
// moved; kMoreData is a read that got part of a longer message.
Io Transfer(HANDLE pipe, HANDLE event, bool write, void* data, DWORD size, DWORD& done,
            Clock::time_point deadline) {
  OVERLAPPED io{};
  io.hEvent = event;
  done = 0;
  const BOOL ok = write ? ::WriteFile(pipe, data, size, nullptr, &io)
                        : ::ReadFile(pipe, data, size, nullptr, &io);
  if (!ok) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return Io::kFailed;
    if (error == ERROR_IO_PENDING &&
        ::WaitForSingleObject(event, MillisecondsLeft(deadline)) != WAIT_OBJECT_0)
      ::CancelIo(pipe);
  }
  // Finished, failed or cancelled by now: the system no longer writes to
  // `io` once this returns.
  if (::GetOverlappedResult(pipe, &io, &done, TRUE)) return Io::kDone;
  return ::GetLastError() == ERROR_MORE_DATA ? Io::kMoreData : Io::kFailed;
}

}  // namespace

struct HandoverListener::Endpoint {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  // Set once a sender has connected: what the window watches.
  HANDLE connected = nullptr;
  // For the reads and writes of one handover.
  HANDLE io = nullptr;
  OVERLAPPED connect{};
  bool connectPending = false;

  ~Endpoint() {
    if (connectPending) {
      // The pending wait must end before `connect` goes.
      DWORD unused = 0;
      ::CancelIo(pipe);
      ::GetOverlappedResult(pipe, &connect, &unused, TRUE);
    }
    if (pipe != INVALID_HANDLE_VALUE) ::CloseHandle(pipe);
    if (connected) ::CloseHandle(connected);
    if (io) ::CloseHandle(io);
  }

  // Waits for the next sender. False when the pipe no longer takes one.
  bool Arm() {
    connect = OVERLAPPED{};
    connect.hEvent = connected;
    connectPending = false;
    if (!::ConnectNamedPipe(pipe, &connect)) {
      switch (::GetLastError()) {
        case ERROR_IO_PENDING:
          connectPending = true;
          return true;
        // One came already, and may have gone again: Accept finds out.
        case ERROR_PIPE_CONNECTED:
        case ERROR_NO_DATA:
          break;
        default:
          ::ResetEvent(connected);
          return false;
      }
    }
    ::SetEvent(connected);
    return true;
  }

  // The path a connected sender hands over, acknowledged; nullopt when the
  // sender is another user or no longer waits.
  std::optional<std::string> Take() {
    ULONG client = 0;
    if (!::GetNamedPipeClientProcessId(pipe, &client) || !RunsAsThisUser(client))
      return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHandoverWaitMs);
    std::string path;
    for (;;) {
      char buffer[1024];
      DWORD n = 0;
      const Io read = Transfer(pipe, io, false, buffer, sizeof buffer, n, deadline);
      if (read == Io::kFailed) return std::nullopt;
      path.append(buffer, n);
      if (path.size() > kMaxPath) return std::nullopt;
      if (read == Io::kDone) break;
    }
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    // A sender that gave up has closed its end: the acknowledgement fails and
    // its file is not opened long after the user asked for it.
    char answer = kAcknowledged;
    DWORD n = 0;
    if (Transfer(pipe, io, true, &answer, 1, n, deadline) != Io::kDone || n != 1)
      return std::nullopt;
    // Disconnecting throws away what the sender has not read yet: wait until
    // it has closed its end, which it does once it has the acknowledgement.
    Transfer(pipe, io, false, &answer, 1, n, deadline);
    return path;
  }
};

HandoverListener::HandoverListener(std::unique_ptr<Endpoint> endpoint, WatchHandle handle)
    : m_endpoint(std::move(endpoint)), m_handle(handle) {}

std::unique_ptr<HandoverListener> HandoverListener::Listen(const std::string& name) {
  const std::wstring sid = ThisUserSid();
  const std::wstring pipeName = PipeName(name, sid);
  if (pipeName.empty()) return nullptr;
  // Only this user may open the pipe at all.
  PSECURITY_DESCRIPTOR security = nullptr;
  const std::wstring rule = L"D:P(A;;GA;;;" + sid + L")";
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(rule.c_str(), SDDL_REVISION_1,
                                                              &security, nullptr))
    return nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
  auto endpoint = std::make_unique<Endpoint>();
  // The first instance only: a pipe of this name made by anyone else first
  // is not joined. One sender at a time; the others wait their turn.
  endpoint->pipe = ::CreateNamedPipeW(
      pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
      kBufferSize, kBufferSize, 0, &attributes);
  ::LocalFree(security);
  if (endpoint->pipe == INVALID_HANDLE_VALUE) return nullptr;
  endpoint->connected = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  endpoint->io = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!endpoint->connected || !endpoint->io || !endpoint->Arm()) return nullptr;
  const WatchHandle handle = reinterpret_cast<intptr_t>(endpoint->connected);
  return std::unique_ptr<HandoverListener>(new HandoverListener(std::move(endpoint), handle));
}

HandoverListener::~HandoverListener() = default;

std::optional<std::string> HandoverListener::Accept() {
  Endpoint& e = *m_endpoint;
  if (::WaitForSingleObject(e.connected, 0) != WAIT_OBJECT_0) return std::nullopt;
  std::optional<std::string> path;
  DWORD unused = 0;
  if (!e.connectPending || ::GetOverlappedResult(e.pipe, &e.connect, &unused, FALSE))
    path = e.Take();
  // Whatever came of it, the pipe is free for the next sender.
  ::DisconnectNamedPipe(e.pipe);
  e.Arm();
  return path;
}

bool HandOverFile(const std::string& name, const std::string& file, int waitMs) {
  if (file.empty()) return false;
  const std::wstring wide = win32::Widen(file);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return false;
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return false;
  full.resize(n);
  std::string path = win32::Narrow(full);

  const std::wstring pipeName = PipeName(name, ThisUserSid());
  if (pipeName.empty()) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  HANDLE raw;
  // The pipe serves one sender at a time; the others wait for it. No more
  // than identification is granted to whoever made the pipe.
  while ((raw = ::CreateFileW(
              pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
              FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr)) ==
         INVALID_HANDLE_VALUE) {
    if (::GetLastError() != ERROR_PIPE_BUSY) return false;
    const DWORD left = MillisecondsLeft(deadline);
    if (left == 0) return false;
    if (!::WaitNamedPipeW(pipeName.c_str(), left)) ::Sleep(20);
  }
  const OwnedHandle pipe(raw);
  ULONG server = 0;
  if (!::GetNamedPipeServerProcessId(pipe.get(), &server) || !RunsAsThisUser(server)) return false;
  // The window comes to the front at the request the user just made here.
  ::AllowSetForegroundWindow(server);
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return false;

  const OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.get()) return false;
  DWORD moved = 0;
  if (Transfer(pipe.get(), event.get(), true, path.data(), static_cast<DWORD>(path.size()), moved,
               deadline) != Io::kDone ||
      moved != path.size())
    return false;
  char answer = 0;
  return Transfer(pipe.get(), event.get(), false, &answer, 1, moved, deadline) == Io::kDone &&
         moved == 1 && answer == kAcknowledged;
}

}  // namespace platform
