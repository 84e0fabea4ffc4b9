// config::Value: the system's one type for structured data, and its text form.
//
// Every configuration file and every engine message is a tree of values. A value is a plain
// value: copies are deep and two values never share a subtree.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace config {

// How Value::to_string writes an Object: with its braces, or its members alone, as the files and
// the engine's messages hold them (an empty Object keeps its braces, and a value of another type
// is written whole).
enum class Braces { Kept, Omitted };
// How Value::to_string lays the text out: all on one line, or each member and item on a line of
// its own, indented by its depth.
enum class Layout { OneLine, Indented };

class Value {
public:
  enum Type : std::int32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Object = 4, List = 5 };

  using Members = std::map<std::string, Value>;
  using Items = std::vector<Value>;

  // The one error of data of the wrong shape: a member lookup that finds no such member or one
  // of another type (its text names the member), and a typed view or a lookup by name on a
  // value of another type (its text is the source position). A loader that catches it catches
  // every shape its file can have.
  class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
  };

  static std::string type_name(Type type);

  explicit Value(Type type = Object);

  Type type() const { return type_; }

  // Typed views; each throws Exception with its source position on a type mismatch.
  bool as_boolean() const;
  std::int64_t as_number() const;
  const std::string& as_string() const;
  std::string& as_string();
  const Members& as_object() const;
  Members& as_object();
  const Items& as_list() const;
  Items& as_list();

  void set_null();
  void set_boolean(bool b);
  void set_number(long long n);
  void set_string(const std::string& s);
  void set_object(const Members& m);
  void set_list(const Items& v);

  Value& operator=(bool b);
  Value& operator=(int n);
  Value& operator=(unsigned int n);
  Value& operator=(long n);
  Value& operator=(unsigned long n);
  Value& operator=(long long n);
  Value& operator=(unsigned long long n);
  Value& operator=(const std::string& s);
  Value& operator=(const char* s);
  Value& operator=(const Members& m);
  Value& operator=(const Items& v);

  // Lookups by name; the receiver must be an Object.
  bool has(const char* name) const;
  const Value& get(const char* name) const;
  Value& get(const char* name);
  const Value& get_typed(const char* name, Type wanted) const;
  Value& get_typed(const char* name, Type wanted);
  bool get_boolean(const char* name) const;
  std::int64_t get_number(const char* name) const;
  const std::string& get_string(const char* name) const;
  const Members& get_object(const char* name) const;
  const Items& get_list(const char* name) const;

  // Tolerant lookups: false and `out` untouched when the member is absent. The 32-bit outputs
  // receive the low 32 bits of the Number; the 64-bit ones all of it.
  bool get(const char* name, bool& out) const;
  bool get(const char* name, long long& out) const;
  bool get(const char* name, int& out) const;
  bool get(const char* name, long& out) const;
  bool get(const char* name, unsigned int& out) const;
  bool get(const char* name, unsigned long& out) const;
  bool get(const char* name, unsigned long long& out) const;
  bool get(const char* name, std::string& out) const;

  // Writes by name; a missing member is inserted as an empty Object first.
  Value& operator[](const char* name);
  void set(const char* name, bool x);
  void set(const char* name, long long x);
  void set(const char* name, int x);
  void set(const char* name, long x);
  void set(const char* name, unsigned int x);
  void set(const char* name, unsigned long x);
  void set(const char* name, unsigned long long x);
  void set(const char* name, const std::string& x);
  void set(const char* name, const char* x);

  // The text form.
  std::string to_string(Braces braces, Layout layout) const;

  // Fills the value from a NUL-terminated text. Returns false for malformed text, with a trace
  // of source positions in the debug log; never throws for bad input. `end`, when given,
  // receives where reading stopped.
  bool parse(const char* text, const char** end = nullptr);

  // Deepest nesting of objects and lists that parse accepts.
  static constexpr int max_depth = 400;

private:
  friend class Writer;
  friend class Reader;

  Type type_;
  bool boolean = false;
  std::int64_t number = -1;
  std::string text;
  Members members;
  Items items;
};

} // namespace config
