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

#include "engine/anchor_scanner.h"
#include "engine/harvest_engine.h"
#include "platform/text_file.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

namespace {

// A thumbnail gallery the way such pages are written: a head with styles
// and a script, navigation, then rows of thumbnails, each an anchor to the
// picture around an IMG, with captions, and now and then prose.
class PageMaker {
 public:
  std::string Head() const {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
           "<html lang=\"ja\"><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
           "charset=UTF-8\">\r\n<title>\xE3\x82\xAE\xE3\x83\xA3\xE3\x83\xA9\xE3\x83\xAA\xE3\x83\xBC"
           "</title>\r\n<link rel=\"stylesheet\" href=\"/css/site.css\" type=\"text/css\">\r\n"
           "<style type=\"text/css\">\r\n  div.thumb { float: left; margin: 4px; }\r\n"
           "  .caption { font-size: 80%; color: #666; }\r\n</style>\r\n"
           "<script type=\"text/javascript\">\r\n  function pop(u){ window.open(u, 'p', "
           "'width=640,height=480'); return false; }\r\n</script>\r\n</head>\r\n"
           "<body bgcolor=\"#ffffff\">\r\n";
  }

  // One block of the page body, about 4 KB.
  void Block(std::string& out) {
    out += "<table class=\"gallery\" border=\"0\" cellpadding=\"2\" cellspacing=\"0\">\r\n<tr>\r\n";
    for (int i = 0; i < 12; ++i) {
      unsigned n = m_n++;
      char line[640];
      const char* kind = (n % 17 == 0) ? "zip" : (n % 11 == 0) ? "gif" : "jpg";
      std::snprintf(line, sizeof line,
                    "<td align=\"center\" valign=\"top\"><div class=\"thumb\">"
                    "<a href=\"photos/%04u/IMG_%06u.%s\" onclick=\"return pop(this.href)\" "
                    "title=\"IMG_%06u\"><img src=\"thumbs/%04u/IMG_%06u_t.jpg\" width=\"160\" "
                    "height=\"120\" border=\"0\" alt=\"\xE5\x86\x99\xE7\x9C\x9F %u\"></a><br>\r\n"
                    "<span class=\"caption\">IMG_%06u.%s (%u KB)</span></div></td>\r\n",
                    n / 500, n, kind, n, n / 500, n, n, n, kind, 100 + n % 900);
      out += line;
      if (i % 4 == 3) out += "</tr>\r\n<tr>\r\n";
    }
    out += "</tr>\r\n</table>\r\n";
    if (m_n % 48 == 0) {
      out += "<p>Photos from the trip, in the order they were taken. Click a picture for "
             "the full size; <a href=\"../index.html\">back to the index</a> or "
             "<a href='#top'>to the top</a>. \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
             "\xE8\xAA\xAC\xE6\x98\x8E\xE6\x96\x87\xE3\x82\x82\xE3\x81\x82\xE3\x82\x8A\xE3\x81"
             "\xBE\xE3\x81\x99\xE3\x80\x82</p>\r\n<!-- row break -->\r\n<hr size=\"1\" "
             "noshade>\r\n<div class=\"nav\"><a href=page2.html>next</a> | <a "
             "href=\"http://example.com/\">home</a> | <A HREF=\"/cgi-bin/count.cgi?p=gal\">"
             "stats</A></div>\r\n";
    }
  }

 private:
  unsigned m_n = 0;
};

std::string MakePage(const std::string& path, size_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  PageMaker maker;
  std::string chunk = maker.Head();
  size_t written = 0;
  while (written < bytes) {
    while (chunk.size() < 256 * 1024) maker.Block(chunk);
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    written += chunk.size();
    chunk.clear();
  }
  std::fputs("</body></html>\r\n", f);
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
    FileFailure failure = ScanPageToLinkList(page, folder + "links.tmp");
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
  FileFailure failure = engine.ScanAnchorLinks(page);
  const double stage = Seconds(start);
  if (failure) {
    std::fprintf(stderr, "stage failed on %s\n", failure.path.c_str());
    return 1;
  }
  struct stat os {};
  stat((folder + texts::kFixedListName).c_str(), &os);

  std::printf("page: %.1f MB; link list: %.1f MB\n", pageMb, listBytes / 1048576.0);
  std::printf("scan, file to file: best %.0f MB/s, median %.0f MB/s (%.3f s)\n", pageMb / times.front(),
              pageMb / times[times.size() / 2], times.front());
  std::printf("text-mode read alone: best %.0f MB/s\n", pageMb / readBest);
  std::printf("whole stage (scan, filter, resolve, append): %.0f MB/s (%.3f s), output %.1f MB\n",
              pageMb / stage, stage, os.st_size / 1048576.0);
  std::printf("peak memory: %ld KB before scanning, %ld KB after scanning, %ld KB at the end\n",
              rssBefore, rssScan, PeakKilobytes());

  std::filesystem::remove_all(folder);
  return 0;
}
