// Text-mode streams: what reads and writes must deliver, block edges
// included.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/text_file.h"
#include "tests/support/test_environment.h"

using platform::TextReader;
using platform::TextWriter;
using testing_support::ReadBytes;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

constexpr size_t kBlock = 64 * 1024;  // the reader's block size

std::string ReadAllWith(const std::string& path, int how) {
  TextReader in;
  EXPECT_TRUE(in.Open(path));
  std::string out;
  if (how == 0) {
    for (int c; (c = in.GetChar()) != EOF;) out += static_cast<char>(c);
  } else if (how == 1) {
    char buf[7];  // an odd size so reads straddle every edge
    for (size_t n; (n = in.Read(buf, sizeof buf)) > 0;) out.append(buf, n);
  } else if (how == 2) {
    for (std::string line; in.ReadLine(line);) out += line;
  } else {
    // A byte, then a line, and again: the two ways share one block.
    for (std::string line;;) {
      const int c = in.GetChar();
      if (c == EOF) break;
      out += static_cast<char>(c);
      if (!in.ReadLine(line)) break;
      out += line;
    }
  }
  EXPECT_FALSE(in.Failed());
  return out;
}

struct ReadCase {
  const char* name;
  std::string raw;
  std::string expected;
};

TEST(TextReader, DeliversTextModeInputByEveryReadCall) {
  const std::string pad(kBlock - 1, 'x');
  const std::vector<ReadCase> cases = {
      {"crlf becomes lf", "a\r\nb\r\n", "a\nb\n"},
      {"lone cr stays", "a\rb\r", "a\rb\r"},
      {"cr cr lf keeps the first cr", "a\r\r\nb", "a\r\nb"},
      {"ctrl-z ends the input",
       std::string("ab\x1A"
                   "cd\r\n",
                   7),
       "ab"},
      {"cr before ctrl-z stays", std::string("ab\r\x1A\n", 5), "ab\r"},
      {"empty file", "", ""},
      {"every other byte passes", std::string("\xEF\xBC\xA1\xFF\x00z", 6),
       std::string("\xEF\xBC\xA1\xFF\x00z", 6)},
      {"crlf split by the block edge", pad + "\r\nz", pad + "\nz"},
      {"lone cr at the block edge", pad + "\rz", pad + "\rz"},
      {"cr at the block edge then ctrl-z", pad + "\r\x1Az", pad + "\r"},
      {"cr at the block edge, file ends", pad + "\r", pad + "\r"},
      {"cr cr across the edge", pad + "\r\r\n", pad + "\r\n"},
      {"ctrl-z just past the edge", pad + "y\x1Az", pad + "y"},
  };
  TestEnvironment env;
  for (const ReadCase& c : cases) {
    WriteBytes(env.Path("in"), c.raw);
    for (int how = 0; how < 4; ++how)
      EXPECT_EQ(ReadAllWith(env.Path("in"), how), c.expected) << c.name << ", read kind " << how;
  }
}

TEST(TextReader, ReadLineKeepsLongLinesWholeAndTheLastLineWithoutLf) {
  TestEnvironment env;
  const std::string longLine(3 * kBlock + 17, 'q');
  WriteBytes(env.Path("in"), "one\r\n" + longLine + "\r\n\r\nlast");
  TextReader in;
  ASSERT_TRUE(in.Open(env.Path("in")));
  std::vector<std::string> lines;
  for (std::string line; in.ReadLine(line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one\n", longLine + "\n", "\n", "last"}));
}

TEST(TextReader, RefusesWhatCannotBeRead) {
  TestEnvironment env;
  TextReader in;
  EXPECT_FALSE(in.Open(env.Path("missing")));
  EXPECT_FALSE(in.Open(env.Dir()));
  EXPECT_EQ(in.GetChar(), EOF);
}

TEST(TextWriter, StoresEachLfAsCrLfAndAppendsWithoutTruncating) {
  TestEnvironment env;
  const std::string path = env.Path("out");
  {
    TextWriter out;
    ASSERT_TRUE(out.Open(path, TextWriter::Mode::kCreate));
    EXPECT_TRUE(out.Write("a\nb\r\n"));
    EXPECT_TRUE(out.Put('\n'));
    EXPECT_TRUE(out.Close());
  }
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\r\n\r\n");
  {
    TextWriter out;
    ASSERT_TRUE(out.Open(path, TextWriter::Mode::kAppend));
    EXPECT_TRUE(out.Write("c\n"));
    EXPECT_TRUE(out.Close());
  }
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\r\n\r\nc\r\n");
  {
    TextWriter out;
    ASSERT_TRUE(out.Open(path, TextWriter::Mode::kCreate));
    EXPECT_TRUE(out.Close());
  }
  EXPECT_EQ(ReadBytes(path), "");
}

TEST(TextWriter, LargeWritesSurviveTheBufferEdgeAndReadBackTheSame) {
  TestEnvironment env;
  std::string text;
  for (int i = 0; text.size() < 5 * kBlock; ++i) text += std::string(i % 97, 'k') + "\n";
  TextWriter out;
  ASSERT_TRUE(out.Open(env.Path("big"), TextWriter::Mode::kCreate));
  // Pieces of odd sizes, so that a CR LF pair falls on the buffer's edge.
  for (size_t pos = 0; pos < text.size(); pos += 4093)
    EXPECT_TRUE(out.Write(text.substr(pos, 4093)));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(ReadAllWith(env.Path("big"), 1), text);
  std::string stored;
  for (char c : text) stored += c == '\n' ? "\r\n" : std::string(1, c);
  EXPECT_TRUE(ReadBytes(env.Path("big")) == stored) << "the stored bytes differ";
}

#ifndef _WIN32  // Windows files take the folder's access list, not modes
TEST(TextWriter, PrivateFilesAreCreatedForTheUserAlone) {
  TestEnvironment env;
  TextWriter out;
  ASSERT_TRUE(out.Open(env.Path("private"), TextWriter::Mode::kCreate, true));
  ASSERT_TRUE(out.Close());
  struct stat st;
  ASSERT_EQ(::stat(env.Path("private").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

// To a terminal, what could drive it is shown as "\xNN" per byte: C0 but
// LF, DEL, the C1 controls in UTF-8, and bytes that start no well-formed
// character; a character split between two writes is judged whole.
TEST(TextWriter, EscapesWhatCouldDriveATerminal) {
  struct Case {
    std::vector<std::string> writes;
    std::string shown;
  };
  const Case cases[] = {
      {{"a\x1b[2Jb\x07\x7f\n"}, "a\\x1B[2Jb\\x07\\x7F\r\n"},
      {{"csi \xC2\x9B"
        "31m"},
       "csi \\xC2\\x9B31m"},
      {{"nel \xC2\x85 and \xC2\x80"}, "nel \\xC2\\x85 and \\xC2\\x80"},
      {{"raw \x9B"
        "31m \xFF\xC0\xAF"},
       "raw \\x9B31m \\xFF\\xC0\\xAF"},
      {{"\xC2\xA0\xE3\x83\x91\xF0\x9F\x98\x80"}, "\xC2\xA0\xE3\x83\x91\xF0\x9F\x98\x80"},
      {{"x\xC2", "\x9By"}, "x\\xC2\\x9By"},
      {{"x\xE3", "\x83", "\x91y"}, "x\xE3\x83\x91y"},
      {{"x\xED\xA0\x80"}, "x\\xED\\xA0\\x80"},
      {{"cut \xE3\x83"}, "cut \\xE3\\x83"},
  };
  TestEnvironment env;
  for (const Case& c : cases) {
    const std::string path = env.Path("shown");
    const int fd = platform::file_io::OpenForWriting(path, false, true);
    ASSERT_GE(fd, 0);
    TextWriter out;
    ASSERT_TRUE(out.OpenDescriptor(fd, true));
    for (const std::string& w : c.writes) out.Write(w);
    EXPECT_TRUE(out.Close());
    platform::file_io::Close(fd);
    EXPECT_EQ(ReadBytes(path), c.shown) << c.writes.front();
  }
}

TEST(TextWriter, ReportsFailuresAtOpenWriteOrClose) {
  TestEnvironment env;
  TextWriter out;
  EXPECT_FALSE(out.Open(env.Path("no/such/folder/x"), TextWriter::Mode::kAppend));
  EXPECT_FALSE(out.Write("x\n"));
  EXPECT_FALSE(out.Close());

  // A full disk: the failure may show at a write or at the latest at Close.
  TextWriter full;
  ASSERT_TRUE(full.Open("/dev/full", TextWriter::Mode::kAppend));
  full.Write(std::string(10, 'x'));
  EXPECT_FALSE(full.Close());
}

}  // namespace
