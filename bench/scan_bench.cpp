// Anchor scan throughput: generates a gallery page of at least 64 MB, scans
// it from file to file with the program's own scanner (text-mode read, the
// transition table, text-mode write of the link list), and prints MB/s and
// the peak resident memory. Then the whole stage once more, with the link
// filter, resolution and the appended list output.
//
//   scan_bench [megabytes]     (default 64)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/gallery_page.h"
#include "engine/harvest_engine.h"
#include "engine/page_scan.h"
#include "platform/text_file.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

namespace {

std::string MakePage(const std::string& path, size_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  bench::GalleryPage maker;
  std::string chunk = maker.Head();
  size_t written = 0;
  while (written < bytes) {
    while (chunk.size() < 256 * 1024) maker.Block(chunk);
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    written += chunk.size();
    chunk.clear();
  }
  std::fputs(maker.Tail(), f);
  std::fclose(f);
  return path;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class BenchEngine : public CHarvestEngine {
 public:
  using CHarvestEngine::CHarvestEngine;

 protected:
  std::string GetAddressText() const override { return {}; }
  void SetStatusText(const std::string&) override {}
  int ShowMessage(const std::string&, const std::string&, platform::UINT) override { return 1; }
  int RunCredentialsPrompt() override { return 2; }
};

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  if (megabytes < 1) megabytes = 64;

  std::string folder = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  folder += "/vimbel-bench-XXXXXX";
  if (!mkdtemp(folder.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  folder += "/";
  const std::string page = MakePage(folder + "page.html", megabytes << 20);
  struct stat st {};
  stat(page.c_str(), &st);
  const double pageMb = static_cast<double>(st.st_size) / (1 << 20);
  const long rssBefore = PeakKilobytes();

  // Scan only: page file to link list file, best of five.
  std::vector<double> times;
  off_t listBytes = 0;
  for (int run = 0; run < 5; ++run) {
    auto start = std::chrono::steady_clock::now();
    FileFailure failure = ScanPageFile(page, folder + "links.tmp");
    times.push_back(Seconds(start));
    if (failure) {
      std::fprintf(stderr, "scan failed on %s\n", failure.path.c_str());
      return 1;
    }
    struct stat ls {};
    stat((folder + "links.tmp").c_str(), &ls);
    listBytes = ls.st_size;
  }
  std::sort(times.begin(), times.end());
  const long rssScan = PeakKilobytes();

  // The text-mode read alone, for what bounds the scan.
  double readBest = 1e9;
  for (int run = 0; run < 5; ++run) {
    auto start = std::chrono::steady_clock::now();
    platform::TextReader in;
    in.Open(page);
    std::vector<char> block(64 * 1024);
    while (in.Read(block.data(), block.size()) > 0) {
    }
    readBest = std::min(readBest, Seconds(start));
  }

  // The whole stage: scan, filter (images), resolve, append a list.
  CHarvestSettings settings;
  settings.m_bImage = 1;
  BenchEngine engine(settings);
  engine.m_strBaseUrl = "http://example.com/gallery/";
  engine.m_strSaveFolder = folder;
  engine.m_nOutPutType = 2;
  engine.m_nFileSelect = 2;
  auto start = std::chrono::steady_clock::now();
  FileFailure failure = ScanAnchorLinks(engine, page);
  const double stage = Seconds(start);
  if (failure) {
    std::fprintf(stderr, "stage failed on %s\n", failure.path.c_str());
    return 1;
  }
  struct stat os {};
  stat((folder + texts::kFixedListName).c_str(), &os);

  std::printf("page: %.1f MB; link list: %.1f MB\n", pageMb, listBytes / 1048576.0);
  std::printf("scan, file to file: best %.0f MB/s, median %.0f MB/s (%.3f s)\n",
              pageMb / times.front(), pageMb / times[times.size() / 2], times.front());
  std::printf("text-mode read alone: best %.0f MB/s\n", pageMb / readBest);
  std::printf("whole stage (scan, filter, resolve, append): %.0f MB/s (%.3f s), output %.1f MB\n",
              pageMb / stage, stage, os.st_size / 1048576.0);
  std::printf("peak memory: %ld KB before scanning, %ld KB after scanning, %ld KB at the end\n",
              rssBefore, rssScan, PeakKilobytes());

  std::filesystem::remove_all(folder);
  return 0;
}
