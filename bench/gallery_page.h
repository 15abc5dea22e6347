#pragma once
// The page the benchmarks harvest: a thumbnail gallery the way such pages
// are written, with CR LF line ends as a stored page has them. A head with
// styles and a script, then rows of thumbnails, each an anchor to the
// picture around an IMG, with captions, and now and then prose and a
// navigation bar. About one anchor in 340 bytes; most lead to images.
#include <cstdio>
#include <string>

namespace bench {

class GalleryPage {
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

  static const char* Tail() { return "</body></html>\r\n"; }

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
      out +=
          "<p>Photos from the trip, in the order they were taken. Click a picture for "
          "the full size; <a href=\"../index.html\">back to the index</a> or "
          "<a href='#top'>to the top</a>. \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
          "\xE8\xAA\xAC\xE6\x98\x8E\xE6\x96\x87\xE3\x82\x82\xE3\x81\x82\xE3\x82\x8A\xE3\x81"
          "\xBE\xE3\x81\x99\xE3\x80\x82</p>\r\n<!-- row break -->\r\n<hr size=\"1\" "
          "noshade>\r\n<div class=\"nav\"><a href=page2.html>next</a> | <a "
          "href=\"http://example.com/\">home</a> | <A HREF=\"/cgi-bin/count.cgi?p=gal\">"
          "stats</A></div>\r\n";
    }
  }

  // A whole page of at least `bytes` bytes.
  std::string Make(size_t bytes) {
    std::string page = Head();
    page.reserve(bytes + 8192);
    while (page.size() < bytes) Block(page);
    page += Tail();
    return page;
  }

 private:
  unsigned m_n = 0;
};

}  // namespace bench
