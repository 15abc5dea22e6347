// The link filter: which lines a set of categories keeps.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/link_filter.h"
#include "tests/support/test_environment.h"

using testing_support::TestEnvironment;

namespace {

enum Categories {
  kImage = 1,
  kExe = 2,
  kArchive = 4,
  kWave = 8,
  kMovie = 16,
  kExtra = 32,
  kAll = 64,
};

struct FilterCase {
  const char* line;
  int categories;
  const char* extent;
  bool passes;
};

void Select(CHarvestApp& app, int categories, const char* extent) {
  app.m_bImage = (categories & kImage) ? 1 : 0;
  app.m_bExe = (categories & kExe) ? 1 : 0;
  app.m_bArchive = (categories & kArchive) ? 1 : 0;
  app.m_bWave = (categories & kWave) ? 1 : 0;
  app.m_bMovie = (categories & kMovie) ? 1 : 0;
  app.m_bExtra = (categories & kExtra) ? 1 : 0;
  app.m_bAllLinks = (categories & kAll) ? 1 : 0;
  app.m_strExtent = extent;
}

TEST(LinkFilter, KeepsLinesThatContainAnExtensionOfASelectedCategory) {
  const std::vector<FilterCase> cases = {
      {"photo.JPG\n", kImage, "", true},
      {"x.jpg.html\n", kImage, "", true},
      {"index.cgi?img=a.gif\n", kImage, "", true},
      {"my.gifts/page.html\n", kImage, "", true},
      {"x.JPEG", kImage, "", true},
      {"x.jpe\n", kImage | kExe | kArchive | kWave | kMovie, "", false},
      {"x.aif\n", kImage | kExe | kArchive | kWave | kMovie, "", false},
      {"x.midi\n", kWave, "", true},
      {"x.mpeg4\n", kMovie, "", true},
      {"X.ZIP\n", kArchive, "", true},
      {"X.ZIP\n", kImage, "", false},
      {"setup.EXE", kExe, "", true},
      {"a.lzh b.wav c.aiff d.mp3", kArchive, "", true},
      {"song.mp3\n", kImage | kMovie, "", false},
      {"clip.mov\n", kMovie, "", true},
      {"page.html\n", kImage | kExe | kArchive | kWave | kMovie, "", false},
      // The custom extension, lowercased for the test; capitals match both.
      {"x.png\n", kExtra, ".PNG", true},
      {"X.PNG\n", kExtra, ".PNG", true},
      {"x.png\n", kImage, ".png", false},
      {"x.pn\n", kExtra, ".png", false},
      {"no dot\n", kExtra, ".", false},
      {"a.b\n", kExtra, ".", true},
      {"\n", kExtra, "", true},
      {"\n", kImage | kExe | kArchive | kWave | kMovie, "", false},
      {"anything\n", 0, "", false},
      // Full-width capitals lowercase to full-width small letters.
      {"\xEF\xBC\xB8.\xEF\xBC\xB0\xEF\xBC\xAE\xEF\xBC\xA7\n", kExtra,
       ".\xEF\xBD\x90\xEF\xBD\x8E\xEF\xBD\x87", true},
      {"x.\xEF\xBD\x90\xEF\xBD\x8E\xEF\xBD\x87\n", kExtra, ".\xEF\xBC\xB0\xEF\xBC\xAE\xEF\xBC\xA7",
       true},
      // A match never starts inside a character: the tail bytes of U+3042
      // (E3 81 82) are not the custom extension "\x81\x82".
      {"\xE3\x81\x82\n", kExtra, "\x81\x82", false},
      {"\x81\x82\n", kExtra, "\x81\x82", true},
      // Several custom extensions, separated by commas or blanks, also
      // full-width ones; each is looked for with its dot.
      {"x.webp\n", kExtra, ".png, webp", true},
      {"x.png\n", kExtra, ".png webp", true},
      {"webp\n", kExtra, ".png webp", false},
      {"x.AVIF\n", kExtra,
       ".jpg\xEF\xBC\x8C"
       "avif",
       true},
      {"x.avif\n", kExtra,
       ".jpg\xE3\x80\x80\xE3\x80\x81"
       "avif",
       true},
      // Every link, whatever its kind.
      {"page.html\n", kAll, "", true},
      {"no dot\n", kAll | kImage, "", true},
  };
  TestEnvironment env;
  for (const FilterCase& c : cases) {
    Select(env.App(), c.categories, c.extent);
    EXPECT_EQ(LinkPassesFilter(c.line, env.App()), c.passes)
        << c.line << " categories " << c.categories << " extent " << c.extent;
  }
}

// The filter looks for ASCII extensions in the line as it stands; the
// definition lowercases a copy and searches that. Random lines of capitals,
// near misses and multibyte characters must give the same answer both ways.
TEST(LinkFilter, AgreesWithTheLowercasedCopyOnRandomLines) {
  const char* const pieces[] = {
      "J",    "j", "P", "p", "G", "g", ".", "..", ".JP", "\xEF\xBC\xA1", "\xEF\xBD\x8A",
      "\xE3", "/", "x", "A", "e", "I", "f", "-"};
  const char* const extents[] = {".jpg", "jpg", "g", "", ".", "a", ".\xEF\xBD\x8Ag", "jP", "-G"};
  std::mt19937 random(3);
  std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
  TestEnvironment env;
  for (int categories : {int{kExtra}, kExtra | kImage}) {
    for (const char* extent : extents) {
      Select(env.App(), categories, extent);
      LinkFilter filter(env.App());
      std::vector<std::string> needles = {LowercaseMultibyte(extent)};
      if (categories & kImage) needles.insert(needles.end(), {".jpg", ".jpeg", ".gif"});
      for (int i = 0; i < 400; ++i) {
        std::string line;
        for (size_t n = random() % 9; n > 0; --n) line += pieces[piece(random)];
        bool expected = false;
        for (const std::string& needle : needles)
          expected = expected || ContainsAtCharacter(LowercaseMultibyte(line), needle);
        EXPECT_EQ(filter.Passes(line), expected) << line << " with " << extent;
      }
    }
  }
}

// Every extension of the table is kept by its own category and by no other:
// an extension lost from the table, or filed under the wrong category, fails
// its row.
TEST(LinkFilter, KeepsEachExtensionByItsOwnCategoryAlone) {
  struct Row {
    const char* extension;
    int category;
  };
  const Row rows[] = {
      {".jpg", kImage},   {".jpeg", kImage},  {".gif", kImage}, {".exe", kExe},
      {".lzh", kArchive}, {".zip", kArchive}, {".wav", kWave},  {".aiff", kWave},
      {".mid", kWave},    {".mp3", kWave},    {".avi", kMovie}, {".mov", kMovie},
      {".mpg", kMovie},   {".mpeg", kMovie},
  };
  const int all = kImage | kExe | kArchive | kWave | kMovie;
  TestEnvironment env;
  for (const Row& row : rows) {
    const std::string line = std::string("file") + row.extension + "\n";
    Select(env.App(), row.category, "");
    EXPECT_TRUE(LinkPassesFilter(line, env.App())) << row.extension << " by its own category";
    Select(env.App(), all & ~row.category, "");
    EXPECT_FALSE(LinkPassesFilter(line, env.App())) << row.extension << " by the others";
  }
}

TEST(LinkFilter, AFlagCountsOnlyWhenItIsOne) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  Select(app, 0, "");
  for (int value : {2, -1, 0}) {
    app.m_bImage = app.m_bExe = app.m_bArchive = app.m_bWave = app.m_bMovie = app.m_bExtra = value;
    EXPECT_FALSE(LinkPassesFilter("a.jpg b.exe c.zip d.wav e.avi f\n", app)) << value;
  }
  app.m_bExtra = 1;
  EXPECT_TRUE(LinkPassesFilter("f\n", app));
}

// However long the line, an extension is found wherever it stands, capitals
// and full-width capitals included: long lines are lowered in windows, and
// these place the extension across the first seam at every alignment.
TEST(LinkFilter, FindsAnExtensionAnywhereInALongLine) {
  TestEnvironment env;
  Select(env.App(), kImage | kExtra, "\xEF\xBC\x8E\xEF\xBC\xB0");  // ．Ｐ
  LinkFilter filter(env.App());
  constexpr size_t kSeam = 256 * 1024;
  const std::string kana = "\xE3\x81\x82";  // あ
  std::string kanaLine;
  while (kanaLine.size() < 3 * kSeam) kanaLine += kana;
  for (const std::string& base : {std::string(3 * kSeam, 'p'), kanaLine}) {
    const size_t unit = base[0] == 'p' ? 1 : kana.size();
    EXPECT_FALSE(filter.Passes(base));
    for (const std::string needle : {".JPEG", "\xEF\xBC\x8E\xEF\xBC\xB0"}) {
      for (size_t back = 0; back <= 12; ++back) {
        std::string line = base;
        line.replace((kSeam - back) / unit * unit, needle.size(), needle);
        EXPECT_TRUE(filter.Passes(line)) << needle << " " << back << " before the seam";
      }
    }
  }
  // Nor is one found inside a character that a seam cuts.
  Select(env.App(), kExtra, "\x81\x82");
  EXPECT_FALSE(LinkFilter(env.App()).Passes(kanaLine));
}

TEST(LinkFilter, LowercasesWholeCharactersOnly) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"ABC xyz 09", "abc xyz 09"},
      {"\xEF\xBC\xA1\xEF\xBC\xBA", "\xEF\xBD\x81\xEF\xBD\x9A"},  // Ａ Ｚ -> ａ ｚ
      {"\xEF\xBC\xA0\xEF\xBC\xBB", "\xEF\xBC\xA0\xEF\xBC\xBB"},  // ＠ ［ stay
      {"\xC3\x89", "\xC3\x89"},                                  // É is not an ASCII capital
      {"\xE3\x81\x82"
       "A",
       "\xE3\x81\x82"
       "a"},
      {"\xEF\xBC"
       "A",
       "\xEF\xBC"
       "a"},  // a broken character: bytes stay bytes
      {"\xBC\xA1", "\xBC\xA1"},
  };
  for (const Case& c : cases) EXPECT_EQ(LowercaseMultibyte(c.in), c.out) << c.in;
}

}  // namespace
