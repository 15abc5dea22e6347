#include "engine/connect_failure_text.h"

#include "resources/texts.h"

std::string ConnectFailureText(platform::InternetFailure cause, const std::string& libraryText) {
  using platform::InternetFailure;
  const char* text = nullptr;
  switch (cause) {
    case InternetFailure::kBadAddress:
      text = texts::kCauseBadAddress;
      break;
    case InternetFailure::kUnsupportedAddress:
      text = texts::kCauseUnsupportedAddress;
      break;
    case InternetFailure::kHostNotFound:
      text = texts::kCauseHostNotFound;
      break;
    case InternetFailure::kRefused:
      text = texts::kCauseRefused;
      break;
    case InternetFailure::kUnreachable:
      text = texts::kCauseUnreachable;
      break;
    case InternetFailure::kTimedOut:
      text = texts::kCauseTimedOut;
      break;
    case InternetFailure::kCertificate:
      text = texts::kCauseCertificate;
      break;
    case InternetFailure::kTls:
      text = texts::kCauseTls;
      break;
    case InternetFailure::kTooManyRedirects:
      text = texts::kCauseTooManyRedirects;
      break;
    case InternetFailure::kRedirectNotFetched:
      text = texts::kCauseRedirectNotFetched;
      break;
    case InternetFailure::kProxy:
      text = texts::kCauseProxy;
      break;
    case InternetFailure::kNoAnswer:
      text = texts::kCauseNoAnswer;
      break;
    case InternetFailure::kNone:
    case InternetFailure::kOther:
    case InternetFailure::kStopped:
      break;
  }
  return std::string(texts::kCannotConnect) + "\n" + (text ? text : libraryText);
}
