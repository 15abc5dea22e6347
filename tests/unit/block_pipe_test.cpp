// The engine's helper threads, with a thread and where none can be had:
// the block pipe that carries bytes to a file, and the side task.
#include "engine/block_pipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/side_task.h"
#include "platform/thread_start.h"

namespace {

constexpr size_t kBlock = BlockPipe::kBlock;

// Thread starts refused for as long as it lives, when asked.
class ThreadStarts {
 public:
  explicit ThreadStarts(bool refused) { platform::RefuseThreadStartsForTest(refused); }
  ~ThreadStarts() { platform::RefuseThreadStartsForTest(false); }
};

// What a consumer was handed, and on which thread.
struct Consumed {
  std::string bytes;
  std::vector<size_t> blocks;
  std::vector<std::thread::id> threads;
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
  return bytes;
}

TEST(BlockPipe, HandsOverEveryByteInOrderAWholeBlockAtATime) {
  // Through Room and Commit as a download fills it, and through Append, with
  // a piece that ends exactly on a block boundary.
  const std::string bytes = Pattern(2 * kBlock + 1500);
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no thread" : "a thread");
    const ThreadStarts starts(refused);
    for (bool appended : {false, true}) {
      Consumed consumed;
      BlockPipe pipe([&consumed](const char* data, size_t size) {
        consumed.bytes.append(data, size);
        consumed.blocks.push_back(size);
        consumed.threads.push_back(std::this_thread::get_id());
        return true;
      });
      const size_t pieces[] = {1000, kBlock - 1000, 1024, 1024, kBlock - 2048, 1500};
      size_t at = 0;
      for (size_t piece : pieces) {
        if (appended) {
          EXPECT_TRUE(pipe.Append(std::string_view(bytes).substr(at, piece)));
        } else {
          std::memcpy(pipe.Room(piece), bytes.data() + at, piece);
          EXPECT_TRUE(pipe.Commit(piece));
        }
        at += piece;
      }
      if (refused) {
        // Each block is consumed on the caller's thread once it is full,
        // and the caller fills the same block again.
        EXPECT_EQ(consumed.blocks, (std::vector<size_t>{kBlock, kBlock}));
        EXPECT_EQ(consumed.threads, (std::vector<std::thread::id>(2, std::this_thread::get_id())));
      }
      EXPECT_TRUE(pipe.Finish());
      EXPECT_TRUE(consumed.bytes == bytes) << "appended: " << appended;
      EXPECT_EQ(consumed.blocks, (std::vector<size_t>{kBlock, kBlock, 1500}));
      if (!refused) {
        EXPECT_NE(consumed.threads.front(), std::this_thread::get_id());
      }
    }
  }
  // With blocks queued for a consumer that lags, the ring of them goes
  // round more than once and keeps the order.
  const std::string many = Pattern(9 * kBlock + 7);
  for (const size_t queued : {size_t{1}, size_t{3}}) {
    Consumed consumed;
    BlockPipe pipe(
        [&consumed](const char* data, size_t size) {
          if (consumed.blocks.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
          consumed.bytes.append(data, size);
          consumed.blocks.push_back(size);
          return true;
        },
        queued);
    EXPECT_TRUE(pipe.Append(many));
    EXPECT_TRUE(pipe.Finish());
    EXPECT_TRUE(consumed.bytes == many) << queued << " queued";
    EXPECT_EQ(consumed.blocks.size(), 10u) << queued << " queued";
  }
}

TEST(BlockPipe, AFailedConsumerIsHandedNothingMoreAndTheProducerHearsOfIt) {
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no thread" : "a thread");
    const ThreadStarts starts(refused);
    int calls = 0;
    BlockPipe pipe([&calls](const char*, size_t) { return ++calls < 2; });
    const std::string block = Pattern(kBlock);
    // The second block fails: the producer hears of it by the latest one
    // block later, when the pipe waits for the consumer to take the third.
    bool kept = true;
    for (int i = 0; i < 4 && kept; ++i) kept = pipe.Append(block);
    EXPECT_FALSE(kept);
    EXPECT_FALSE(pipe.Finish());
    EXPECT_TRUE(pipe.Failed());
    EXPECT_EQ(calls, 2);
  }
}

TEST(BlockPipe, FinishingAgainConsumesNothingTwice) {
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no thread" : "a thread");
    const ThreadStarts starts(refused);
    std::string consumed;
    {
      BlockPipe pipe([&consumed](const char* data, size_t size) {
        consumed.append(data, size);
        return true;
      });
      pipe.Append("lines\n");
      EXPECT_TRUE(pipe.Finish());
      EXPECT_TRUE(pipe.Finish());
    }  // and once more as it goes
    EXPECT_EQ(consumed, "lines\n");
  }
}

TEST(SideTask, DoesItsWorkOnceWhetherOrNotAThreadCanBeHad) {
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no thread" : "a thread");
    const ThreadStarts starts(refused);
    int runs = 0;
    std::thread::id ranOn;
    {
      SideTask task([&] {
        ++runs;
        ranOn = std::this_thread::get_id();
      });
      // Without a thread the work is done before the task is made.
      if (refused) {
        EXPECT_EQ(runs, 1);
      }
      task.Wait();
      EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn == std::this_thread::get_id(), refused);
  }
}

}  // namespace
