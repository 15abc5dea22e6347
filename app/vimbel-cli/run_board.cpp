#include "app/vimbel-cli/run_board.h"

#include <algorithm>

#include "platform/terminal_text.h"
#include "resources/texts.h"

namespace {

// How many run numbers the status line names before it gives up on the
// rest: it must stay on one line of the terminal.
constexpr size_t kRunsNamed = 8;

}  // namespace

RunBoard::RunBoard(platform::console::ConsoleBackend& console, bool quiet, int parallel,
                   std::optional<size_t> total)
    : m_console(console),
      m_quiet(quiet),
      m_parallel(static_cast<size_t>(parallel)),
      // Runs that wait for a slow one before them keep their link lists;
      // a bounded number of them keeps the scratch folder and the threads
      // in bounds.
      m_ahead(4 * static_cast<size_t>(parallel)),
      m_total(total) {}

RunBoard::~RunBoard() = default;

size_t RunBoard::Begin() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_gathering < m_parallel && m_begun - m_ended < m_ahead; });
  const size_t run = m_begun++;
  m_runs[run];
  ++m_gathering;
  Redraw();
  return run;
}

void RunBoard::InputEnded() {
  std::unique_lock lock(m_mutex);
  m_inputEnded = true;
  Redraw();
}

int RunBoard::WaitForAll() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_ended == m_begun; });
  m_drawn.clear();
  m_console.ClearStatus();
  return m_worst;
}

size_t RunBoard::EndedCount() {
  std::unique_lock lock(m_mutex);
  return m_ended;
}

void RunBoard::TakeTurn(std::unique_lock<std::mutex>& lock, size_t run) {
  Run& r = m_runs[run];
  if (r.gathering) {
    r.gathering = false;
    --m_gathering;
    Redraw();
    m_changed.notify_all();
  }
  m_changed.wait(lock, [this, run] { return m_ended == run; });
  // What it said so far goes out now, in its order.
  Run& now = m_runs[run];
  for (Shown& shown : now.held) m_ready.push_back(std::move(shown));
  now.held.clear();
  PrintReady();
}

void RunBoard::AwaitTurn(size_t run) {
  std::unique_lock lock(m_mutex);
  TakeTurn(lock, run);
}

void RunBoard::End(size_t run, int exitStatus) {
  std::unique_lock lock(m_mutex);
  TakeTurn(lock, run);
  m_worst = std::max(m_worst, exitStatus);
  m_runs.erase(run);
  m_stdoutInUse = false;
  ++m_ended;
  Redraw();
  m_changed.notify_all();
}

void RunBoard::Status(size_t run, const std::string& text) {
  std::unique_lock lock(m_mutex);
  if (auto it = m_runs.find(run); it != m_runs.end()) it->second.status = text;
  Redraw();
}

void RunBoard::Show(std::unique_lock<std::mutex>&, size_t run, Shown shown) {
  if (run > m_ended) {
    m_runs[run].held.push_back(std::move(shown));
    return;
  }
  m_ready.push_back(std::move(shown));
  PrintReady();
}

void RunBoard::Message(size_t run, const std::string& text, const std::string& caption,
                       platform::UINT type) {
  std::unique_lock lock(m_mutex);
  Show(lock, run, {true, text, caption, type});
}

void RunBoard::Note(size_t run, const std::string& text) {
  std::unique_lock lock(m_mutex);
  Show(lock, run, {false, text, {}, 0});
}

void RunBoard::WritesToStdout(size_t) {
  std::unique_lock lock(m_mutex);
  // The lines would land in the middle of the status line when both go to
  // the same terminal.
  m_stdoutInUse = true;
  m_drawn.clear();
  m_console.ClearStatus();
}

void RunBoard::PrintReady() {
  if (m_prompting || m_ready.empty()) return;
  for (const Shown& shown : m_ready) {
    if (shown.messageBox) {
      m_console.MessageBox(nullptr, shown.text, shown.caption, shown.type);
    } else {
      m_console.ClearStatus();
      platform::WriteTerminalText(stderr, shown.text);
    }
  }
  m_ready.clear();
  m_drawn.clear();
  Redraw();
}

// "完了 3/10　実行中 4 5 7": the runs done of those known (all of them once
// the input has ended), then the numbers of those under way, counted from 1
// in the input's order.
void RunBoard::Redraw() {
  if (m_quiet || m_prompting || m_stdoutInUse) return;
  std::string text = texts::kStatusRunsDone;
  text += ' ';
  text += std::to_string(m_ended);
  text += '/';
  text += std::to_string(m_inputEnded || !m_total ? m_begun : *m_total);
  if (!m_inputEnded && !m_total) text += '+';
  size_t named = 0;
  for (const auto& [run, r] : m_runs) {
    if (!r.gathering) continue;
    if (named == 0) {
      text += "　";
      text += texts::kStatusRunsUnderWay;
    }
    text += ' ';
    if (++named > kRunsNamed) {
      text += "…";
      break;
    }
    text += std::to_string(run + 1);
  }
  // The run whose turn it is may wait for another program's append.
  if (auto it = m_runs.find(m_ended);
      it != m_runs.end() && it->second.status == texts::kStatusWaitingForOutput)
    text.append("　").append(texts::kStatusWaitingForOutput);
  if (text == m_drawn) return;
  m_drawn = text;
  m_console.ShowStatus(text);
}

RunBoard::Prompt::Prompt(RunBoard& board) : m_board(board), m_turn(board.m_promptTurn) {
  std::unique_lock lock(m_board.m_mutex);
  m_board.m_prompting = true;
  m_board.m_drawn.clear();
  m_board.m_console.ClearStatus();
}

RunBoard::Prompt::~Prompt() {
  std::unique_lock lock(m_board.m_mutex);
  m_board.m_prompting = false;
  m_board.PrintReady();
  m_board.Redraw();
}
