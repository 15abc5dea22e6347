#include "platform/window_backend.h"

#include <cstdio>
#include <cstdlib>

#include "platform/program_version.h"
#include "platform/win_app.h"

namespace platform {

namespace {
IWindowBackend* g_backend = nullptr;
}

void SetWindowBackend(IWindowBackend* backend) { g_backend = backend; }

IWindowBackend& WindowBackend() {
  if (!g_backend) {
    // A programming error of the entry point: every program picks a backend
    // before it opens a window.
    std::fprintf(stderr, "%s: no window backend was chosen\n", kProgramName);
    std::abort();
  }
  return *g_backend;
}

bool HasWindowBackend() { return g_backend != nullptr; }

std::string ProgramName() {
  if (const CWinApp* app = AfxGetApp(); app && !app->m_pszAppName.empty()) return app->m_pszAppName;
  return kProgramName;
}

std::string CaptionOrProgramName(const std::string& caption) {
  return caption.empty() ? ProgramName() : caption;
}

}  // namespace platform
