// Fetching over HTTP against a scripted server on the loopback address.
#include "Update.h"

#include "HttpServer.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class UpdateTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Update::start_sockets()); }
};

std::string ok(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body;
}

const std::string feed =
    "<?xml version=\"1.0\"?><rss><channel><item><title>v140101</title>"
    "<enclosure version=\"wipedesk v140101\" url=\"http://127.0.0.1/wipedesk-140101.bin\" "
    "length=\"24500000\" releaseNotesUrl=\"http://127.0.0.1/notes.html\" "
    "type=\"application/octet-stream\"/></item></channel></rss>";

// Counts the checks and cancels at the given one.
class CancelAt : public InterfaceCallback {
public:
  explicit CancelAt(int at) : at(at) {}
  void check() override {
    if (++checks == at)
      throw InterruptedException();
  }
  int checks = 0;

private:
  int at;
};

double seconds_since(gint64 start) { return double(g_get_monotonic_time() - start) / 1e6; }

} // namespace

TEST_F(UpdateTest, AGoodFeedIsReadFromTheExactRequest) {
  HttpServer server({{"/updates/feed.xml", {http::send(ok(feed))}}});
  LogCapture log;
  Update update;
  UpdateInfo info;
  ASSERT_TRUE(update.check(server.url("/updates/feed.xml"), info));
  EXPECT_EQ(info.version(), "wipedesk v140101");
  EXPECT_EQ(info.url(), "http://127.0.0.1/wipedesk-140101.bin");
  EXPECT_EQ(info.length(), 24500000u);
  EXPECT_EQ(info.release_notes_url(), "http://127.0.0.1/notes.html");
  EXPECT_EQ(server.request(1), "GET /updates/feed.xml HTTP/1.0\r\nHost: 127.0.0.1:" +
                                   std::to_string(server.port()) + "\r\n\r\n");
  EXPECT_EQ(log.text(), "");
}

TEST_F(UpdateTest, TheRequestAsksForThePathOfTheAddress) {
  HttpServer server({{"/", {http::send(ok("root"))}}});
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  const std::string longPath = "/" + std::string(300000, 'p');
  const struct {
    std::string address;
    std::string request;
  } cases[] = {
      {"http://" + host, "GET / HTTP/1.0\r\nHost: " + host + "\r\n\r\n"},
      {host + "/a/b?c=d", "GET /a/b?c=d HTTP/1.0\r\nHost: " + host + "\r\n\r\n"},
      // Sent whole, however many sends it takes.
      {"http://" + host + longPath, "GET " + longPath + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address.substr(0, 60));
    LogCapture log;
    Update update;
    StreamString body;
    update.fetch(c.address, body, Update::Body::at_most(Update::feed_limit));
    EXPECT_EQ(server.request(++n), c.request);
  }
}

TEST_F(UpdateTest, OnlyACompleteOkResponseGivesItsBody) {
  const std::string filler = "X-Filler: " + std::string(60, 'a') + "\r\n";
  // A header block of exactly the most allowed, and one byte more.
  const std::string status = "HTTP/1.0 200 OK\r\n";
  const std::string padding(
      Update::header_limit - status.size() - std::string("X: \r\n\r\n").size(), 'x');
  const std::string fullHeader = status + "X: " + padding + "\r\n\r\n";
  const struct {
    const char* name;
    std::vector<std::string> actions;
    bool ok;
    std::string body;
    std::string log;
  } cases[] = {
      {"1.0", {http::send(ok(feed))}, true, feed, ""},
      {"1.1", {http::send("HTTP/1.1 200 OK\r\n\r\nbody")}, true, "body", ""},
      {"bare status", {http::send("HTTP/1.0 200\r\n\r\nbody")}, true, "body", ""},
      {"no body", {http::send("HTTP/1.0 200 OK\r\n\r\n")}, true, "", ""},
      {"in pieces",
       {http::send("HTTP/1.0 200 OK\r\nA: b\r"), http::sleep(0.05), http::send("\n\r"),
        http::sleep(0.05), http::send("\nbo"), http::sleep(0.05), http::send("dy")},
       true,
       "body",
       ""},
      {"largest header", {http::send(fullHeader + "body")}, true, "body", ""},
      {"header too long",
       {http::send(status + "X: " + padding + "x\r\n\r\nbody")},
       false,
       "",
       "Update.cpp(147): 65536\n"},
      {"endless header",
       {http::send(status), http::repeat(filler)},
       false,
       "",
       "Update.cpp(147): 65536\n"},
      {"404",
       {http::send("HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>")},
       false,
       "",
       "Update.cpp(145): HTTP/1.0 404 Not Found\n"},
      {"500",
       {http::send("HTTP/1.1 500 Internal Server Error\r\n\r\noops")},
       false,
       "",
       "Update.cpp(145): HTTP/1.1 500 Internal Server Error\n"},
      {"redirect",
       {http::send("HTTP/1.1 302 Found\r\nLocation: http://elsewhere/\r\n\r\n")},
       false,
       "",
       "Update.cpp(145): HTTP/1.1 302 Found\n"},
      {"2000",
       {http::send("HTTP/1.0 2000 OK\r\n\r\nbody")},
       false,
       "",
       "Update.cpp(145): HTTP/1.0 2000 OK\n"},
      {"no status", {http::send("\r\n\r\nbody")}, false, "", "Update.cpp(145): \n"},
      {"not HTTP",
       {http::send("SSH-2.0-x\x01\r\n\r\n")},
       false,
       "",
       "Update.cpp(145): SSH-2.0-x.\n"},
      {"closed in the header",
       {http::send("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n")},
       false,
       "",
       "Update.cpp(149): 36\n"},
      {"closed at once", {}, false, "", "Update.cpp(149): 0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpServer server({{"/f", c.actions}});
    LogCapture log;
    Update update;
    StreamString body;
    EXPECT_EQ(update.fetch(server.url("/f"), body, Update::Body::at_most(Update::feed_limit)),
              c.ok);
    EXPECT_EQ(body.text, c.body);
    EXPECT_EQ(log.text(), c.log);
  }
}

TEST_F(UpdateTest, ABodyMustFitItsLimit) {
  const std::uint64_t mib = Update::feed_limit;
  const struct {
    const char* name;
    std::uint64_t sent;
    Update::Body body;
    bool ok;
    std::uint64_t kept;
    std::string log;
  } cases[] = {
      {"feed at the limit", mib, Update::Body::at_most(mib), true, mib, ""},
      {"feed beyond the limit", mib + 1, Update::Body::at_most(mib), false, mib,
       "Update.cpp(166): 1048576\n"},
      {"short feed", 10, Update::Body::at_most(mib), true, 10, ""},
      {"exact download", 300000, Update::Body::exactly(300000), true, 300000, ""},
      {"short download", 299999, Update::Body::exactly(300000), false, 299999,
       "Update.cpp(168): 299999 300000\n"},
      {"long download", 300001, Update::Body::exactly(300000), false, 300000,
       "Update.cpp(166): 300000\n"},
      {"far too long", 3 * mib, Update::Body::exactly(1000), false, 1000,
       "Update.cpp(166): 1000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpServer server({{"/f", {http::send(ok("")), http::send_file("body")}}});
    std::string bytes(c.sent, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<char>(i * 7 + i / 251);
    ASSERT_TRUE(g_file_set_contents(server.file("body").c_str(), bytes.data(),
                                    static_cast<gssize>(bytes.size()), nullptr));
    LogCapture log;
    Update update;
    StreamString body;
    EXPECT_EQ(update.fetch(server.url("/f"), body, c.body), c.ok);
    EXPECT_EQ(body.text.size(), c.kept);
    EXPECT_TRUE(body.text == bytes.substr(0, c.kept)) << "the bytes kept differ from those sent";
    EXPECT_EQ(log.text(), c.log);
  }
}

TEST_F(UpdateTest, AStreamThatRefusesEndsTheTransfer) {
  class Refusing : public Update::Stream {
  public:
    bool write(const char*, std::size_t) override { return false; }
  };
  const struct {
    std::vector<std::string> actions;
    const char* log;
  } cases[] = {
      {{http::send(ok("body"))}, "Update.cpp(153)\n"},
      {{http::send(ok("")), http::sleep(0.1), http::send("body")}, "Update.cpp(153)\n"},
  };
  for (const auto& c : cases) {
    HttpServer server({{"/f", c.actions}});
    LogCapture log;
    Update update;
    Refusing refusing;
    EXPECT_FALSE(update.fetch(server.url("/f"), refusing, Update::Body::at_most(100)));
    EXPECT_EQ(log.text(), c.log);
  }
  // Refused in the body phase: the header's rest was accepted.
  class RefusingLater : public Update::Stream {
  public:
    bool write(const char*, std::size_t count) override { return count == 0; }
  };
  HttpServer server({{"/f", {http::send(ok("")), http::sleep(0.1), http::send("body")}}});
  LogCapture log;
  Update update;
  RefusingLater later;
  EXPECT_FALSE(update.fetch(server.url("/f"), later, Update::Body::at_most(100)));
  EXPECT_EQ(log.text(), "Update.cpp(162)\n");
}

TEST_F(UpdateTest, ASilentServerEndsAtTheTimeout) {
  const struct {
    const char* name;
    std::vector<std::string> actions;
  } cases[] = {
      {"before the header", {http::stall()}},
      {"in the header", {http::send("HTTP/1.0 200 OK\r\n"), http::stall()}},
      {"in the body", {http::send(ok("part of it")), http::stall()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpServer server({{"/f", c.actions}});
    LogCapture log;
    Update update;
    update.set_timeout_ms(300);
    StreamString body;
    const gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(update.fetch(server.url("/f"), body, Update::Body::at_most(100)));
    const double took = seconds_since(start);
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 1.5);
    EXPECT_EQ(log.text(), "Update.cpp(157): The connection timed out.\n");
  }
}

// A server that drips its answer, a byte now and then, never lets a wait time out: the check
// as a whole ends at its own limit, in the header or in the body.
TEST_F(UpdateTest, ADrippingServerEndsTheCheckAtItsLimit) {
  std::vector<std::string> header, body = {http::send("HTTP/1.0 200 OK\r\n\r\n<rss>")};
  for (char c : std::string("HTTP/1.0 200 OK\r\n")) {
    header.push_back(http::send(std::string(1, c)));
    header.push_back(http::sleep(0.2));
  }
  for (int i = 0; i < 40; ++i) {
    body.push_back(http::send("x"));
    body.push_back(http::sleep(0.2));
  }
  for (const auto& actions : {header, body}) {
    HttpServer server({{"/feed.xml", actions}});
    LogCapture log;
    Update update;
    update.set_check_limit_ms(1000);
    UpdateInfo info;
    const gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(update.check(server.url("/feed.xml"), info));
    const double took = seconds_since(start);
    EXPECT_GE(took, 0.99);
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(log.text(), "Update.cpp(157): The connection timed out.\nUpdate.cpp(159): 1000\n"
                          "Update.cpp(219)\n");
  }
}

TEST_F(UpdateTest, WaitsCheckEveryTenthOfASecondAndACancelEndsThem) {
  HttpServer server({{"/f", {http::stall()}}});
  LogCapture log;
  Update update;
  CancelAt cancel(6);
  update.set_callback(&cancel);
  StreamString body;
  const gint64 start = g_get_monotonic_time();
  EXPECT_THROW(update.fetch(server.url("/f"), body, Update::Body::at_most(100)),
               InterruptedException);
  EXPECT_LT(seconds_since(start), 1.0);
  EXPECT_EQ(cancel.checks, 6);
  EXPECT_EQ(log.text(), "");
  // The connection is closed on the way out: a second one is served.
  update.set_callback(nullptr);
  EXPECT_FALSE(update.fetch(server.url("/none"), body, Update::Body::at_most(100)));
  EXPECT_EQ(server.request(2).substr(0, 14), "GET /none HTTP");
}

// A check cancelled before its end leaves no deadline behind: a fetch afterwards waits as
// long as the timeout allows, however long ago the check's limit ran out.
TEST_F(UpdateTest, ACancelledCheckLeavesNoDeadlineForTheNextFetch) {
  HttpServer server({{"/slow", {http::sleep(0.5), http::send(ok("body"))}}});
  LogCapture log;
  Update update;
  update.set_check_limit_ms(200);
  CancelAt cancel(1);
  update.set_callback(&cancel);
  UpdateInfo info;
  EXPECT_THROW(update.check(server.url("/feed.xml"), info), InterruptedException);
  update.set_callback(nullptr);
  StreamString body;
  EXPECT_TRUE(update.fetch(server.url("/slow"), body, Update::Body::at_most(100)));
  EXPECT_EQ(body.text, "body");
  EXPECT_EQ(log.text(), "");
}

TEST_F(UpdateTest, AddressesThatCannotBeAskedFail) {
  const struct {
    const char* address;
    const char* log;
  } cases[] = {
      // The scheme is dropped only in lower case; "HTTP:" is then taken as a host name.
      {"HTTP://127.0.0.1/feed.xml", "Update.cpp(117): HTTP:: The host is not known.\n"
                                    "Update.cpp(119)\n"},
      {"http://no host/feed.xml", "Update.cpp(103): http://no host/feed.xml\n"},
      {"http://h/feed.xml HTTP/1.0\r\nX: y", "Update.cpp(103): http://h/feed.xml HTTP/1.0..X: y\n"},
      {"http://bad:host:name/x", "Update.cpp(117): bad:host:name: The host is not known.\n"
                                 "Update.cpp(119)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    LogCapture log;
    Update update;
    StreamString body;
    EXPECT_FALSE(update.fetch(c.address, body, Update::Body::at_most(100)));
    EXPECT_EQ(log.text(), c.log);
  }
}

TEST_F(UpdateTest, AFailedFetchOrFeedFailsTheCheck) {
  HttpServer server({{"/empty", {http::send(ok("no enclosure here"))}}});
  const struct {
    std::string address;
    const char* log;
  } cases[] = {
      {server.url("/missing"), "Update.cpp(145): HTTP/1.0 404 Not Found\nUpdate.cpp(219)\n"},
      {server.url("/empty"), "Update.cpp(233)\nUpdate.cpp(223)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    LogCapture log;
    Update update;
    UpdateInfo info;
    EXPECT_FALSE(update.check(c.address, info));
    EXPECT_EQ(log.text(), c.log);
  }
}
