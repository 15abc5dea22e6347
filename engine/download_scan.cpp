#include "engine/download_scan.h"

namespace {

// Found values are gathered and written a block at a time.
constexpr size_t kWriteBlock = 64 * 1024;

}  // namespace

bool DownloadScan::Open(const std::string& linkPath) {
  m_open = m_links.Open(linkPath, platform::TextWriter::Mode::kCreate, true);
  return m_open;
}

void DownloadScan::Feed(const char* data, size_t size) {
  if (!m_open || m_ended) return;
  const size_t text = platform::TextLength(data, size);
  m_ended = text < size;
  m_scanner.Feed(data, text, m_found);
  if (m_found.size() >= kWriteBlock) {
    m_links.Write(m_found);
    m_found.clear();
  }
}

bool DownloadScan::Close() {
  if (!m_open) return false;
  m_open = false;
  if (!m_found.empty()) m_links.Write(m_found);
  m_found.clear();
  return m_links.Close();
}
