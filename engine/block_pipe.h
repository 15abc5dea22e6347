#pragma once
// Bytes on their way to a file, written on a thread of their own a block at a
// time, so that whoever produces them (the download taking bytes off the
// connection, the link list's lines being resolved) never waits for the file
// system. Two blocks are held besides those queued between the two sides
// (one, or as many as the pipe was made for), whatever goes through.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

class BlockPipe {
 public:
  static constexpr size_t kBlock = 256 * 1024;

  // `consume` takes each block, in order, on the pipe's thread (or on the
  // caller's, where no thread can be had); false once it has failed, after
  // which nothing more is handed to it. Up to `queued` filled blocks wait
  // for it before the caller has to: more where its pace varies.
  explicit BlockPipe(std::function<bool(const char* data, size_t size)> consume, size_t queued = 1);
  ~BlockPipe();  // finishes, if Finish was not called
  BlockPipe(const BlockPipe&) = delete;
  BlockPipe& operator=(const BlockPipe&) = delete;

  // Room for up to `size` (at most kBlock) next bytes, to be read straight
  // into; valid until Commit, which says how many it now holds.
  char* Room(size_t size);
  bool Commit(size_t size);
  // Copies `bytes` in, across as many blocks as they need.
  bool Append(std::string_view bytes);
  // Queues what is left and waits until all is consumed: false once the
  // consumer has failed.
  bool Finish();
  bool Failed() const { return m_failed; }

 private:
  struct Block {
    std::unique_ptr<char[]> bytes{new char[kBlock]};
    size_t size = 0;
  };

  void QueueFilledBlock();  // the block being filled, for the consumer
  void Run();

  std::function<bool(const char*, size_t)> m_consume;
  Block m_filling;  // the caller's
  Block m_writing;  // the thread's

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Block> m_queue;  // a ring: m_queuedCount of them from m_queueHead
  size_t m_queueHead = 0;
  size_t m_queuedCount = 0;
  bool m_ending = false;
  std::atomic<bool> m_failed{false};

  std::thread m_thread;
  bool m_finished = false;
};
