#pragma once
// The HTML standard's named character references ("&amp;", "&NotEqualTilde;",
// the legacy "&amp" without its semicolon) and the walk that finds the
// longest of them at the start of a run of characters, as the tokenizer
// must. The table itself is generated (tools/make_named_references.py) into
// named_character_references.cpp.
#include <cstddef>
#include <cstdint>
#include <string_view>

struct NamedCharacterReference {
  uint16_t nameOffset;  // into kNamedCharacterReferenceNames
  uint8_t nameLength;   // with the semicolon, for the names that have one
  uint8_t textLength;
  char text[8];  // the expansion in UTF-8, one or two code points
};

// Every name, without its "&", one after the other in the table's order.
extern const char kNamedCharacterReferenceNames[];
// Sorted bytewise by name, so that the names that begin with a given prefix
// stand together, the prefix itself (when it is a name) first among them.
extern const NamedCharacterReference kNamedCharacterReferences[];
extern const size_t kNamedCharacterReferenceCount;

// Narrows the table down one character at a time. Keeps only the range of
// names that begin with the characters taken so far, and the longest name
// among those characters' prefixes; a name is at most 32 characters long.
class NamedReferenceWalk {
 public:
  void Reset() {
    m_nLow = 0;
    m_nHigh = kNamedCharacterReferenceCount;
    m_nDepth = 0;
    m_pMatch = nullptr;
  }

  // Takes `c` when some name goes on with it after the characters taken so
  // far; false (and nothing taken) when none does.
  bool Extend(char c) {
    size_t low = m_nLow, high = m_nHigh;
    // The name that is exactly the prefix taken so far sorts first; it does
    // not go on.
    if (low < high && kNamedCharacterReferences[low].nameLength == m_nDepth) ++low;
    // Binary searches on the character at m_nDepth, which every name left
    // in the range has.
    size_t first = low, count = high - low;
    while (count > 0) {
      size_t half = count / 2;
      if (CharAt(first + half) < c) {
        first += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    size_t last = first;
    count = high - first;
    while (count > 0) {
      size_t half = count / 2;
      if (CharAt(last + half) == c) {
        last += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    if (first == last) return false;
    m_nLow = first;
    m_nHigh = last;
    ++m_nDepth;
    if (kNamedCharacterReferences[first].nameLength == m_nDepth)
      m_pMatch = &kNamedCharacterReferences[first];
    return true;
  }

  // The longest name among the prefixes of what was taken, or nullptr.
  const NamedCharacterReference* Match() const { return m_pMatch; }
  static std::string_view Name(const NamedCharacterReference& reference) {
    return {kNamedCharacterReferenceNames + reference.nameOffset, reference.nameLength};
  }
  static std::string_view Text(const NamedCharacterReference& reference) {
    return {reference.text, reference.textLength};
  }

 private:
  // The character at m_nDepth of the name at `index`.
  char CharAt(size_t index) const {
    return kNamedCharacterReferenceNames[kNamedCharacterReferences[index].nameOffset + m_nDepth];
  }

  size_t m_nLow = 0;
  size_t m_nHigh = 0;
  size_t m_nDepth = 0;
  const NamedCharacterReference* m_pMatch = nullptr;
};
