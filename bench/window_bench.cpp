// Times the window harvesting a large page from a loopback server against
// vimbel-cli harvesting the same page from the same server, as a person
// waits for each.
//
//   build/window_bench [MEGABYTES] [ROUNDS]     (default 32 MB, 3 rounds)
//
// The window is the real main dialog on the Qt backend, driven in this
// process: the address goes into the field and the start button is
// pressed; its time runs until the completion message box has been drawn
// on the screen. It runs on the X server DISPLAY names; without one, on an
// Xvfb this program starts on a free display when Xvfb is installed, else
// offscreen (QT_QPA_PLATFORM chooses otherwise). vimbel-cli is taken from
// the folder this program lives in and timed as a process. Each side runs
// ROUNDS times; the medians are compared.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>

#include <algorithm>
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

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A gallery-like page of about `bytes` bytes: each line one anchor with text
// around it, all but one in 32 to an image and the others to pages, so the
// filter has work to do and the output keeps only the images; 32 MB holds
// about 300,000 images.
std::string MakePage(size_t bytes, size_t& anchors, size_t& images) {
  std::string page = "<html><body>\n";
  page.reserve(bytes + 256);
  anchors = images = 0;
  char line[256];
  while (page.size() < bytes) {
    const bool image = anchors % 32 != 31;
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

// Marks the moment the completion box has been drawn, then confirms it as
// the person would.
class BoxDrawn final : public QObject {
 public:
  explicit BoxDrawn(Clock::time_point& drawn) : m_drawn(drawn) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box && event->type() == QEvent::Paint && !m_seen && box->windowHandle() &&
        box->windowHandle()->isExposed()) {
      m_seen = true;
      // After the paint this event starts, and its flush to the screen.
      QTimer::singleShot(0, box, [this, box] {
        m_drawn = Clock::now();
        box->done(QMessageBox::Ok);
      });
    }
    return false;
  }

 private:
  Clock::time_point& m_drawn;
  bool m_seen = false;
};

// The main dialog as the user drives it: a moment after it shows, the
// address goes into the field and the start button is pressed. The run ends
// when the completion message box has been drawn.
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

  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override {
    if (!m_message.empty()) return platform::IDOK;
    m_message = text;
    BoxDrawn drawn(m_end);
    qApp->installEventFilter(&drawn);
    const int result = CHarvestDlg::ShowMessage(text, caption, type);
    qApp->removeEventFilter(&drawn);
    return result;
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
// the completion box on the screen, or a negative value when another
// message came.
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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// An X server of this program's own when none is named: Xvfb on the first
// free display. Its process id, or -1.
pid_t StartXvfb() {
  if (std::getenv("DISPLAY") || std::getenv("QT_QPA_PLATFORM")) return -1;
  const char* const xvfb = "/usr/bin/Xvfb";
  if (::access(xvfb, X_OK) != 0) return -1;
  int display = 90;
  while (display < 200 && fs::exists("/tmp/.X11-unix/X" + std::to_string(display))) ++display;
  const std::string name = ":" + std::to_string(display);
  std::vector<std::string> argv = {xvfb, name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, xvfb, nullptr, nullptr, args.data(), environ) != 0) return -1;
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
  for (int i = 0; i < 100 && !fs::exists(socket); ++i) ::usleep(50'000);
  if (!fs::exists(socket)) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  setenv("DISPLAY", name.c_str(), 1);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
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
  const pid_t xvfb = StartXvfb();
  setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") ? "xcb" : "offscreen", 0);

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

  std::printf("page: %.1f MB, %zu anchors, %zu to images, %s; window on %s%s\n",
              pageBytes / 1048576.0, anchors, images, url.c_str(), std::getenv("QT_QPA_PLATFORM"),
              xvfb > 0 ? " (its own Xvfb)" : "");
  std::vector<double> windowTimes, cliTimes;
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
    windowTimes.push_back(window);
    cliTimes.push_back(cliSeconds);
  }
  server.Stop();
  if (xvfb > 0) {
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
  }
  if (!ok) return 1;

  const double window = Median(windowTimes), cliMedian = Median(cliTimes);
  std::printf("median: window %.3f s, vimbel-cli %.3f s, ratio %.2f\n", window, cliMedian,
              window / cliMedian);
  return 0;
}
