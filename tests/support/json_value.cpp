#include "tests/support/json_value.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/utf8.h"

namespace test {
namespace {

class JsonParser {
 public:
  explicit JsonParser(const std::string& source) : m_s(source) {}

  JsonValue Document() {
    JsonValue value = Value();
    SkipBlanks();
    if (m_i != m_s.size()) Fail("trailing bytes");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(m_i));
  }
  void SkipBlanks() {
    while (m_i < m_s.size() &&
           (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\n' || m_s[m_i] == '\r'))
      ++m_i;
  }
  bool Take(char c) {
    SkipBlanks();
    if (m_i < m_s.size() && m_s[m_i] == c) {
      ++m_i;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail("unexpected byte");
  }
  bool TakeWord(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (m_s.compare(m_i, n, word) != 0) return false;
    m_i += n;
    return true;
  }

  JsonValue Value() {
    SkipBlanks();
    if (m_i >= m_s.size()) Fail("unexpected end");
    JsonValue v;
    char c = m_s[m_i];
    if (c == '{') {
      ++m_i;
      v.kind = JsonValue::kObject;
      if (Take('}')) return v;
      do {
        SkipBlanks();
        if (m_i >= m_s.size() || m_s[m_i] != '"') Fail("member name expected");
        std::string name = String();
        Expect(':');
        v.members.emplace_back(std::move(name), Value());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++m_i;
      v.kind = JsonValue::kArray;
      if (Take(']')) return v;
      do v.items.push_back(Value());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      v.kind = JsonValue::kString;
      v.text = String();
    } else if (TakeWord("true")) {
      v.kind = JsonValue::kBool;
      v.boolean = true;
    } else if (TakeWord("false")) {
      v.kind = JsonValue::kBool;
    } else if (TakeWord("null")) {
    } else {
      const char* start = m_s.c_str() + m_i;
      char* end = nullptr;
      v.kind = JsonValue::kNumber;
      v.number = std::strtod(start, &end);
      if (end == start) Fail("value expected");
      m_i += static_cast<size_t>(end - start);
    }
    return v;
  }

  unsigned Hex4() {
    if (m_i + 4 > m_s.size()) Fail("short \\u escape");
    unsigned value = 0;
    for (int k = 0; k < 4; ++k) {
      char h = m_s[m_i++];
      value <<= 4;
      if (h >= '0' && h <= '9')
        value |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        value |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        value |= static_cast<unsigned>(h - 'A' + 10);
      else
        Fail("bad \\u escape");
    }
    return value;
  }

  std::string String() {
    ++m_i;  // the opening quote
    std::string out;
    while (true) {
      if (m_i >= m_s.size()) Fail("unterminated string");
      char c = m_s[m_i++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_i >= m_s.size()) Fail("unterminated escape");
      char e = m_s[m_i++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = Hex4();
          // A pair of surrogates is one character; a lone one stays itself.
          if (cp >= 0xD800 && cp < 0xDC00 && m_s.compare(m_i, 2, "\\u") == 0) {
            size_t save = m_i;
            m_i += 2;
            unsigned low = Hex4();
            if (low >= 0xDC00 && low < 0xE000)
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else
              m_i = save;
          }
          platform::AppendUtf8(out, cp);
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  const std::string& m_s;
  size_t m_i = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(const std::string& name) const {
  for (const auto& [key, value] : members)
    if (key == name) return &value;
  return nullptr;
}

std::string JsonValue::Text(const std::string& name, const std::string& fallback) const {
  const JsonValue* v = Find(name);
  return v && v->IsString() ? v->text : fallback;
}

JsonValue ParseJson(const std::string& source) { return JsonParser(source).Document(); }

JsonValue ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return ParseJson(all.str());
}

}  // namespace test
