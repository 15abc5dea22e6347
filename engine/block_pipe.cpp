#include "engine/block_pipe.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/thread_start.h"

BlockPipe::BlockPipe(std::function<bool(const char* data, size_t size)> consume, size_t queued)
    : m_consume(std::move(consume)), m_queue(std::max<size_t>(queued, 1)) {
  // Without a thread of their own the blocks are consumed on the caller's.
  platform::StartThread(m_thread, [this] { Run(); });
}

BlockPipe::~BlockPipe() { Finish(); }

char* BlockPipe::Room(size_t size) {
  if (kBlock - m_filling.size < size) QueueFilledBlock();
  return m_filling.bytes.get() + m_filling.size;
}

bool BlockPipe::Commit(size_t size) {
  m_filling.size += size;
  if (m_filling.size == kBlock) QueueFilledBlock();
  return !m_failed;
}

bool BlockPipe::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t n = std::min(bytes.size(), kBlock - m_filling.size);
    std::memcpy(m_filling.bytes.get() + m_filling.size, bytes.data(), n);
    bytes.remove_prefix(n);
    Commit(n);
  }
  return !m_failed;
}

bool BlockPipe::Finish() {
  if (m_finished) return !m_failed;
  m_finished = true;
  if (m_filling.size > 0) QueueFilledBlock();
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

void BlockPipe::QueueFilledBlock() {
  if (!m_thread.joinable()) {
    if (!m_failed && !m_consume(m_filling.bytes.get(), m_filling.size)) m_failed = true;
    m_filling.size = 0;
    return;
  }
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queuedCount < m_queue.size(); });
    // The blocks go round: filled, queued, consumed, and back empty.
    std::swap(m_filling, m_queue[(m_queueHead + m_queuedCount) % m_queue.size()]);
    ++m_queuedCount;
  }
  m_changed.notify_all();
  m_filling.size = 0;
}

void BlockPipe::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_queuedCount > 0 || m_ending; });
    if (m_queuedCount == 0) return;
    std::swap(m_writing, m_queue[m_queueHead]);
    m_queueHead = (m_queueHead + 1) % m_queue.size();
    --m_queuedCount;
    lock.unlock();
    m_changed.notify_all();
    if (!m_failed && !m_consume(m_writing.bytes.get(), m_writing.size)) m_failed = true;
    lock.lock();
  }
}
