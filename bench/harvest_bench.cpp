// What a harvest costs next to merely reading or fetching the same page, in
// one run on one generated gallery page:
//
//   wc -l PAGE                       one pass over the page
//   vimbel-cli --open PAGE BASE/     the local harvest
//   curl -o FILE URL                 the page fetched from a loopback server
//   vimbel-cli URL                   the loopback harvest of the same page
//
//   build/harvest_bench [MEGABYTES] [ROUNDS]     (default 64 MB, 5 rounds)
//
// Each round runs the four one after the other, so that a busy machine slows
// them alike; the medians are compared. Each line shows the median wall time
// and the median processor time the command took in user space and in the
// kernel (what it waited for is the rest), and its peak resident memory.
// vimbel-cli is taken from the folder this program lives in.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/gallery_page.h"
#include "tests/support/http_server.h"

namespace {

namespace fs = std::filesystem;

using Sample = bench::ChildRun;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
  const char* name;
  std::vector<Sample> samples;

  double Wall() const { return Pick(&Sample::wall); }
  void Print() const {
    long peak = 0;
    for (const Sample& s : samples) peak = std::max(peak, s.peakKb);
    std::printf("  %-34s %8.3f s   user %6.3f s  kernel %6.3f s   peak %7ld KB\n", name, Wall(),
                Pick(&Sample::user), Pick(&Sample::system), peak);
  }

 private:
  double Pick(double Sample::*field) const {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(s.*field);
    return Median(values);
  }
};

// Block by block: a whole output read at once would raise this process's
// peak memory, and with it what its children report.
bool SameContents(const std::string& a, const std::string& b) {
  std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
  if (!inA || !inB) return false;
  std::vector<char> blockA(1 << 16), blockB(1 << 16);
  for (;;) {
    inA.read(blockA.data(), static_cast<std::streamsize>(blockA.size()));
    inB.read(blockB.data(), static_cast<std::streamsize>(blockB.size()));
    if (inA.gcount() != inB.gcount()) return false;
    if (!std::equal(blockA.begin(), blockA.begin() + inA.gcount(), blockB.begin())) return false;
    if (inA.gcount() == 0) return true;
  }
}

// The server's side: writes the page to `pagePath`, serves it from loopback,
// sends the port through `portOut` and stops when `stopIn` is closed.
int ServePage(size_t bytes, const std::string& pagePath, int portOut, int stopIn) {
  std::string page = bench::GalleryPage().Make(bytes);
  {
    std::ofstream out(pagePath, std::ios::binary);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (!out.flush()) return 1;
  }
  test::HttpServer server;
  if (!server.Start()) return 1;
  server.Route("/gallery/page.html", test::HttpRoute::Page(200, std::move(page)));
  int port = server.Port();
  if (write(portOut, &port, sizeof port) != sizeof port) return 1;
  char c;
  while (read(stopIn, &c, 1) > 0) {
  }
  server.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (megabytes == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: harvest_bench [MEGABYTES] [ROUNDS]\n");
    return 64;
  }
  const std::optional<std::string> cli = bench::ProgramBeside("harvest_bench", "vimbel-cli");
  if (!cli) return 1;
  // A world of its own: profile, scratch folder, page and output.
  std::optional<bench::World> world = bench::World::Make({"local", "net"});
  if (!world) return 1;
  const std::string& dir = world->Dir();
  const std::vector<std::string>& env = world->Env();

  const std::string pagePath = dir + "/page.html";
  int toServer[2], fromServer[2];
  if (pipe2(toServer, O_CLOEXEC) != 0 || pipe2(fromServer, O_CLOEXEC) != 0) {
    std::perror("pipe");
    return 1;
  }
  // The page lives in the server's process alone: a child spawned from a
  // process holding it would report it in its own peak memory.
  const pid_t serverPid = fork();
  if (serverPid == 0) {
    close(toServer[1]);
    close(fromServer[0]);
    _exit(ServePage(megabytes << 20, pagePath, fromServer[1], toServer[0]));
  }
  close(toServer[0]);
  close(fromServer[1]);
  int port = 0;
  if (serverPid < 0 || read(fromServer[0], &port, sizeof port) != sizeof port || port <= 0) {
    std::fprintf(stderr, "harvest_bench: cannot start the loopback server\n");
    return 1;
  }
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  const std::string url = origin + "/gallery/page.html";
  const double mb = fs::file_size(pagePath) / 1048576.0;
  const std::string fetched = dir + "/fetched.html";
  const std::string errors = dir + "/stderr.txt";
  const std::vector<std::string> common = {"--list", "--append", "--types", "image"};
  auto harvest = [&](const std::string& folder, std::vector<std::string> source) {
    std::vector<std::string> args = {*cli};
    args.insert(args.end(), common.begin(), common.end());
    args.insert(args.end(), {"--save-folder", folder});
    args.insert(args.end(), source.begin(), source.end());
    return args;
  };
  const std::string localOut = dir + "/local/vimbel.txt";
  const std::string netOut = dir + "/net/vimbel.txt";

  Series wc{"wc -l PAGE", {}}, local{"vimbel-cli --open PAGE BASE/", {}};
  Series curl{"curl -o FILE URL", {}}, net{"vimbel-cli URL", {}};
  std::printf("page: %.1f MB, %s\n", mb, url.c_str());
  bool ok = true;
  size_t links = 0;
  for (int round = 0; round < rounds && ok; ++round) {
    fs::remove(localOut);
    fs::remove(netOut);
    fs::remove(fetched);
    wc.samples.push_back(bench::RunChild({"wc", "-l", pagePath}, env, errors));
    local.samples.push_back(bench::RunChild(
        harvest(dir + "/local", {"--open", pagePath, origin + "/gallery/"}), env, errors));
    curl.samples.push_back(bench::RunChild({"curl", "-s", "-o", fetched, url}, env, errors));
    net.samples.push_back(bench::RunChild(harvest(dir + "/net", {url}), env, errors));
    links = bench::CountLines(localOut);
    // Both harvests read the same bytes and name the same base address.
    for (const Series* s : {&wc, &local, &curl, &net}) ok = ok && s->samples.back().status == 0;
    ok = ok && links > 0 && SameContents(localOut, netOut);
    if (!ok) {
      std::fprintf(stderr, "harvest_bench: a run failed, or the two harvests differ\n%s",
                   bench::Contents(errors).c_str());
    }
  }
  close(toServer[1]);  // the server's signal to stop
  waitpid(serverPid, nullptr, 0);
  if (!ok) return 1;

  std::printf("%zu links kept; medians of %d rounds:\n", links, rounds);
  for (const Series* s : {&wc, &local, &curl, &net}) s->Print();
  std::printf("local harvest / wc -l:      %.2f\n", local.Wall() / wc.Wall());
  std::printf("loopback harvest / curl -o: %.2f\n", net.Wall() / curl.Wall());
  return 0;
}
