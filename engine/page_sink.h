#pragma once
// Where a downloaded page's bytes go: the page scratch file and the scan
// that writes the link list alongside. Both run on a thread of their own, a
// block at a time, so that taking the next bytes off the connection never
// waits for the file system; three blocks are held, whatever the page's
// size.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/download_scan.h"
#include "platform/text_file.h"

class PageSink {
 public:
  PageSink(platform::TextWriter& page, DownloadScan& scan);
  ~PageSink();  // finishes, if Finish was not called
  PageSink(const PageSink&) = delete;
  PageSink& operator=(const PageSink&) = delete;

  // Room for up to `size` (at most kBlock) next bytes of the body, to be
  // read straight into; valid until Commit.
  char* Room(size_t size);
  // The first `size` bytes of the room now hold the body's next bytes.
  // False once the page could not be written.
  bool Commit(size_t size);
  // Hands over what is left and waits until all is written: false when the
  // page could not be written whole.
  bool Finish();

  static constexpr size_t kBlock = 256 * 1024;

 private:
  struct Block {
    std::unique_ptr<char[]> bytes{new char[kBlock]};
    size_t size = 0;
  };

  void HandOver();  // queues the block being filled
  bool WriteBlock(const Block& block);
  void Run();

  platform::TextWriter& m_page;
  DownloadScan& m_scan;
  Block m_filling;  // the caller's
  Block m_writing;  // the thread's

  std::mutex m_mutex;
  std::condition_variable m_changed;
  Block m_queued;
  bool m_hasQueued = false;
  bool m_ending = false;
  std::atomic<bool> m_failed{false};

  std::thread m_thread;
  bool m_finished = false;
};
