#include "ConfigValue.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using config::Braces;
using config::Layout;
using config::Value;

namespace {

Value object_with(const char* name, const Value& member) {
  Value v(Value::Object);
  v[name] = member;
  return v;
}

Value number(long long n) {
  Value v(Value::Object);
  v = n;
  return v;
}

} // namespace

TEST(ConfigValue, FreshValuesReadTheirDefaults) {
  Value n(Value::Number), b(Value::Boolean), s(Value::String), o(Value::Object), l(Value::List);
  EXPECT_EQ(n.as_number(), -1);
  EXPECT_FALSE(b.as_boolean());
  EXPECT_EQ(s.as_string(), "");
  EXPECT_TRUE(o.as_object().empty());
  EXPECT_TRUE(l.as_list().empty());
  EXPECT_EQ(Value::type_name(Value::Type(7)), "Unknown");
  EXPECT_EQ(Value::type_name(Value::List), "List");
}

TEST(ConfigValue, AssignmentsWidenAsTheirTypeSays) {
  Value v(Value::Object);
  v = -1;
  EXPECT_EQ(v.as_number(), -1);
  v = 4294967295u;
  EXPECT_EQ(v.as_number(), 4294967295LL);
  v = std::numeric_limits<unsigned long long>::max();
  EXPECT_EQ(v.as_number(), -1);
  v = (1ULL << 63);
  EXPECT_EQ(v.as_number(), std::numeric_limits<long long>::min());
  v = std::string("a\0b", 3);
  EXPECT_EQ(v.as_string(), std::string("a\0b", 3));
  v = "text";
  EXPECT_EQ(v.type(), Value::String);
  v = true;
  EXPECT_TRUE(v.as_boolean());
}

// A value of another type than the caller takes it for: a bare source position, nothing logged.
TEST(ConfigValue, MisuseThrowsBareSourcePositions) {
  Value list(Value::List), str(Value::String), boolean(Value::Boolean), num = number(3);
  bool b = false;
  long long ll = 0;
  int i = 0;
  long l = 0;
  unsigned u = 0;
  unsigned long ul = 0;
  unsigned long long ull = 0;
  std::string s;
  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"ConfigValue.cpp(44)", [&] { num.as_boolean(); }},
      {"ConfigValue.cpp(50)", [&] { boolean.as_number(); }},
      {"ConfigValue.cpp(56)", [&] { num.as_string(); }},
      {"ConfigValue.cpp(62)", [&] { num.as_object(); }},
      {"ConfigValue.cpp(68)", [&] { num.as_list(); }},
      {"ConfigValue.cpp(109)", [&] { list.has("a"); }},
      {"ConfigValue.cpp(115)", [&] { list.get("a"); }},
      {"ConfigValue.cpp(127)", [&] { str["a"]; }},
      {"ConfigValue.cpp(133)", [&] { list.set("a", true); }},
      {"ConfigValue.cpp(139)", [&] { list.get("a", b); }},
      {"ConfigValue.cpp(150)", [&] { list.set("a", 1LL); }},
      {"ConfigValue.cpp(156)", [&] { list.set("a", 1); }},
      {"ConfigValue.cpp(162)", [&] { list.set("a", 1L); }},
      {"ConfigValue.cpp(168)", [&] { list.set("a", 1u); }},
      {"ConfigValue.cpp(174)", [&] { list.set("a", 1UL); }},
      {"ConfigValue.cpp(180)", [&] { list.set("a", 1ULL); }},
      {"ConfigValue.cpp(187)", [&] { list.get("a", ll); }},
      {"ConfigValue.cpp(198)", [&] { list.get("a", i); }},
      {"ConfigValue.cpp(209)", [&] { list.get("a", l); }},
      {"ConfigValue.cpp(220)", [&] { list.get("a", u); }},
      {"ConfigValue.cpp(231)", [&] { list.get("a", ul); }},
      {"ConfigValue.cpp(242)", [&] { list.get("a", ull); }},
      {"ConfigValue.cpp(253)", [&] { list.set("a", std::string("x")); }},
      {"ConfigValue.cpp(259)", [&] { list.set("a", "x"); }},
      {"ConfigValue.cpp(265)", [&] { list.get("a", s); }},
  };
  // Each is the one exception of data of the wrong shape, so that a loader that catches it
  // survives every shape its file can have.
  LogCapture log;
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << ": nothing thrown";
    } catch (const Value::Exception& e) {
      EXPECT_STREQ(e.what(), c.what);
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.what << ": another exception " << e.what();
    }
  }
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(str.type(), Value::String);
  EXPECT_EQ(str.as_string(), "");
}

// Faults of the data: one log line, then an exception that names the member.
TEST(ConfigValue, DataFaultsLogAndNameTheMember) {
  Value v(Value::Object);
  v.set("n", 3);
  v.set("s", "x");
  const struct {
    std::function<void()> call;
    const char* message;
    const char* line;
  } cases[] = {
      {[&] { v.get("x"); }, "\"x\" is not found", "ConfigValue.cpp(119): \"x\" is not found\n"},
      {[&] { v.get_typed("x", Value::String); }, "\"x\" is not found",
       "ConfigValue.cpp(119): \"x\" is not found\n"},
      {[&] { v.get_string("n"); }, "\"n\" is Number, not String",
       "ConfigValue.cpp(280): \"n\" is Number, not String\n"},
      {[&] { v.get_number("s"); }, "\"s\" is String, not Number",
       "ConfigValue.cpp(280): \"s\" is String, not Number\n"},
      {[&] { v.get_boolean("n"); }, "\"n\" is Number, not Boolean",
       "ConfigValue.cpp(280): \"n\" is Number, not Boolean\n"},
      {[&] { v.get_object("n"); }, "\"n\" is Number, not Object",
       "ConfigValue.cpp(280): \"n\" is Number, not Object\n"},
      {[&] { v.get_list("s"); }, "\"s\" is String, not List",
       "ConfigValue.cpp(280): \"s\" is String, not List\n"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    try {
      c.call();
      ADD_FAILURE() << c.message << ": nothing thrown";
    } catch (const Value::Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(log.text(), c.line);
  }
}

TEST(ConfigValue, TolerantGetReadsTypedOrLeavesOutputAlone) {
  Value v(Value::Object);
  v.set("big", (1LL << 32) + 5);
  v.set("neg", -2);
  v.set("n", 7);
  v.set("s", "text");
  int i = 0;
  EXPECT_TRUE(v.get("big", i));
  EXPECT_EQ(i, 5);
  unsigned u = 0;
  EXPECT_TRUE(v.get("neg", u));
  EXPECT_EQ(u, 4294967294u);
  long l = 0; // 64 bits here: the whole Number
  EXPECT_TRUE(v.get("big", l));
  EXPECT_EQ(l, (1LL << 32) + 5);
  std::string s;
  EXPECT_TRUE(v.get("s", s));
  EXPECT_EQ(s, "text");
  bool b = true;
  EXPECT_FALSE(v.get("absent", b));
  EXPECT_TRUE(b);
  try {
    v.get("n", b);
    ADD_FAILURE() << "nothing thrown";
  } catch (const Value::Exception& e) {
    EXPECT_STREQ(e.what(), "ConfigValue.cpp(44)");
  }
}

TEST(ConfigValue, WritesByNameBuildNestedObjects) {
  Value v(Value::Object);
  v["a"];
  EXPECT_EQ(v.to_string(Braces::Kept, Layout::OneLine), "{\"a\":{}}");
  v["device"]["type"] = "drive";
  EXPECT_EQ(v.get("device").get_string("type"), "drive");

  v["a"].set("inner", 1);
  v.set("a", 5);
  EXPECT_EQ(v.get_number("a"), 5);
  try {
    v.get("a").as_object();
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "ConfigValue.cpp(62)");
  }
}

TEST(ConfigValue, CopiesAreDeepAtAnyDepth) {
  Value original(Value::Object);
  original["a"]["b"]["c"] = 1;
  original["list"] = Value::Items{number(1), object_with("x", number(2))};
  Value copy = original;
  copy["a"]["b"]["c"] = 2;
  copy.as_object().at("list").as_list()[1]["x"] = 3;
  EXPECT_EQ(original.to_string(Braces::Kept, Layout::OneLine),
            "{\"a\":{\"b\":{\"c\":1}},\"list\":[1,{\"x\":2}]}");
  EXPECT_EQ(copy.to_string(Braces::Kept, Layout::OneLine),
            "{\"a\":{\"b\":{\"c\":2}},\"list\":[1,{\"x\":3}]}");
}

TEST(ConfigValue, KeysKeepByteWiseOrder) {
  Value v(Value::Object);
  for (const char* key : {"b", "aa", "B", "a", "\xc3\xa9", "\x01"})
    v.set(key, 1);
  EXPECT_EQ(v.to_string(Braces::Kept, Layout::OneLine),
            "{\"\\x01\":1,\"B\":1,\"a\":1,\"aa\":1,\"b\":1,\"\\xc3\\xa9\":1}");
}
