#pragma once
// The runs of one call that harvest several addresses at once (-P), and
// what they show: each run gathers its links when it can, but writes them,
// and shows its messages, only once every run before it in the input has
// ended, so that the output and standard error read as if the addresses
// had been harvested one after another. The status line counts the runs
// done and names those under way; a prompt has the terminal to itself.
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/console/console_backend.h"
#include "platform/win_types.h"

class RunBoard {
 public:
  // At most `parallel` runs gather at once, and at most a few times as many
  // wait with their links for their turn. `total`: how many addresses
  // there are, when known before they are read.
  RunBoard(platform::console::ConsoleBackend& console, bool quiet, int parallel,
           std::optional<size_t> total);
  ~RunBoard();
  RunBoard(const RunBoard&) = delete;
  RunBoard& operator=(const RunBoard&) = delete;

  // The reader of the addresses: waits until another run may begin, then
  // enters it; its number, counted from 0 in the input's order.
  size_t Begin();
  // No more addresses come: the status line can count them all.
  void InputEnded();
  // Waits until every run has ended; the worst exit status of them.
  int WaitForAll();
  // How many runs have ended: those of the first numbers.
  size_t EndedCount();

  // A run's own calls, from its thread.
  // Its links are gathered: another run may begin, and this one waits for
  // its turn to write.
  void AwaitTurn(size_t run);
  // The run has ended with `exitStatus`: it waits for its turn if it has not
  // yet, and lets the next one have it.
  void End(size_t run, int exitStatus);
  // What the run shows in its status line. Only the wait for the output
  // file makes it to the board's.
  void Status(size_t run, const std::string& text);
  // A message box of the run, printed in its turn.
  void Message(size_t run, const std::string& text, const std::string& caption,
               platform::UINT type);
  // A text for standard error, printed in the run's turn.
  void Note(size_t run, const std::string& text);
  // The run writes its output lines to standard output: the status line
  // keeps off it until the run ends.
  void WritesToStdout(size_t run);

  // Holds the terminal for one prompt at a time; meanwhile nothing else is
  // drawn or printed there.
  class Prompt {
   public:
    explicit Prompt(RunBoard& board);
    ~Prompt();
    Prompt(const Prompt&) = delete;
    Prompt& operator=(const Prompt&) = delete;

   private:
    RunBoard& m_board;
    std::unique_lock<std::mutex> m_turn;
  };

 private:
  struct Shown {
    bool messageBox;
    std::string text;
    std::string caption;
    platform::UINT type;
  };
  struct Run {
    bool gathering = true;
    std::string status;
    std::vector<Shown> held;  // until its turn
  };

  void Show(std::unique_lock<std::mutex>& lock, size_t run, Shown shown);
  void TakeTurn(std::unique_lock<std::mutex>& lock, size_t run);
  void PrintReady();
  void Redraw();

  platform::console::ConsoleBackend& m_console;
  const bool m_quiet;
  const size_t m_parallel;
  const size_t m_ahead;
  const std::optional<size_t> m_total;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<size_t, Run> m_runs;  // begun and not yet ended
  size_t m_begun = 0;
  size_t m_ended = 0;  // the runs before this one have ended: its turn
  size_t m_gathering = 0;
  bool m_inputEnded = false;
  int m_worst = 0;
  std::vector<Shown> m_ready;  // in order, to be printed when no prompt is up
  bool m_prompting = false;
  bool m_stdoutInUse = false;
  std::string m_drawn;
  std::mutex m_promptTurn;
};
