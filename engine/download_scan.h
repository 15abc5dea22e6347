#pragma once
// The anchor scan of a page while it downloads. The body's bytes, as they
// arrive, are what a text-mode read of the stored page gives back (its LFs
// are stored as CR LF and read back as LF) up to the first Ctrl-Z, so
// scanning them on the way writes the link list a scan of the stored page
// would, without reading the page a second time.
#include <cstddef>
#include <string>

#include "engine/anchor_scanner.h"
#include "platform/text_file.h"

class DownloadScan {
 public:
  // Creates the private link list at `linkPath`; false when it cannot be,
  // and the page must then be scanned once it is stored.
  bool Open(const std::string& linkPath);
  // The next bytes of the body, as they are written to the page.
  void Feed(const char* data, size_t size);
  // Writes what is left and closes the link list: true when it holds the
  // links of every byte fed.
  bool Close();

 private:
  AnchorScanner m_scanner;
  platform::TextWriter m_links;
  std::string m_found;
  bool m_open = false;
  bool m_ended = false;  // a Ctrl-Z has ended the page's text
};
