#include "ConfigValue.h"

#include "DebugLog.h"

#include <ostream>

namespace config {

namespace {

[[noreturn]] void fail(const char* position) { throw Value::Exception(position); }

std::string quoted(const char* name) { return std::string("\"") + name + "\""; }

} // namespace

std::string Value::type_name(Type type) {
  switch (type) {
  case Null: return "Null";
  case Boolean: return "Boolean";
  case Number: return "Number";
  case String: return "String";
  case Object: return "Object";
  case List: return "List";
  }
  return "Unknown";
}

Value::Value(Type type) : type_(type) {}

bool Value::as_boolean() const {
  if (type_ != Boolean)
    fail("ConfigValue.cpp(44)");
  return boolean;
}

std::int64_t Value::as_number() const {
  if (type_ != Number)
    fail("ConfigValue.cpp(50)");
  return number;
}

const std::string& Value::as_string() const {
  if (type_ != String)
    fail("ConfigValue.cpp(56)");
  return text;
}

std::string& Value::as_string() {
  if (type_ != String)
    fail("ConfigValue.cpp(56)");
  return text;
}

const Value::Members& Value::as_object() const {
  if (type_ != Object)
    fail("ConfigValue.cpp(62)");
  return members;
}

Value::Members& Value::as_object() {
  if (type_ != Object)
    fail("ConfigValue.cpp(62)");
  return members;
}

const Value::Items& Value::as_list() const {
  if (type_ != List)
    fail("ConfigValue.cpp(68)");
  return items;
}

Value::Items& Value::as_list() {
  if (type_ != List)
    fail("ConfigValue.cpp(68)");
  return items;
}

void Value::set_null() { type_ = Null; }

void Value::set_boolean(bool b) {
  type_ = Boolean;
  boolean = b;
}

void Value::set_number(long long n) {
  type_ = Number;
  number = n;
}

void Value::set_string(const std::string& s) {
  type_ = String;
  text = s;
}

void Value::set_object(const Members& m) {
  type_ = Object;
  members = m;
}

void Value::set_list(const Items& v) {
  type_ = List;
  items = v;
}

Value& Value::operator=(bool b) {
  set_boolean(b);
  return *this;
}

Value& Value::operator=(int n) {
  set_number(n);
  return *this;
}

Value& Value::operator=(unsigned int n) {
  set_number(static_cast<long long>(n));
  return *this;
}

Value& Value::operator=(long n) {
  set_number(n);
  return *this;
}

Value& Value::operator=(unsigned long n) {
  set_number(static_cast<long long>(n));
  return *this;
}

Value& Value::operator=(long long n) {
  set_number(n);
  return *this;
}

Value& Value::operator=(unsigned long long n) {
  set_number(static_cast<long long>(n));
  return *this;
}

Value& Value::operator=(const std::string& s) {
  set_string(s);
  return *this;
}

Value& Value::operator=(const char* s) {
  set_string(s);
  return *this;
}

Value& Value::operator=(const Members& m) {
  set_object(m);
  return *this;
}

Value& Value::operator=(const Items& v) {
  set_list(v);
  return *this;
}

bool Value::has(const char* name) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(109)");
  return members.find(name) != members.end();
}

const Value& Value::get(const char* name) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(115)");
  auto found = members.find(name);
  if (found == members.end()) {
    const std::string message = quoted(name) + " is not found";
    debug_log() << "ConfigValue.cpp(119): " << message << "\n";
    throw Exception(message);
  }
  return found->second;
}

Value& Value::get(const char* name) {
  return const_cast<Value&>(static_cast<const Value*>(this)->get(name));
}

const Value& Value::get_typed(const char* name, Type wanted) const {
  const Value& member = get(name);
  if (member.type_ != wanted) {
    const std::string message =
        quoted(name) + " is " + type_name(member.type_) + ", not " + type_name(wanted);
    debug_log() << "ConfigValue.cpp(280): " << message << "\n";
    throw Exception(message);
  }
  return member;
}

Value& Value::get_typed(const char* name, Type wanted) {
  return const_cast<Value&>(static_cast<const Value*>(this)->get_typed(name, wanted));
}

bool Value::get_boolean(const char* name) const { return get_typed(name, Boolean).as_boolean(); }

std::int64_t Value::get_number(const char* name) const {
  return get_typed(name, Number).as_number();
}

const std::string& Value::get_string(const char* name) const {
  return get_typed(name, String).as_string();
}

const Value::Members& Value::get_object(const char* name) const {
  return get_typed(name, Object).as_object();
}

const Value::Items& Value::get_list(const char* name) const {
  return get_typed(name, List).as_list();
}

namespace {

// The tolerant lookup shared by the eight `get` overloads: the member, or null when absent.
const Value* find_member(const Value::Members& members, const char* name) {
  auto found = members.find(name);
  return found == members.end() ? nullptr : &found->second;
}

} // namespace

bool Value::get(const char* name, bool& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(139)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = member->as_boolean();
  return true;
}

bool Value::get(const char* name, long long& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(187)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = member->as_number();
  return true;
}

bool Value::get(const char* name, int& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(198)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = static_cast<int>(static_cast<std::uint32_t>(member->as_number()));
  return true;
}

bool Value::get(const char* name, long& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(209)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = static_cast<long>(member->as_number());
  return true;
}

bool Value::get(const char* name, unsigned int& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(220)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = static_cast<unsigned int>(member->as_number());
  return true;
}

bool Value::get(const char* name, unsigned long& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(231)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = static_cast<unsigned long>(member->as_number());
  return true;
}

bool Value::get(const char* name, unsigned long long& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(242)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = static_cast<unsigned long long>(member->as_number());
  return true;
}

bool Value::get(const char* name, std::string& out) const {
  if (type_ != Object)
    fail("ConfigValue.cpp(265)");
  const Value* member = find_member(members, name);
  if (member == nullptr)
    return false;
  out = member->as_string();
  return true;
}

Value& Value::operator[](const char* name) {
  if (type_ != Object)
    fail("ConfigValue.cpp(127)");
  return members.try_emplace(name, Object).first->second;
}

namespace {

// `set` checks the receiver with its own position before the member is touched.
template <typename T>
void set_member(Value& receiver, const char* position, const char* name, const T& x) {
  if (receiver.type() != Value::Object)
    fail(position);
  receiver[name] = x;
}

} // namespace

void Value::set(const char* name, bool x) { set_member(*this, "ConfigValue.cpp(133)", name, x); }
void Value::set(const char* name, long long x) {
  set_member(*this, "ConfigValue.cpp(150)", name, x);
}
void Value::set(const char* name, int x) { set_member(*this, "ConfigValue.cpp(156)", name, x); }
void Value::set(const char* name, long x) { set_member(*this, "ConfigValue.cpp(162)", name, x); }
void Value::set(const char* name, unsigned int x) {
  set_member(*this, "ConfigValue.cpp(168)", name, x);
}
void Value::set(const char* name, unsigned long x) {
  set_member(*this, "ConfigValue.cpp(174)", name, x);
}
void Value::set(const char* name, unsigned long long x) {
  set_member(*this, "ConfigValue.cpp(180)", name, x);
}
void Value::set(const char* name, const std::string& x) {
  set_member(*this, "ConfigValue.cpp(253)", name, x);
}
void Value::set(const char* name, const char* x) {
  set_member(*this, "ConfigValue.cpp(259)", name, x);
}

} // namespace config
