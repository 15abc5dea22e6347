#pragma once
// A small JSON reader for the public test data the conformance tests read
// (the tokenizer and URL suites). Strings come back as UTF-8; a \u escape of
// a lone surrogate comes back in the same three-byte form, so that tests can
// see it rather than lose it.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct JsonValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;                            // an array's
  std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in order

  bool IsNull() const { return kind == kNull; }
  bool IsString() const { return kind == kString; }
  bool IsArray() const { return kind == kArray; }
  bool IsObject() const { return kind == kObject; }
  // The member named `name`, or nullptr.
  const JsonValue* Find(const std::string& name) const;
  // A string member's text, or `fallback` when it is missing or not a string.
  std::string Text(const std::string& name, const std::string& fallback = "") const;
};

// Parses `source` whole; throws std::runtime_error with the offset where it
// is not JSON.
JsonValue ParseJson(const std::string& source);
// Reads and parses the file at `path`; throws when it cannot be read.
JsonValue ReadJsonFile(const std::string& path);

}  // namespace test
