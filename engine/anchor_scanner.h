#pragma once
// The anchor scanner: a small state machine that picks the values of
// attributes ending in f (href, in practice) out of anchor tags. It is not an
// HTML parser; it follows its transition table and skips everything else.
#include <cstddef>
#include <string>

// The scanner's states. The codes are the ones the program has always used.
enum AnchorState : int {
  kOutside = 9,     // between anchors; initial
  kTagOpen = 0,     // just after "<"
  kAnchorName = 1,  // just after "<" and a
  kInAnchor = 2,    // in an anchor, looking for f and "="
  kAfterF = 3,      // just after f or F
  kValueStart = 4,  // just after f and "="
  kQuoted = 5,      // in a double-quoted value
  kUnquoted = 55,   // in an unquoted value
};

// Fed block by block; keeps nothing but its state, so the page may be of any
// size and the blocks may be cut anywhere.
class AnchorScanner {
 public:
  // Runs the table over `size` bytes of text-mode input and appends to `out`
  // what goes to the link list for them.
  void Feed(const char* data, size_t size, std::string& out);

  // The same over the bytes as stored, seen in text mode on the way: a CR LF
  // pair is one LF, a lone CR stays a CR, and a Ctrl-Z ends the input. False
  // once a Ctrl-Z has ended it; nothing after it is looked at. A CR that
  // ends a block waits for the next block to tell which it is.
  bool FeedStored(const char* data, size_t size, std::string& out);
  // The end of the stored bytes: a CR still waiting is a lone CR.
  void EndStored(std::string& out);

  int State() const { return m_state; }
  void SetState(int state) { m_state = state; }

 private:
  template <bool kApplyTextMode>
  void Run(const char* data, const char* end, std::string& out);
  // One byte of text-mode input, by the table.
  void Step(char byte, std::string& out);

  int m_state = kOutside;
  bool m_crWaiting = false;  // the last stored byte fed was a CR, not yet judged
  bool m_ended = false;      // a Ctrl-Z has ended the stored input
};
