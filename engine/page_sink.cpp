#include "engine/page_sink.h"

#include <system_error>
#include <utility>

PageSink::PageSink(platform::TextWriter& page, DownloadScan& scan) : m_page(page), m_scan(scan) {
  try {
    m_thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Without a thread of their own the blocks are written on the caller's.
  }
}

PageSink::~PageSink() { Finish(); }

char* PageSink::Room(size_t size) {
  if (kBlock - m_filling.size < size) HandOver();
  return m_filling.bytes.get() + m_filling.size;
}

bool PageSink::Commit(size_t size) {
  m_filling.size += size;
  if (m_filling.size == kBlock) HandOver();
  return !m_failed;
}

bool PageSink::Finish() {
  if (m_finished) return !m_failed;
  m_finished = true;
  if (m_filling.size > 0) HandOver();
  if (m_thread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
  }
  return !m_failed;
}

bool PageSink::WriteBlock(const Block& block) {
  if (!m_page.Write(block.bytes.get(), block.size)) return false;
  m_scan.Feed(block.bytes.get(), block.size);
  return true;
}

void PageSink::HandOver() {
  if (!m_thread.joinable()) {
    if (!m_failed && !WriteBlock(m_filling)) m_failed = true;
    m_filling.size = 0;
    return;
  }
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_hasQueued; });
    // The three blocks go round: filled, queued, written, and back empty.
    std::swap(m_filling, m_queued);
    m_hasQueued = true;
  }
  m_changed.notify_all();
  m_filling.size = 0;
}

void PageSink::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_hasQueued || m_ending; });
    if (!m_hasQueued) return;
    std::swap(m_writing, m_queued);
    m_hasQueued = false;
    lock.unlock();
    m_changed.notify_all();
    // Once the page has failed, what follows is dropped: the run ends.
    if (!m_failed && !WriteBlock(m_writing)) m_failed = true;
    lock.lock();
  }
}
