// The browser-like reading against the exact anchor scan: generates the
// gallery page (64 MB by default) in memory and reads it in 256 KB blocks,
// as the harvest hands them over, with
//   - AnchorScanner::FeedStored, the exact scan, into its link list text;
//   - HtmlTokenizer without text, a sink taking the href of each <a>;
//   - HtmlTokenizer with text, the same sink also counting the text bytes;
//   - HtmlTokenizer without text feeding PageLinksCollector, as the browser
//     reading's scan does (with the embedded files), the addresses counted.
// Prints the best and median processor time of the rounds (and the best
// wall time) and the tokenizer's time as a multiple of the scanner's (the
// aim: at most 2 without text).
//
//   tokenizer_bench [megabytes] [rounds]     (defaults 64, 7)
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/gallery_page.h"
#include "engine/anchor_scanner.h"
#include "engine/html_tokenizer.h"
#include "engine/page_links_collector.h"

namespace {

constexpr size_t kBlock = 256 * 1024;

// The hrefs of anchors, one a line, as the link list has them.
class LinkSink : public HtmlTokenSink {
 public:
  std::string links;
  size_t textBytes = 0;
  size_t tags = 0;

  void OnStartTag(const HtmlTag& tag) override {
    ++tags;
    if (tag.name != "a") return;
    for (const HtmlAttribute& a : tag.attributes) {
      if (a.name == "href") {
        links.append(a.value);
        links += '\n';
        break;
      }
    }
  }
  void OnEndTag(const HtmlTag&) override { ++tags; }
  void OnCharacters(std::string_view text) override { textBytes += text.size(); }
};

// The processor time of this thread: on a machine shared with other work
// the wall time says more about the others.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
  double best = 0, median = 0;  // processor time
  double wall = 0;              // best wall time
};

Timing Time(int rounds, const std::function<void()>& run) {
  std::vector<double> seconds;
  double wall = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = ThreadSeconds();
    run();
    seconds.push_back(ThreadSeconds() - cpu);
    wall = std::min(
        wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  return {seconds.front(), seconds[seconds.size() / 2], wall};
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  if (megabytes < 1) megabytes = 64;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (rounds < 1) rounds = 7;

  const std::string page = bench::GalleryPage().Make(megabytes << 20);
  const double pageMb = static_cast<double>(page.size()) / (1 << 20);

  size_t scannerLinks = 0;
  const Timing scanner = Time(rounds, [&] {
    AnchorScanner scan;
    std::string out;
    size_t links = 0;
    for (size_t at = 0; at < page.size(); at += kBlock) {
      scan.FeedStored(page.data() + at, std::min(kBlock, page.size() - at), out);
      links += static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
      out.clear();
    }
    scan.EndStored(out);
    scannerLinks = links;
  });

  LinkSink lastSink;
  auto tokenize = [&](HtmlTokenizer::Text text) {
    LinkSink sink;
    HtmlTokenizer tokenizer(sink, text);
    size_t links = 0;
    for (size_t at = 0; at < page.size(); at += kBlock) {
      tokenizer.Feed(page.data() + at, std::min(kBlock, page.size() - at));
      links += static_cast<size_t>(std::count(sink.links.begin(), sink.links.end(), '\n'));
      sink.links.clear();
    }
    tokenizer.Finish();
    sink.links.assign(links, '\n');
    lastSink = std::move(sink);
  };
  const Timing tagsOnly = Time(rounds, [&] { tokenize(HtmlTokenizer::Text::kSkip); });
  const size_t tags = lastSink.tags, tokenizerLinks = lastSink.links.size();
  const Timing withText = Time(rounds, [&] { tokenize(HtmlTokenizer::Text::kDeliver); });
  size_t collected = 0;
  const Timing collector = Time(rounds, [&] {
    size_t found = 0;
    PageLinksCollector links(true,
                             [&found](FoundKind, std::string_view, std::string_view) { ++found; });
    HtmlTokenizer tokenizer(links, HtmlTokenizer::Text::kSkip);
    links.Attach(tokenizer);
    for (size_t at = 0; at < page.size(); at += kBlock)
      tokenizer.Feed(page.data() + at, std::min(kBlock, page.size() - at));
    tokenizer.Finish();
    collected = found;
  });

  std::printf("page: %.1f MB in %zu KB blocks; %d rounds\n", pageMb, kBlock / 1024, rounds);
  auto line = [&](const char* what, const Timing& t) {
    std::printf("%-22s best %.4f s (%4.0f MB/s), median %.4f s; wall best %.4f s\n", what, t.best,
                pageMb / t.best, t.median, t.wall);
  };
  line("anchor scanner:", scanner);
  line("tokenizer, tags only:", tagsOnly);
  line("tokenizer, with text:", withText);
  line("links collector:", collector);
  std::printf("scanner: %zu links; tokenizer: %zu tags, %zu anchor hrefs, %zu text bytes\n",
              scannerLinks, tags, tokenizerLinks, lastSink.textBytes);
  std::printf("links collector: %zu addresses\n", collected);
  std::printf("tags only / scanner: %.2f (best), %.2f (median); with text / scanner: %.2f (best)\n",
              tagsOnly.best / scanner.best, tagsOnly.median / scanner.median,
              withText.best / scanner.best);
  std::printf("links collector / scanner: %.2f (best), %.2f (median)\n",
              collector.best / scanner.best, collector.median / scanner.median);
  return 0;
}
