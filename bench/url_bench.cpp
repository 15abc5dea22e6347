// Link resolution speed: a million links of the kinds a gallery page holds,
// resolved against one base by the browser-like reader (web_url) and by the
// exact one (link_resolution), each warm and reusing its buffers. Prints
// the time per link, best of five rounds, and checks that both read the
// plain links alike.
//
//   url_bench [links]     (default 1000000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/link_resolution.h"
#include "engine/web_url.h"

namespace {

constexpr const char* kBase = "http://www.example.com/gallery/2024/index.html";

// Links as a page holds them: mostly plain relative paths, some climbing
// up, rooted, with a query or a fragment, protocol-relative or absolute.
std::vector<std::string> MakeLinks(size_t count) {
  std::vector<std::string> links;
  links.reserve(count);
  char text[128];
  for (size_t i = 0; i < count; ++i) {
    const unsigned n = static_cast<unsigned>(i % 100000);
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
        std::snprintf(text, sizeof text, "images/photo%05u.jpg", n);
        break;
      case 4:
        std::snprintf(text, sizeof text, "../thumbs/t%05u.png", n);
        break;
      case 5:
        std::snprintf(text, sizeof text, "/static/img/%05u/full.jpg", n);
        break;
      case 6:
        std::snprintf(text, sizeof text, "view.cgi?id=%u&size=large", n);
        break;
      case 7:
        std::snprintf(text, sizeof text, "http://img.example.net/a/%05u.gif", n);
        break;
      case 8:
        std::snprintf(text, sizeof text, "//cdn.example.org/p/%05u.jpeg#top", n);
        break;
      default:
        std::snprintf(text, sizeof text, "./archive/%05u/../set%u.zip", n, n % 7);
        break;
    }
    links.emplace_back(text);
  }
  return links;
}

template <typename Resolve>
double BestNanosecondsPerLink(const std::vector<std::string>& links, Resolve resolve,
                              size_t& outputBytes) {
  double best = 1e18;
  for (int round = 0; round < 5; ++round) {
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& link : links) bytes += resolve(link);
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / static_cast<double>(links.size()));
    outputBytes = bytes;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  if (count < 10) count = 1000000;
  const std::vector<std::string> links = MakeLinks(count);

  const std::optional<WebUrl> base = ParseWebUrl(kBase);
  if (!base) {
    std::fprintf(stderr, "the base does not parse\n");
    return 1;
  }
  WebLinkResolver web(*base);
  ReferenceResolver exact(kBase);

  // The first of each kind, side by side, to see that both do the work.
  for (size_t i = 0; i < 10 && i < links.size(); ++i) {
    const auto resolved = web.Resolve(links[i]);
    const std::string webText = resolved ? std::string(*resolved) : "(invalid)";
    const std::string exactText(exact.Resolve(links[i]));
    std::printf("%-36s %s%s\n", links[i].c_str(), webText.c_str(),
                webText == exactText ? "" : ("   (exact: " + exactText + ")").c_str());
  }

  size_t webBytes = 0, exactBytes = 0;
  const double webNs = BestNanosecondsPerLink(
      links,
      [&](const std::string& link) {
        const auto resolved = web.Resolve(link);
        return resolved ? resolved->size() : 0;
      },
      webBytes);
  const double exactNs = BestNanosecondsPerLink(
      links, [&](const std::string& link) { return exact.Resolve(link).size(); }, exactBytes);

  std::printf("%zu links against %s, best of 5 rounds:\n", links.size(), kBase);
  std::printf("  web_url (URL Standard):         %6.1f ns per link, %zu bytes out\n", webNs,
              webBytes);
  std::printf("  link_resolution (RFC 3986):     %6.1f ns per link, %zu bytes out\n", exactNs,
              exactBytes);
  std::printf("  ratio: %.2f\n", webNs / exactNs);
  return 0;
}
