// Reading the update feed, and the names and addresses taken from it.
#include "Update.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace {

constexpr std::size_t none = std::string::npos;

} // namespace

TEST(FindAttribute, FindsTheValueAfterThePosition) {
  const struct {
    const char* text;
    std::size_t from;
    const char* name;
    std::size_t result; // the closing quote
    const char* value;  // "-" when unchanged
    const char* log;
  } cases[] = {
      {"a version=\"1.2\" b", 0, "version", 14, "1.2", ""},
      {"version=\"\"", 0, "version", 9, "", ""},
      {"version=\"1\" version=\"2\"", 1, "version", 22, "2", ""},
      // A plain search: the name may end a longer one.
      {"downloadurl=\"d\" url=\"u\"", 0, "url", 14, "d", ""},
      {"xlength=\"9\"", 0, "length", 10, "9", ""},
      // Letter case counts.
      {"releaseNotesUrl=\"n\"", 0, "url", none, "-", "Update.cpp(25)\n"},
      {"version=1.2", 0, "version", none, "-", "Update.cpp(25)\n"},
      {"version = \"1.2\"", 0, "version", none, "-", "Update.cpp(25)\n"},
      {"version=\"1.2", 0, "version", none, "-", "Update.cpp(31)\n"},
      {"version=\"1\"", 2, "version", none, "-", "Update.cpp(25)\n"},
      {"version=\"1\"", 99, "version", none, "-", "Update.cpp(25)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " from " << c.from << " " << c.name);
    LogCapture log;
    std::string value = "-";
    EXPECT_EQ(find_attribute(c.text, c.from, c.name, value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(log.text(), c.log);
  }
}

TEST(ParseFeed, ReadsTheEnclosureAttributesInTheirOrder) {
  const std::string good = "<rss><item><enclosure version=\"wipedesk v140101\" "
                           "url=\"http://h/w.bin\" length=\"1234\" "
                           "releaseNotesUrl=\"http://h/notes.html\" type=\"x\"/></item></rss>";
  const struct {
    std::string feed;
    bool ok;
    const char* version;
    const char* url;
    std::uint32_t length;
    const char* notes;
    const char* log;
  } cases[] = {
      {good, true, "wipedesk v140101", "http://h/w.bin", 1234, "http://h/notes.html", ""},
      // The attributes need not lie inside the element, only after "<enclosure".
      {"<enclosure/> version=\"v\" url=\"u\" length=\"1\" releaseNotesUrl=\"n\"", true, "v", "u", 1,
       "n", ""},
      // "url" is found at the end of "downloadurl".
      {"<enclosure version=\"v\" downloadurl=\"d\" url=\"u\" length=\"1\" releaseNotesUrl=\"n\"",
       true, "v", "d", 1, "n", ""},
      {"<rss>version=\"v\"</rss>", false, "", "", 0, "", "Update.cpp(233)\n"},
      {"", false, "", "", 0, "", "Update.cpp(233)\n"},
      {"<enclosure url=\"u\">", false, "", "", 0, "", "Update.cpp(25)\nUpdate.cpp(240)\n"},
      // Out of order: what was read before the failure stays.
      {"<enclosure url=\"u\" version=\"v\" length=\"1\" releaseNotesUrl=\"n\"", false, "v", "", 0,
       "", "Update.cpp(25)\nUpdate.cpp(246)\n"},
      {"<enclosure version=\"v\" url=\"u\" releaseNotesUrl=\"n\"", false, "v", "u", 0, "",
       "Update.cpp(25)\nUpdate.cpp(252)\n"},
      {"<enclosure version=\"v\" url=\"u\" length=\"1\"", false, "v", "u", 1, "",
       "Update.cpp(25)\nUpdate.cpp(258)\n"},
      {"<enclosure version=\"v\" url=\"u", false, "v", "", 0, "",
       "Update.cpp(31)\nUpdate.cpp(246)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.feed);
    LogCapture log;
    UpdateInfo info;
    EXPECT_EQ(Update::parse_feed(c.feed, info), c.ok);
    EXPECT_EQ(info.version(), c.version);
    EXPECT_EQ(info.url(), c.url);
    EXPECT_EQ(info.length(), c.length);
    EXPECT_EQ(info.release_notes_url(), c.notes);
    EXPECT_EQ(log.text(), c.log);
  }
}

// "length" is read as strtoul reads it where unsigned long has 32 bits.
TEST(ParseFeed, LengthIsReadAsAThirtyTwoBitNumber) {
  const struct {
    const char* text;
    std::uint32_t length;
  } cases[] = {
      {"0", 0},
      {"1234567", 1234567},
      {"4294967295", 4294967295U},
      {"4294967296", 4294967295U},              // beyond 32 bits
      {"99999999999999999999999", 4294967295U}, // beyond 64 bits
      {"  +12", 12},
      {"\t\n42abc", 42},
      {"-1", 4294967295U}, // negated, as strtoul does
      {"-4294967296", 4294967295U},
      {"12 34", 12},
      {"0x10", 0},
      {"abc", 0},
      {"", 0},
      {"-", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    UpdateInfo info;
    EXPECT_TRUE(Update::parse_feed(std::string("<enclosure version=\"v\" url=\"u\" length=\"") +
                                       c.text + "\" releaseNotesUrl=\"n\"",
                                   info));
    EXPECT_EQ(info.length(), c.length);
  }
}

TEST(UpdateFileName, OnlyANameThatStaysInsideTheFolder) {
  const struct {
    const char* url;
    const char* name;
  } cases[] = {
      {"http://h/dl/wipedesk-140101.bin", "wipedesk-140101.bin"},
      {"http://h/dl/setup.bin?version=2&from=/x", "setup.bin"},
      {"http://h/dl/setup.bin#part/2", "setup.bin"},
      {"http://h/a/../../etc/evil.bin", "evil.bin"},
      {"http://h/a/..\\..\\evil.bin", "evil.bin"},
      {"setup.bin", "setup.bin"},
      {"http://h/..", ""},
      {"http://h/.", ""},
      {"http://h/dl/", ""},
      {"http://h/dl/..?x", ""},
      {"http://h/a\\..", ""},
      {"", ""},
      {"http://h/bad\tname.bin", ""},
      {"http://h/bad\x7fname.bin", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(update_file_name(c.url), c.name);
  }
}

TEST(IsWebAddress, OnlyHttpAndHttps) {
  const struct {
    const char* address;
    bool web;
  } cases[] = {
      {"http://h/notes.html", true},   {"https://h/notes.html", true},
      {"HTTPS://h/notes.html", true},  {"http://", false},
      {"file:///etc/passwd", false},   {"/usr/bin/xterm", false},
      {"javascript:alert(1)", false},  {"httpx://h", false},
      {" http://h/notes.html", false}, {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(is_web_address(c.address), c.web);
  }
}
