// Times the window harvesting a large page from a loopback server against
// vimbel-cli harvesting the same page from the same server.
//
//   build/window_bench [MEGABYTES] [ROUNDS]     (default 36 MB, 3 rounds)
//
// The window is the real main dialog on the Qt backend, offscreen, driven
// in this process: the address goes into the field and the start button is
// pressed; its time runs until the completion message would appear. vimbel-cli
// is taken from the folder this program lives in and timed as a process.
// Each side runs ROUNDS times; the best time of each is compared.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "platform/dialog.h"
#include "platform/qt/qt_backend.h"
#include "platform/win_types.h"
#include "ui/harvest_app.h"
#include "tests/support/http_server.h"
#include "ui/harvest_dlg.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A gallery-like page of about `bytes` bytes: each line one anchor with text
// around it, three in five to an image and the others to pages, so the
// filter has work to do and the output keeps only the images.
std::string MakePage(size_t bytes, size_t& anchors, size_t& images) {
  std::string page = "<html><body>\n";
  page.reserve(bytes + 256);
  anchors = images = 0;
  char line[256];
  while (page.size() < bytes) {
    const bool image = anchors % 5 < 3;
    int n = std::snprintf(line, sizeof line,
                          "<p>item %zu of the collection, taken on a sunny day by the river "
                          "<a href=\"pics/%08zu.%s\">view</a></p>\n",
                          anchors, anchors, image ? "jpg" : "html");
    page.append(line, static_cast<size_t>(n));
    ++anchors;
    if (image) ++images;
  }
  page += "</body></html>\n";
  return page;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The main dialog as the user drives it: a moment after it shows, the
// address goes into the field and the start button is pressed. The run's
// end is the moment the dialog would show its completion message; the box
// itself is left out, as no one is there to confirm it.
class TimedHarvestDlg final : public CHarvestDlg {
 public:
  TimedHarvestDlg(std::string url, std::string saveFolder)
      : m_url(std::move(url)), m_saveFolder(std::move(saveFolder)) {}

  Clock::time_point m_start, m_end;
  std::string m_message;

 protected:
  platform::BOOL OnInitDialog() override {
    const platform::BOOL result = CHarvestDlg::OnInitDialog();
    // Time for the window to reach the screen before the button is pressed.
    SetTimer(kStartTimerId, 300);
    return result;
  }

  const platform::MessageMap& GetMessageMap() const override {
    static const platform::MessageMap map = {
        platform::ON_WM_TIMER(&TimedHarvestDlg::OnStartTimer),
    };
    return map;
  }

  int ShowMessage(const std::string& text, const std::string&, platform::UINT) override {
    if (m_message.empty()) {
      m_end = Clock::now();
      m_message = text;
    }
    return platform::IDOK;
  }

 private:
  static constexpr platform::UINT kStartTimerId = 1;

  void OnStartTimer(platform::UINT) {
    KillTimer(kStartTimerId);
    // As vimbel-cli is told below: images only, a plain list appended to
    // the fixed file in the save folder.
    CHarvestApp& app = GetHarvestApp();
    app.m_bImage = 1;
    app.m_bArchive = app.m_bWave = app.m_bMovie = app.m_bExtra = app.m_bExe = 0;
    m_nOutPutType = 2;
    m_nFileSelect = 2;
    m_strSaveFolder = m_saveFolder;
    m_editUrl.SetWindowText(m_url);
    m_start = Clock::now();
    DispatchCommand(platform::IDOK);
    EndDialog(platform::IDCANCEL);
  }

  std::string m_url;
  std::string m_saveFolder;
};

// One harvest through the main dialog: the seconds from the start button to
// the completion message, or a negative value when another message came.
double WindowRun(const std::string& url, const std::string& saveFolder) {
  TimedHarvestDlg dlg(url, saveFolder);
  GetHarvestApp().m_pMainWnd = &dlg;
  dlg.DoModal();
  GetHarvestApp().m_pMainWnd = nullptr;
  if (dlg.m_message != "終了しました。") {
    std::fprintf(stderr, "window_bench: the window said \"%s\"\n", dlg.m_message.c_str());
    return -1;
  }
  return Seconds(dlg.m_end - dlg.m_start);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 36;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (megabytes == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: window_bench [MEGABYTES] [ROUNDS]\n");
    return 64;
  }

  const std::optional<std::string> cli = bench::ProgramBeside("window_bench", "vimbel-cli");
  if (!cli) return 1;
  // A world of its own for both sides: profile, scratch folder and output.
  std::optional<bench::World> world = bench::World::Make({"out"});
  if (!world) return 1;
  const std::string& dir = world->Dir();
  world->Enter();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // xcb pictures a real display

  size_t anchors = 0, images = 0;
  std::string page = MakePage(megabytes * 1024 * 1024, anchors, images);
  const size_t pageBytes = page.size();
  test::HttpServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "window_bench: cannot start the loopback server\n");
    return 1;
  }
  server.Route("/gallery/page.html", test::HttpRoute::Page(200, std::move(page)));
  const std::string url = server.Url("/gallery/page.html");
  const std::string output = dir + "/out/vimbel.txt";
  const std::string errors = dir + "/stderr.txt";

  platform::qt::QtSession qt("vimbel");
  CHarvestApp app;

  std::printf("page: %.1f MB, %zu anchors, %zu to images, %s\n", pageBytes / 1048576.0, anchors,
              images, url.c_str());
  double bestWindow = 1e9, bestCli = 1e9;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    fs::remove(output);
    const double window = WindowRun(url, dir + "/out/");
    const size_t windowLines = bench::CountLines(output);

    fs::remove(output);
    const bench::ChildRun cliRun = bench::RunChild(
        {*cli, "--list", "--append", "--types", "image", "--save-folder", dir + "/out", url}, {},
        errors);
    const int cliStatus = cliRun.status;
    const double cliSeconds = cliRun.wall;
    const size_t cliLines = bench::CountLines(output);

    std::printf("round %d: window %.3f s (%zu lines), vimbel-cli %.3f s (exit %d, %zu lines)\n",
                round + 1, window, windowLines, cliSeconds, cliStatus, cliLines);
    if (window < 0 || cliStatus != 0 || windowLines != images || cliLines != images) {
      std::fprintf(stderr, "window_bench: a run failed or lost links\n%s",
                   bench::Contents(errors).c_str());
      ok = false;
    }
    bestWindow = std::min(bestWindow, window);
    bestCli = std::min(bestCli, cliSeconds);
  }
  server.Stop();
  if (!ok) return 1;

  std::printf("best: window %.3f s, vimbel-cli %.3f s, ratio %.2f\n", bestWindow, bestCli,
              bestWindow / bestCli);
  return 0;
}
