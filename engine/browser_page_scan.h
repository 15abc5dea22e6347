#pragma once
// Browser reading, the page's side: the stored page decoded from its
// encoding as a browser finds it, tokenized as the HTML standard does, and
// what it links to (and, when asked, shows) written to the run's link list
// as the page spells it. The addresses are resolved when the list is
// written out, once the document's base is known wherever it stands.
#include <optional>
#include <string>

#include "engine/harvest_engine.h"

// What the scan learnt of the document that resolving its links needs.
struct BrowserPage {
  std::string encoding;                 // as the Encoding Standard names it
  std::optional<std::string> baseHref;  // the first <base href>, as spelled
};

// Scans the page at `pagePath` into a new private link list at `linkPath`:
// its bytes as stored, or with `textMode` as a text-mode read gives them
// back (a downloaded page). `mapPage`: whether the page may be mapped, as a
// scratch file of the program's own may; a page someone else may change is
// only read. `contentType`: the answer's Content-Type, empty for a local
// page. On failure the link list is removed.
FileFailure ScanPageAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                              const std::string& contentType, bool embedded,
                              const std::string& linkPath, BrowserPage& page);
