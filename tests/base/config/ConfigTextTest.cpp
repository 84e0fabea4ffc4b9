#include "ConfigValue.h"

#include "Files.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>

using config::Braces;
using config::Layout;
using config::Value;

namespace {

// The trace lines a failed parse leaves, from the numbers of its steps.
std::string trace(std::initializer_list<int> positions) {
  std::string text;
  for (int p : positions)
    text += "ConfigValue.cpp(" + std::to_string(p) + ")\n";
  return text;
}

struct ParseCase {
  const char* name;
  std::string text;
  bool result;
  const char* receiver; // compact text of the receiver afterwards; "-" = unchanged
  std::initializer_list<int> lines;
};

std::string digits_of_two_to_63() { return "9223372036854775808"; }

} // namespace

TEST(ConfigText, ParseTable) {
  // One case a line, however long: the table reads as a table.
  // clang-format off
  const ParseCase cases[] = {
      {"object with escape", "{\"b\":2,\"a\":\"x\\u00e9\"}", true, "{\"a\":\"x\\xc3\\xa9\",\"b\":2}", {}},
      {"member list", "\"status\":\"ready\"", true, "{\"status\":\"ready\"}", {}},
      {"comment, leading zeros, trailing comma", "/* settings */ \"n\":-0012,", true, "{\"n\":-12}", {}},
      {"later key wins", "{\"a\":1,\"a\":2}", true, "{\"a\":2}", {}},
      {"2^63 wraps to the smallest", "[" + digits_of_two_to_63() + "]", true, "[-9223372036854775808]", {}},
      {"2^64 reads 0", "[18446744073709551616]", true, "[0]", {}},
      {"line comment at the end", "{\"a\":1}\n// end", true, "{\"a\":1}", {}},
      {"trailing comma in object", "{\"a\":1,}", true, "{\"a\":1}", {}},
      {"empty object", "{}", true, "{}", {}},
      {"empty list", "[ ]", true, "[]", {}},
      {"keywords", "[null,true,false]", true, "[null,true,false]", {}},
      {"\\u escapes", "[\"\\u20ac\\u0041\\u0000\"]", true, "[\"\\xe2\\x82\\xacA\\x00\"]", {}},
      {"trailing comma in list", "[1,2,]", false, "-", {527, 642, 421}},
      {"fraction", "{\"n\":1.5}", false, "-", {492, 625, 605, 417}},
      {"missing colon", "{\"a\" 1}", false, "-", {620, 605, 417}},
      {"keyword prefix", "\"a\":truex", false, "-", {492, 625, 425}},
      {"unknown escape", "[\"\\q\"]", false, "-", {582, 503, 642, 421}},
      {"short \\x", "{\"a\":\"\\x4\"}", false, "-", {669, 565, 503, 623, 605, 417}},
      {"short \\u", "[\"\\u12\"]", false, "-", {691, 569, 503, 642, 421}},
      {"open block comment", "{\"a\":/*x}", false, "-", {462, 500, 623, 605, 417}},
      {"garbage after", "{\"a\":1} x", false, "{\"a\":1}", {492, 430}},
      {"second value after", "{\"a\":1}{}", false, "{\"a\":1}", {431}},
      {"lone scalar", "5", false, "-", {428}},
      {"empty text", "", false, "-", {428}},
      {"only comments", " // x\n /* y */ ", false, "-", {428}},
      {"nul keyword", "[nul]", false, "-", {492, 639, 421}},
      {"nul keyword as a value", "[1,nul]", false, "-", {492, 500, 642, 421}},
      {"lone minus", "[-]", false, "-", {538, 507, 642, 421}},
      {"form feed", "\f{}", false, "-", {492, 414}},
      {"byte order mark", "\xef\xbb\xbf{}", false, "-", {492, 414}},
      {"unterminated string", "[\"abc", false, "-", {591, 503, 642, 421}},
      {"bad key", "{\"a\\q\":1}", false, "-", {582, 618, 605, 417}},
      {"comma then garbage", "{\"a\":1,@}", false, "-", {492, 630, 605, 417}},
      {"list item then colon", "[1:2]", false, "-", {646, 421}},
      {"object closed by bracket", "{\"a\":1]", false, "-", {607, 417}},
      {"slash alone", "{/}", false, "-", {492, 604, 417}},
      {"list then garbage", "[@]", false, "-", {492, 639, 421}},
      {"value then garbage in list", "[1 @]", false, "-", {492, 644, 421}},
      {"key then garbage", "{\"a\"@}", false, "-", {492, 619, 605, 417}},
      {"bad nested object", "[{\"a\"}]", false, "-", {620, 605, 521, 642, 421}},
      {"bad nested list", "{\"a\":[,]}", false, "-", {527, 642, 517, 623, 605, 417}},
  };
  // clang-format on
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    Value v(Value::Object);
    v.set("untouched", 1);
    const std::string before = v.to_string(Braces::Kept, Layout::OneLine);
    LogCapture log;
    EXPECT_EQ(v.parse(c.text.c_str()), c.result);
    EXPECT_EQ(log.text(), trace(c.lines));
    EXPECT_EQ(v.to_string(Braces::Kept, Layout::OneLine),
              std::string(c.receiver) == "-" ? before : c.receiver);
  }
}

TEST(ConfigText, EndPointsWhereReadingStopped) {
  Value v(Value::Object);
  const char* text = "{\"a\":1} // tail";
  const char* end = nullptr;
  ASSERT_TRUE(v.parse(text, &end));
  EXPECT_EQ(end, text + 8);
}

TEST(ConfigText, DeepNestingIsRefusedNotOverflowed) {
  LogCapture log;
  const int ok_depth = Value::max_depth;
  std::string fine = std::string(ok_depth, '[') + std::string(ok_depth, ']');
  Value v(Value::Object);
  EXPECT_TRUE(v.parse(fine.c_str()));

  std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_FALSE(v.parse(deep.c_str()));
  // The innermost line says why; the outer steps add their own lines after it.
  EXPECT_EQ(log.text().rfind("ConfigValue.cpp(530)\nConfigValue.cpp(642)\n", 0), 0u);
  std::string objects;
  for (int i = 0; i < 1000; ++i)
    objects += "{\"a\":";
  objects += "1" + std::string(1000, '}');
  log.clear();
  EXPECT_FALSE(v.parse(objects.c_str()));
  EXPECT_EQ(log.text().rfind("ConfigValue.cpp(530)\nConfigValue.cpp(623)\n", 0), 0u);
}

TEST(ConfigText, WriterLayouts) {
  Value v(Value::Object);
  v.set("a", 1);
  Value t(Value::Object);
  t = true;
  Value x(Value::Object);
  x = "x";
  v["b"] = Value::Items{t, x};
  v["c"];
  EXPECT_EQ(v.to_string(Braces::Kept, Layout::OneLine), "{\"a\":1,\"b\":[true,\"x\"],\"c\":{}}");
  EXPECT_EQ(v.to_string(Braces::Omitted, Layout::OneLine), "\"a\":1,\"b\":[true,\"x\"],\"c\":{}");
  EXPECT_EQ(v.to_string(Braces::Kept, Layout::Indented), "{\n"
                                                         "  \"a\":1,\n"
                                                         "  \"b\":[\n"
                                                         "    true,\n"
                                                         "    \"x\"\n"
                                                         "  ],\n"
                                                         "  \"c\":{\n"
                                                         "  }\n"
                                                         "}");
  EXPECT_EQ(v.to_string(Braces::Omitted, Layout::Indented), "\"a\":1,\n"
                                                            "\"b\":[\n"
                                                            "  true,\n"
                                                            "  \"x\"\n"
                                                            "],\n"
                                                            "\"c\":{\n"
                                                            "}");
  Value empty(Value::Object), list(Value::List), n(Value::Object);
  n = -5;
  EXPECT_EQ(empty.to_string(Braces::Omitted, Layout::OneLine), "{}");
  EXPECT_EQ(empty.to_string(Braces::Omitted, Layout::Indented), "{\n}");
  EXPECT_EQ(list.to_string(Braces::Kept, Layout::Indented), "[\n]");
  EXPECT_EQ(n.to_string(Braces::Omitted, Layout::OneLine), "-5");
}

TEST(ConfigText, StringsAreWrittenAsPrintableAscii) {
  Value v(Value::Object);
  v.set("s", std::string("\t\xc3\xa9\x7f/\0\"\\\b\f\n\r\x1f", 13));
  EXPECT_EQ(v.to_string(Braces::Omitted, Layout::OneLine),
            "\"s\":\"\\t\\xc3\\xa9\\x7f/\\x00\\\"\\\\\\b\\f\\n\\r\\x1f\"");
  Value back(Value::Object);
  ASSERT_TRUE(back.parse(v.to_string(Braces::Omitted, Layout::OneLine).c_str()));
  EXPECT_EQ(back.get_string("s"), v.get_string("s"));
}

namespace {

Value random_value(std::mt19937_64& rng, int depth) {
  Value v(Value::Object);
  const int kind = depth > 4 ? int(rng() % 4) : int(rng() % 6);
  switch (kind) {
  case 0: v.set_null(); break;
  case 1: v = bool(rng() & 1); break;
  case 2: v = static_cast<long long>(rng()); break;
  case 3: {
    std::string s(rng() % 12, '\0');
    for (char& c : s)
      c = static_cast<char>(rng());
    v = s;
    break;
  }
  case 4: {
    const int n = int(rng() % 5);
    for (int i = 0; i < n; ++i) {
      std::string key(rng() % 4, '\0');
      for (char& c : key)
        c = static_cast<char>(rng());
      v[key.c_str()] = random_value(rng, depth + 1);
    }
    break;
  }
  default: {
    Value::Items items;
    const int n = int(rng() % 5);
    for (int i = 0; i < n; ++i)
      items.push_back(random_value(rng, depth + 1));
    v = items;
  }
  }
  return v;
}

} // namespace

TEST(ConfigText, RandomValuesSurviveEveryLayout) {
  std::mt19937_64 rng(20261210);
  for (int round = 0; round < 500; ++round) {
    Value v = random_value(rng, 0);
    if (v.type() != Value::Object && v.type() != Value::List)
      continue;
    const std::string compact = v.to_string(Braces::Kept, Layout::OneLine);
    for (auto [braces, layout] : {std::pair{Braces::Kept, Layout::OneLine},
                                  {Braces::Kept, Layout::Indented},
                                  {Braces::Omitted, Layout::OneLine},
                                  {Braces::Omitted, Layout::Indented}}) {
      if (braces == Braces::Omitted && v.type() == Value::Object && v.as_object().empty())
        continue;
      const std::string text = v.to_string(braces, layout);
      Value back(Value::Object);
      ASSERT_TRUE(back.parse(text.c_str())) << text;
      EXPECT_EQ(back.to_string(Braces::Kept, Layout::OneLine), compact) << text;
    }
  }
}

TEST(ConfigText, SampleFileRoundTrips) {
  std::string text;
  ASSERT_TRUE(read_file(CVW_TEST_DATA "/sample.cfg", text));
  Value v(Value::Object);
  ASSERT_TRUE(v.parse(text.c_str()));
  EXPECT_EQ(v.get("wipe").get("command").get_number("sectorsPerTime"), 2048);
  EXPECT_EQ(v.get_string("Label"), "caf\xc3\xa9 A\t");
  const std::string pretty = v.to_string(Braces::Omitted, Layout::Indented);
  std::cout << pretty << "\n";
  Value back(Value::Object);
  ASSERT_TRUE(back.parse(pretty.c_str()));
  EXPECT_EQ(back.to_string(Braces::Kept, Layout::OneLine),
            v.to_string(Braces::Kept, Layout::OneLine));
}
