#include "platform/windows/internet_errors.h"

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>

namespace platform::wininet {

std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = 0;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST)
    n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         ::GetModuleHandleW(L"wininet.dll"), error, 0,
                         reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0)
    n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = n ? win32::Narrow(std::wstring_view(text, n)) : std::string();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "Internet error " + std::to_string(error);
  return message;
}

std::string LastErrorText() { return ErrorText(::GetLastError()); }

// The library tells a refused connection from an unreachable server by
// neither code nor text: both are "cannot connect", taken as refused.
InternetFailure CauseOf(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_INVALID_URL:
      return InternetFailure::kBadAddress;
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return InternetFailure::kUnsupportedAddress;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return InternetFailure::kHostNotFound;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return InternetFailure::kRefused;
    case ERROR_INTERNET_TIMEOUT:
      return InternetFailure::kTimedOut;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return InternetFailure::kCertificate;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return InternetFailure::kTls;
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
    case ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT:
    case ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT:
      return InternetFailure::kProxy;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return InternetFailure::kNoAnswer;
    case ERROR_INTERNET_OPERATION_CANCELLED:
      return InternetFailure::kStopped;
    default:
      return InternetFailure::kOther;
  }
}

Failure LastFailure() {
  const DWORD error = ::GetLastError();
  return {CauseOf(error), ErrorText(error)};
}

}  // namespace platform::wininet
