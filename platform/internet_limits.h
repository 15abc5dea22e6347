#pragma once
// How long and how far an Internet request may go, the same for both
// systems' sessions.
namespace platform {

struct InternetTimeouts {
  long connectMs = 30'000;  // from the first try to a connected server
  long stallMs = 60'000;    // without a byte, header or body
};

// The defaults, or VIMBEL_TEST_TIMEOUT_MS milliseconds for both when that
// variable holds a positive number: the tests would wait a minute for each
// silent server otherwise.
InternetTimeouts CurrentInternetTimeouts();

// Redirects followed for one request before it fails.
inline constexpr int kMaxRedirects = 20;

}  // namespace platform
