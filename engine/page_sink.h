#pragma once
// Where a downloaded page's bytes go: the page scratch file and the scan
// that writes the link list alongside. Both run on a thread of their own, a
// block at a time, so that taking the next bytes off the connection never
// waits for the file system; what is held stays a few blocks, whatever the
// page's size.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "engine/download_scan.h"
#include "platform/text_file.h"

class PageSink {
 public:
  PageSink(platform::TextWriter& page, DownloadScan& scan);
  ~PageSink();  // finishes, if Finish was not called
  PageSink(const PageSink&) = delete;
  PageSink& operator=(const PageSink&) = delete;

  // The next bytes of the body. False once the page could not be written.
  bool Write(const char* data, size_t size);
  // Hands over what is left and waits until all is written: false when the
  // page could not be written whole.
  bool Finish();

 private:
  static constexpr size_t kBlock = 256 * 1024;

  void HandOver();  // queues the block being filled
  bool WriteBlock(const std::string& block);
  void Run();

  platform::TextWriter& m_page;
  DownloadScan& m_scan;
  std::string m_filling;  // the caller's
  std::string m_writing;  // the thread's

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_queued;
  bool m_hasQueued = false;
  bool m_ending = false;
  std::atomic<bool> m_failed{false};

  std::thread m_thread;
  bool m_finished = false;
};
