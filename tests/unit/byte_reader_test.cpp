// The stored bytes of a file, block by block, mapped or read.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/support/test_environment.h"

using testing_support::ReadBytes;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

std::string AllBlocks(platform::ByteReader& reader) {
  std::string all;
  for (std::string_view block; !(block = reader.Next()).empty();) all.append(block);
  return all;
}

// Files that take several windows, none, or that say they are empty but are
// not (those of /proc), come out whole; so does what is added to a file
// after it was opened.
TEST(ByteReader, GivesEveryByteOfTheFile) {
  TestEnvironment env;
  std::string large;
  for (int i = 0; large.size() < 5 * 512 * 1024 + 3; ++i) large += std::to_string(i) + "\r\n";
  WriteBytes(env.Path("large"), large);
  WriteBytes(env.Path("empty"), "");
  for (const std::string& path :
       std::vector<std::string>{env.Path("large"), env.Path("empty"), "/proc/self/mounts"}) {
    platform::ByteReader reader;
    ASSERT_TRUE(reader.Open(path)) << path;
    std::string bytes = AllBlocks(reader);
    EXPECT_TRUE(bytes == ReadBytes(path)) << path << ": " << bytes.size() << " bytes";
    EXPECT_FALSE(reader.Failed());
  }

  platform::ByteReader reader;
  ASSERT_TRUE(reader.Open(env.Path("large")));
  std::ofstream(env.Path("large"), std::ios::app | std::ios::binary) << "added";
  EXPECT_TRUE(AllBlocks(reader) == large + "added");

  EXPECT_FALSE(reader.Open(env.Path("missing")));
  EXPECT_FALSE(reader.Open(env.Dir()));
}

}  // namespace
