#pragma once
// The Qt 6 Widgets backend. This header is free of Qt so that an entry point
// outside platform/ can choose the backend without seeing Qt.
#include <memory>

#include "platform/window_backend.h"

namespace platform::qt {

// A backend drawing real windows. Needs a QApplication for its lifetime.
std::unique_ptr<IWindowBackend> CreateQtBackend();

// For entry points: owns the QApplication and the backend, and installs the
// backend with SetWindowBackend for as long as it lives. Qt sees only the
// program's name, so every command-line argument stays the program's own.
class QtSession {
 public:
  explicit QtSession(const char* programName);
  ~QtSession();
  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform::qt
