#pragma once
// Browser reading, the page's side: the stored page decoded from its
// encoding as a browser finds it, tokenized as the HTML standard does, and
// what it links to (and, when asked, shows) either resolved beside the scan
// into the addresses to write (see ResolveAlongside) or written to the run's
// link list as the page spells it, to be resolved afterwards.
#include <optional>
#include <string>

#include "engine/harvest_engine.h"

// What the scan learnt of the document that resolving its links needs.
struct BrowserPage {
  std::string encoding;                 // as the Encoding Standard names it
  std::optional<std::string> baseHref;  // the first <base href>, as spelled
  // Whether the list at ResolveAlongside::path holds the addresses to write,
  // resolved against the document's final base; the link list is then not
  // written.
  bool resolved = false;
};

class CHarvestSettings;

// The links resolved, judged and kept once each on a thread of their own
// while the page is still being scanned, against the base known when the
// first is found. A <base href> met after that makes the work worthless:
// the page is read again with that base known from the start. Where the
// list at `path` cannot be written, the link list is, as without this.
struct ResolveAlongside {
  const CHarvestSettings& settings;
  const std::string& documentUrl;
  const std::string& path;
};

// Scans the page at `pagePath` into a new private link list at `linkPath`:
// its bytes as stored, or with `textMode` as a text-mode read gives them
// back (a downloaded page). `mapPage`: whether the page may be mapped, as a
// scratch file of the program's own may; a page someone else may change is
// only read. `contentType`: the answer's Content-Type, empty for a local
// page. On failure neither list is left.
FileFailure ScanPageAsBrowser(const std::string& pagePath, bool textMode, bool mapPage,
                              const std::string& contentType, bool embedded,
                              const std::string& linkPath, BrowserPage& page,
                              const ResolveAlongside* alongside = nullptr);
