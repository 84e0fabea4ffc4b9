// The text form of config::Value: the writer (to_string) and the reader (parse).
//
// Every failure of the reader writes one line naming its step to the debug log, innermost step
// first, so that a rejected engine line or file leaves a trace of where it went wrong.
#include "ConfigValue.h"

#include "DebugLog.h"
#include "HexDigit.h"

#include <bitset>
#include <charconv>
#include <cstring>
#include <memory>
#include <ostream>
#include <tuple>

namespace config {

// A growing byte buffer that appends without the per-character bookkeeping of std::string.
class OutputBuffer {
public:
  OutputBuffer() : data(new char[4096]), used(0), capacity(4096) {}

  void operator+=(char c) {
    reserve(1);
    data[used++] = c;
  }
  void operator+=(const char* text) { append(text, std::strlen(text)); }
  void append(const char* text, std::size_t n) {
    reserve(n);
    std::memcpy(data.get() + used, text, n);
    used += n;
  }
  void append(const char* begin, const char* end) { append(begin, std::size_t(end - begin)); }
  void append(std::size_t n, char c) {
    reserve(n);
    std::memset(data.get() + used, c, n);
    used += n;
  }
  std::string str() const { return std::string(data.get(), used); }

private:
  void reserve(std::size_t n) {
    if (capacity - used >= n)
      return;
    std::size_t grown = capacity * 2;
    while (grown - used < n)
      grown *= 2;
    std::unique_ptr<char[]> bigger(new char[grown]);
    std::memcpy(bigger.get(), data.get(), used);
    data = std::move(bigger);
    capacity = grown;
  }

  std::unique_ptr<char[]> data;
  std::size_t used;
  std::size_t capacity;
};

class Writer {
public:
  Writer(OutputBuffer& out, Layout layout) : out(out), pretty(layout == Layout::Indented) {}

  void write_value(const Value& v, int depth) {
    switch (v.type_) {
    case Value::Null: out += "null"; break;
    case Value::Boolean: out += v.boolean ? "true" : "false"; break;
    case Value::Number: write_number(v.number); break;
    case Value::String: write_string(v.text); break;
    case Value::Object:
      out += '{';
      write_newline();
      write_members(v.members, depth + 1);
      if (!v.members.empty())
        write_newline();
      write_indent(depth);
      out += '}';
      break;
    case Value::List: {
      out += '[';
      write_newline();
      bool first = true;
      for (const Value& item : v.items) {
        if (!first) {
          out += ',';
          write_newline();
        }
        first = false;
        write_indent(depth + 1);
        write_value(item, depth + 1);
      }
      if (!v.items.empty())
        write_newline();
      write_indent(depth);
      out += ']';
      break;
    }
    }
  }

  void write_members(const Value::Members& members, int depth) {
    bool first = true;
    for (const auto& [key, value] : members) {
      if (!first) {
        out += ',';
        write_newline();
      }
      first = false;
      write_indent(depth);
      write_string(key);
      out += ':';
      write_value(value, depth);
    }
  }

private:
  void write_newline() {
    if (pretty)
      out += '\n';
  }

  void write_indent(int depth) {
    if (pretty)
      out.append(2 * static_cast<std::size_t>(depth), ' ');
  }

  void write_number(std::int64_t n) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, result.ptr);
  }

  static bool plain(unsigned char c) { return plain_bytes.test(c); }

  static inline const std::bitset<256> plain_bytes = [] {
    std::bitset<256> set;
    for (int c = 0x20; c <= 0x7E; ++c)
      set.set(std::size_t(c), c != '"' && c != '\\');
    return set;
  }();

  void write_string(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
      const char* run = p;
      while (p < end && plain(static_cast<unsigned char>(*p)))
        ++p;
      out.append(run, p);
      if (p == end)
        break;
      const unsigned char c = static_cast<unsigned char>(*p++);
      switch (c) {
      case 0x08: out += "\\b"; break;
      case 0x09: out += "\\t"; break;
      case 0x0A: out += "\\n"; break;
      case 0x0C: out += "\\f"; break;
      case 0x0D: out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default: {
        const char escape[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
        out.append(escape, 4);
      }
      }
    }
    out += '"';
  }

  OutputBuffer& out;
  bool pretty;
};

std::string Value::to_string(Braces braces, Layout layout) const {
  OutputBuffer out;
  Writer writer(out, layout);
  if (braces == Braces::Omitted && type_ == Object && !members.empty())
    writer.write_members(members, 0);
  else
    writer.write_value(*this, 0);
  return out.str();
}

class Reader {
public:
  explicit Reader(const char* text) : cur(text) {}

  bool parse(Value& receiver) {
    Token kind;
    if (!next_token(kind))
      return trace(414);
    switch (kind) {
    case ObjectStart: {
      Value::Members members;
      if (!parse_object(members))
        return trace(417);
      receiver.type_ = Value::Object;
      receiver.members = std::move(members);
      break;
    }
    case ListStart: {
      Value::Items items;
      if (!parse_list(items))
        return trace(421);
      receiver.type_ = Value::List;
      receiver.items = std::move(items);
      break;
    }
    case StringStart: {
      Value::Members members;
      if (!parse_members(members))
        return trace(425);
      receiver.type_ = Value::Object;
      receiver.members = std::move(members);
      break;
    }
    default: return trace(428);
    }
    if (!next_token(kind))
      return trace(430);
    if (kind != End)
      return trace(431);
    return true;
  }

  const char* cursor() const { return cur; }

private:
  enum Token {
    NullWord,
    TrueWord,
    FalseWord,
    NumberStart,
    StringStart,
    ObjectStart,
    ObjectEnd,
    ListStart,
    ListEnd,
    Colon,
    Comma,
    End
  };

  static bool trace(int position) {
    debug_log() << "ConfigValue.cpp(" << position << ")\n";
    return false;
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  // Looks at the token after whitespace and comments; moves over those but not the token.
  bool next_token(Token& kind) {
    for (;;) {
      while (*cur == ' ' || *cur == '\t' || *cur == '\n' || *cur == '\r')
        ++cur;
      const char c = *cur;
      if (c == '\0') {
        kind = End;
        return true;
      }
      if (c == '/') {
        if (cur[1] == '/') {
          const char* newline = std::strchr(cur + 2, '\n');
          if (newline == nullptr) {
            kind = End;
            return true;
          }
          cur = newline + 1;
          continue;
        }
        if (cur[1] == '*') {
          const char* close = std::strstr(cur + 2, "*/");
          if (close == nullptr)
            return trace(462);
          cur = close + 2;
          continue;
        }
        return trace(492);
      }
      switch (c) {
      case '"': kind = StringStart; return true;
      case ':': kind = Colon; return true;
      case ',': kind = Comma; return true;
      case '[': kind = ListStart; return true;
      case ']': kind = ListEnd; return true;
      case '{': kind = ObjectStart; return true;
      case '}': kind = ObjectEnd; return true;
      default: break;
      }
      if (c == '-' || is_digit(c)) {
        kind = NumberStart;
        return true;
      }
      if (std::strncmp(cur, "true", 4) == 0) {
        kind = TrueWord;
        return true;
      }
      if (std::strncmp(cur, "false", 5) == 0) {
        kind = FalseWord;
        return true;
      }
      if (std::strncmp(cur, "null", 4) == 0) {
        kind = NullWord;
        return true;
      }
      return trace(492);
    }
  }

  bool parse_object(Value::Members& members) {
    ++cur; // "{"
    Token kind;
    if (!next_token(kind))
      return trace(604);
    if (!parse_members(members))
      return trace(605);
    next_token(kind); // the token the member list ended on: already read, cannot fail
    if (kind != ObjectEnd)
      return trace(607);
    ++cur;
    return true;
  }

  bool parse_members(Value::Members& members) {
    Token kind;
    next_token(kind); // just read by the caller
    for (;;) {
      if (kind != StringStart)
        return true;
      std::string key;
      if (!read_string(key))
        return trace(618);
      if (!next_token(kind))
        return trace(619);
      if (kind != Colon)
        return trace(620);
      ++cur;
      // The value is read straight into its place in the map. Texts from the writer hold their
      // keys in order, so the end is the usual place; a repeated key gets the later value.
      Value::Members::iterator slot;
      bool fresh = true;
      if (members.empty() || members.rbegin()->first < key)
        slot = members.emplace_hint(members.end(), std::move(key), Value::Object);
      else
        std::tie(slot, fresh) = members.try_emplace(std::move(key), Value::Object);
      if (fresh) {
        if (!parse_value(slot->second))
          return trace(623);
      } else {
        Value value(Value::Object);
        if (!parse_value(value))
          return trace(623);
        slot->second = std::move(value);
      }
      if (!next_token(kind))
        return trace(625);
      if (kind != Comma)
        return true;
      ++cur;
      if (!next_token(kind))
        return trace(630);
    }
  }

  bool parse_list(Value::Items& items) {
    ++cur; // "["
    Token kind;
    if (!next_token(kind))
      return trace(639);
    if (kind == ListEnd) {
      ++cur;
      return true;
    }
    for (;;) {
      items.emplace_back(Value::Object);
      if (!parse_value(items.back()))
        return trace(642);
      if (!next_token(kind))
        return trace(644);
      if (kind == Comma) {
        ++cur;
        continue;
      }
      if (kind == ListEnd) {
        ++cur;
        return true;
      }
      return trace(646);
    }
  }

  bool parse_value(Value& value) {
    Token kind;
    if (!next_token(kind))
      return trace(500);
    switch (kind) {
    case NullWord:
      value.type_ = Value::Null;
      cur += 4;
      return true;
    case TrueWord:
      value.type_ = Value::Boolean;
      value.boolean = true;
      cur += 4;
      return true;
    case FalseWord:
      value.type_ = Value::Boolean;
      value.boolean = false;
      cur += 5;
      return true;
    case NumberStart:
      if (!read_number(value.number))
        return trace(507);
      value.type_ = Value::Number;
      return true;
    case StringStart:
      if (!read_string(value.text))
        return trace(503);
      value.type_ = Value::String;
      return true;
    case ObjectStart:
      // The writer and the reader recurse per level; a foreign text must not exhaust the stack.
      if (depth >= Value::max_depth)
        return trace(530);
      ++depth;
      if (!parse_object(value.members)) {
        --depth;
        return trace(521);
      }
      --depth;
      value.type_ = Value::Object;
      return true;
    case ListStart:
      if (depth >= Value::max_depth)
        return trace(530);
      ++depth;
      if (!parse_list(value.items)) {
        --depth;
        return trace(517);
      }
      --depth;
      value.type_ = Value::List;
      return true;
    default: return trace(527);
    }
  }

  bool read_number(std::int64_t& result) {
    const bool negative = *cur == '-';
    if (negative) {
      if (!is_digit(cur[1]))
        return trace(538);
      ++cur;
    }
    std::uint64_t n = 0;
    while (is_digit(*cur))
      n = n * 10 + static_cast<std::uint64_t>(*cur++ - '0');
    result = static_cast<std::int64_t>(negative ? 0 - n : n);
    return true;
  }

  // Reads `count` hex digits at the cursor; logs `position` at the first byte that is not one.
  bool read_hex(int count, int position, unsigned& result) {
    result = 0;
    for (int i = 0; i < count; ++i) {
      const int digit = hex_digit_value(*cur);
      if (digit < 0)
        return trace(position);
      result = result * 16 + static_cast<unsigned>(digit);
      ++cur;
    }
    return true;
  }

  bool read_string(std::string& out) {
    ++cur; // opening quote
    for (;;) {
      const char* run = cur;
      while (*cur != '"' && *cur != '\\' && *cur != '\0')
        ++cur;
      out.append(run, cur);
      const char c = *cur;
      if (c == '"') {
        ++cur;
        return true;
      }
      if (c == '\0')
        return trace(591);
      ++cur; // backslash
      const char e = *cur;
      switch (e) {
      case '"':
      case '/':
      case '\\':
        out += e;
        ++cur;
        break;
      case 'b':
        out += '\x08';
        ++cur;
        break;
      case 'f':
        out += '\x0C';
        ++cur;
        break;
      case 'n':
        out += '\x0A';
        ++cur;
        break;
      case 'r':
        out += '\x0D';
        ++cur;
        break;
      case 't':
        out += '\x09';
        ++cur;
        break;
      case 'u': {
        ++cur;
        unsigned cp;
        if (!read_hex(4, 691, cp))
          return trace(569);
        append_utf8(out, cp);
        break;
      }
      case 'x': {
        ++cur;
        unsigned byte;
        if (!read_hex(2, 669, byte))
          return trace(565);
        out += static_cast<char>(byte);
        break;
      }
      default: return trace(582);
      }
    }
  }

  static void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  const char* cur;
  int depth = 0;
};

bool Value::parse(const char* text, const char** end) {
  Reader reader(text);
  const bool ok = reader.parse(*this);
  if (end != nullptr)
    *end = reader.cursor();
  return ok;
}

} // namespace config
