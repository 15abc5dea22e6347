// IDNA on Linux: libidn2, loaded when the first label needs it, as the
// Internet session loads libcurl: most runs meet no international name and
// never pay for the library and its Unicode tables.
#include "platform/domain_to_ascii.h"

// Only the library's flags and codes; its functions are looked up.
#include <dlfcn.h>
#include <idn2.h>

#include <mutex>

namespace platform {

namespace {

// The library's name as its runtime package installs it.
constexpr const char* kIdn2Library = "libidn2.so.0";

struct Idn2Library {
  decltype(&::idn2_to_ascii_8z) toAscii = nullptr;
  decltype(&::idn2_free) release = nullptr;
};

const Idn2Library* Idn2() {
  static std::once_flag once;
  static Idn2Library library;
  static bool ready = false;
  std::call_once(once, [] {
    void* handle = ::dlopen(kIdn2Library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    library.toAscii =
        reinterpret_cast<decltype(library.toAscii)>(::dlsym(handle, "idn2_to_ascii_8z"));
    library.release = reinterpret_cast<decltype(library.release)>(::dlsym(handle, "idn2_free"));
    ready = library.toAscii && library.release;
  });
  return ready ? &library : nullptr;
}

}  // namespace

namespace system_idna {

std::optional<std::string> LabelToAscii(std::string_view utf8Label, bool beStrict) {
  const Idn2Library* idn2 = Idn2();
  if (!idn2) return std::nullopt;
  const std::string label(utf8Label);
  const int flags =
      IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT | (beStrict ? IDN2_USE_STD3_ASCII_RULES : 0);
  char* output = nullptr;
  if (idn2->toAscii(label.c_str(), &output, flags) != IDN2_OK || !output) return std::nullopt;
  std::string ascii(output);
  idn2->release(output);
  return ascii;
}

}  // namespace system_idna

}  // namespace platform
