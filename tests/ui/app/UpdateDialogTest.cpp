// The whole update check against a scripted HTTP server on the loopback address, with the
// shell's opener replaced by a recorder.
#include "app/UpdateDialog.h"

#include "DialogResponder.h"
#include "Files.h"
#include "FindWidget.h"
#include "GLibOwners.h"
#include "GuiEnvironment.h"
#include "HttpServer.h"
#include "LogCapture.h"
#include "Screenshot.h"
#include "Script.h"
#include "TempDir.h"
#include "app/EndRequests.h"

#include <glib/gstdio.h>
#include <signal.h>

#include <filesystem>
#include <functional>

namespace {

const std::string running = "wipedesk v130626";

std::string ok(const std::string& body) { return "HTTP/1.0 200 OK\r\n\r\n" + body; }

std::string feed(const std::string& version, const std::string& url, std::uint64_t length,
                 const std::string& notes = "http://127.0.0.1/notes.html") {
  return "<rss><channel><item><enclosure version=\"" + version + "\" url=\"" + url +
         "\" length=\"" + std::to_string(length) + "\" releaseNotesUrl=\"" + notes +
         "\"/></item></channel></rss>";
}

std::string download_bytes(std::size_t size) {
  std::string bytes(size, '\0');
  guint32 seed = 17;
  for (char& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// The shown window whose accessible id is `id`, or null.
GtkWindow* shown_window(const char* id) {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (gtk_widget_get_mapped(window) && accessible_id_of(window) == id)
      found = GTK_WINDOW(window);
  }
  g_list_free(windows);
  return found;
}

// Runs `action` once, from the main loop that the code under test keeps running, as soon as
// `ready` holds.
class WhenReady {
public:
  WhenReady(std::function<bool()> ready, std::function<void()> action)
      : ready(std::move(ready)), action(std::move(action)) {
    timer.reset(g_timeout_add(10, on_timer, this));
  }
  bool done() const { return done_; }

private:
  static gboolean on_timer(gpointer self) {
    auto& when = *static_cast<WhenReady*>(self);
    if (!when.ready())
      return TRUE;
    when.done_ = true;
    when.timer.forget();
    when.action();
    return FALSE;
  }
  std::function<bool()> ready;
  std::function<void()> action;
  bool done_ = false;
  Source timer;
};

class UpdateDialogTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    // Downloads go to a temporary folder of this process alone (GLib takes TMPDIR once).
    g_setenv("TMPDIR", temp().path().c_str(), TRUE);
    ASSERT_EQ(std::string(g_get_tmp_dir()), temp().path().string());
    opener = home.file("opener");
    opened = home.file("opened");
    write_recording_script(opener, "printf '%s' \"$1\"", opened);
    g_setenv("CVW_SHELL_OPEN", opener.c_str(), TRUE);
    rearm_watchdog();
  }

  // A dialog that nobody answers must not hang the run: 30 s from now, for one check.
  void rearm_watchdog() { watchdog.reset(g_timeout_add_seconds(30, on_watchdog, nullptr)); }
  void TearDown() override {
    g_unsetenv("CVW_SHELL_OPEN");
    for (const std::string& folder : download_folders())
      std::filesystem::remove_all(temp().path() / folder);
  }

  static const TempDir& temp() {
    static const TempDir folder;
    return folder;
  }

  static gboolean on_watchdog(gpointer) {
    ADD_FAILURE() << "the update check still runs after 30 s";
    if (GtkWindow* offer = shown_window("update-offer"))
      gtk_dialog_response(GTK_DIALOG(offer), GTK_RESPONSE_DELETE_EVENT);
    if (GtkWindow* box = shown_window("progress-box"))
      gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_DELETE_EVENT);
    return TRUE;
  }

  // The folders of downloads in the temporary folder.
  std::vector<std::string> download_folders() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(temp().path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("wipedesk-update-", 0) == 0)
        found.push_back(name);
    }
    return found;
  }
  bool nothing_opened() const { return !g_file_test(opened.c_str(), G_FILE_TEST_EXISTS); }

  TempDir home;
  std::string opener, opened;
  Source watchdog;
};

} // namespace

TEST_F(UpdateDialogTest, AnEmptyAddressChecksNothing) {
  LogCapture log;
  EXPECT_FALSE(run_update_dialog(nullptr, "", running));
  EXPECT_EQ(log.text(), "UpdateDialog.cpp(73)\n");
}

TEST_F(UpdateDialogTest, NothingNewerIsOffered) {
  for (const char* version : {"wipedesk v130626", "wipedesk v121212", "", "Wipedesk v2"}) {
    SCOPED_TRACE(version);
    HttpServer server({{"/feed.xml", {http::send(ok(feed(version, "http://h/w.bin", 5)))}}});
    LogCapture log;
    EXPECT_FALSE(run_update_dialog(nullptr, server.url("/feed.xml"), running));
    EXPECT_EQ(log.text(), std::string("UpdateDialog.cpp(97): ") + version +
                              " http://h/w.bin 5 http://127.0.0.1/notes.html\n"
                              "UpdateDialog.cpp(99): " +
                              running + "\n");
    EXPECT_FALSE(server.has_request(2));
  }
}

TEST_F(UpdateDialogTest, AFeedThatCannotBeHadEndsTheCheck) {
  HttpServer server({{"/feed.xml", {http::send(ok("<rss/>"))}}});
  const struct {
    std::string address;
    std::string log;
  } cases[] = {
      {server.url("/feed.xml"),
       "Update.cpp(233)\nUpdate.cpp(223)\nUpdateDialog.cpp(91): " + server.url("/feed.xml") + "\n"},
      {server.url("/moved"), "Update.cpp(145): HTTP/1.0 404 Not Found\nUpdate.cpp(219)\n"
                             "UpdateDialog.cpp(91): " +
                                 server.url("/moved") + "\n"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_FALSE(run_update_dialog(nullptr, c.address, running));
    EXPECT_EQ(log.text(), c.log);
  }
}

TEST_F(UpdateDialogTest, WhatCannotBeDownloadedSafelyIsNotOffered) {
  const struct {
    const char* url;
    std::uint64_t length;
    const char* log;
  } cases[] = {
      {"http://127.0.0.1/files/..", 5, "UpdateDialog.cpp(103): http://127.0.0.1/files/..\n"},
      {"http://127.0.0.1/files/", 5, "UpdateDialog.cpp(103): http://127.0.0.1/files/\n"},
      {"http://127.0.0.1/files/w.bin", 0, "UpdateDialog.cpp(105): http://127.0.0.1/files/w.bin\n"},
      // More than a sane download: not streamed into the temporary folder.
      {"http://127.0.0.1/files/w.bin", (1u << 30) + 1,
       "UpdateDialog.cpp(106): 1073741825 http://127.0.0.1/files/w.bin\n"},
      {"http://127.0.0.1/files/w.bin", 4294967295u,
       "UpdateDialog.cpp(106): 4294967295 http://127.0.0.1/files/w.bin\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    HttpServer server({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", c.url, c.length)))}}});
    LogCapture log;
    EXPECT_FALSE(run_update_dialog(nullptr, server.url("/feed.xml"), running));
    const std::string text = log.text();
    EXPECT_EQ(text.substr(text.find('\n') + 1), c.log);
    EXPECT_TRUE(download_folders().empty());
  }
}

TEST_F(UpdateDialogTest, TheOfferShowsBothVersionsAsTheyAre) {
  const std::string version = "wipedesk v2 <b>&amp;";
  HttpServer server({{"/feed.xml", {http::send(ok(feed(version, "http://h/w.bin", 5)))}}});
  DialogResponder answers;
  answers.ignore("progress-box")
      .then([](GtkWindow* offer) {
        GtkWidget* focus = gtk_window_get_focus(offer);
        ASSERT_TRUE(GTK_IS_BUTTON(focus));
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(focus)), GTK_STOCK_YES);
        EXPECT_TRUE(gtk_window_get_modal(offer));
        save_screenshot(GTK_WIDGET(offer), "UpdateDialog-offer");
      })
      .click("gtk-no");
  LogCapture log;
  EXPECT_FALSE(run_update_dialog(nullptr, server.url("/feed.xml"), running));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Update");
  EXPECT_EQ(answers.seen()[0].id, "update-offer");
  EXPECT_EQ(answers.seen()[0].text, version + " is available.\nYou are using " + running +
                                        " now.\nWould you like to install the new version?");
  EXPECT_FALSE(server.has_request(2));
  EXPECT_TRUE(download_folders().empty());
}

TEST_F(UpdateDialogTest, OnlyWebAddressesOfReleaseNotesAreOpened) {
  const struct {
    const char* notes;
    bool opened;
  } cases[] = {
      {"http://127.0.0.1/notes.html", true},
      {"https://example.com/notes", true},
      {"file:///etc/passwd", false},
      {"/usr/bin/xterm", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.notes);
    g_remove(opened.c_str());
    HttpServer server(
        {{"/feed.xml", {http::send(ok(feed("wipedesk v140101", "http://h/w.bin", 5, c.notes)))}}});
    DialogResponder answers;
    bool sensitive = false;
    answers.ignore("progress-box")
        .then([&](GtkWindow* offer) {
          GtkWidget* notes = widget_by_id(GTK_WIDGET(offer), "release-notes");
          sensitive = gtk_widget_get_sensitive(notes);
          gtk_button_clicked(GTK_BUTTON(notes)); // whatever the button shows
        })
        .click("gtk-no");
    LogCapture log;
    EXPECT_FALSE(run_update_dialog(nullptr, server.url("/feed.xml"), running));
    EXPECT_EQ(sensitive, c.opened);
    if (c.opened) {
      EXPECT_EQ(wait_for_file(opened), c.notes);
    } else {
      EXPECT_NE(log.text().find(std::string("UpdateDialog.cpp(127): ") + c.notes + "\n"),
                std::string::npos);
      EXPECT_TRUE(nothing_opened());
    }
  }
}

TEST_F(UpdateDialogTest, ATakenUpdateLandsWholeInAPrivateFolderAndIsOpened) {
  const std::string bytes = download_bytes(700000);
  HttpServer files(
      {{"/dl/wipedesk-140101.bin", {http::send(ok("")), http::send_file("setup.bin")}}});
  ASSERT_TRUE(g_file_set_contents(files.file("setup.bin").c_str(), bytes.data(),
                                  static_cast<gssize>(bytes.size()), nullptr));
  const std::string url = files.url("/dl/wipedesk-140101.bin");
  HttpServer feeds({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, bytes.size())))}}});

  DialogResponder answers;
  answers.ignore("progress-box").click("gtk-yes");
  LogCapture log;
  EXPECT_TRUE(run_update_dialog(nullptr, feeds.url("/feed.xml"), running));
  EXPECT_TRUE(answers.finished());
  EXPECT_EQ(log.text(), "UpdateDialog.cpp(97): wipedesk v140101 " + url + " 700000 " +
                            "http://127.0.0.1/notes.html\n");
  EXPECT_EQ(files.request(1), "GET /dl/wipedesk-140101.bin HTTP/1.0\r\nHost: 127.0.0.1:" +
                                  std::to_string(files.port()) + "\r\n\r\n");

  const std::string path = wait_for_file(opened);
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  EXPECT_EQ(folder.parent_path(), temp().path());
  EXPECT_EQ(folder.filename().string().rfind("wipedesk-update-", 0), 0u) << path;
  EXPECT_EQ(std::filesystem::path(path).filename(), "wipedesk-140101.bin");
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
  std::string landed;
  ASSERT_TRUE(read_file(path, landed));
  EXPECT_EQ(landed.size(), bytes.size());
  EXPECT_TRUE(landed == bytes) << "the file differs from what the server sent";
}

TEST_F(UpdateDialogTest, ANameWithSeparatorsStaysInThePrivateFolder) {
  const std::string bytes = download_bytes(1000);
  HttpServer files({{"/a/..\\..\\evil.bin", {http::send(ok(bytes))}}});
  const std::string url = files.url("/a/..\\..\\evil.bin");
  HttpServer feeds({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, bytes.size())))}}});
  DialogResponder answers;
  answers.ignore("progress-box").click("gtk-yes");
  LogCapture log;
  EXPECT_TRUE(run_update_dialog(nullptr, feeds.url("/feed.xml"), running));
  const std::filesystem::path path = wait_for_file(opened);
  EXPECT_EQ(path.filename(), "evil.bin");
  EXPECT_EQ(path.parent_path().parent_path(), temp().path());
  std::string landed;
  ASSERT_TRUE(read_file(path.string(), landed));
  EXPECT_TRUE(landed == bytes);
}

TEST_F(UpdateDialogTest, AFailedDownloadLeavesNothingAndOpensNothing) {
  const std::string bytes = download_bytes(300000);
  const struct {
    const char* name;
    std::vector<std::string> actions;
    std::string log; // after the feed's line
  } cases[] = {
      {"404",
       {http::send("HTTP/1.0 404 Not Found\r\n\r\n")},
       "Update.cpp(145): HTTP/1.0 404 Not Found\n"},
      {"closed before the header's end",
       {http::send("HTTP/1.0 200 OK\r\n")},
       "Update.cpp(149): 17\n"},
      {"short", {http::send(ok(bytes.substr(0, 299000)))}, "Update.cpp(168): 299000 300000\n"},
      {"long", {http::send(ok(bytes + "trailing"))}, "Update.cpp(166): 300000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rearm_watchdog();
    HttpServer files({{"/w.bin", c.actions}});
    const std::string url = files.url("/w.bin");
    HttpServer feeds(
        {{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, bytes.size())))}}});
    DialogResponder answers;
    answers.ignore("progress-box").click("gtk-yes").click("close");
    LogCapture log;
    EXPECT_FALSE(run_update_dialog(nullptr, feeds.url("/feed.xml"), running));
    const std::string text = log.text();
    EXPECT_EQ(text.substr(text.find('\n') + 1), c.log + "UpdateDialog.cpp(177): " + url + "\n");
    // The operator, who accepted the download, is told.
    ASSERT_EQ(answers.seen().size(), 2u);
    EXPECT_EQ(answers.seen()[1].title, "Error");
    EXPECT_EQ(answers.seen()[1].text, "The new version cannot be downloaded from " + url +
                                          ".\n\nThe program goes on in its present version.");
    EXPECT_TRUE(download_folders().empty());
    EXPECT_TRUE(nothing_opened());
  }
}

// The room a download needs is checked before it begins: without it the operator is told and
// nothing is fetched.
TEST_F(UpdateDialogTest, ADownloadWithoutRoomIsNotBegun) {
  HttpServer files({{"/w.bin", {http::send(ok(download_bytes(1000)))}}});
  const std::string url = files.url("/w.bin");
  HttpServer feeds({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, 1000)))}}});
  UpdateLimits limits;
  limits.spareSpace = std::uint64_t(1) << 62; // more than any disk here has
  DialogResponder answers;
  answers.ignore("progress-box").click("gtk-yes").click("close");
  LogCapture log;
  EXPECT_FALSE(run_update_dialog(nullptr, feeds.url("/feed.xml"), running, limits));
  ASSERT_EQ(answers.seen().size(), 2u);
  const std::string said = answers.seen()[1].text;
  EXPECT_EQ(said.rfind("There is not enough free space in " + temp().path().string() +
                           " for the new version: it needs ",
                       0),
            0u)
      << said;
  EXPECT_NE(log.text().find("UpdateDialog.cpp(166): "), std::string::npos) << log.text();
  EXPECT_FALSE(files.has_request(1));
  EXPECT_TRUE(download_folders().empty());
  EXPECT_TRUE(nothing_opened());
}

TEST_F(UpdateDialogTest, CancelEndsAStalledTransferAtOnce) {
  const std::string bytes = download_bytes(400000);
  HttpServer files({{"/w.bin", {http::send(ok(bytes.substr(0, 150000))), http::stall()}}});
  const std::string url = files.url("/w.bin");
  HttpServer feeds({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, bytes.size())))}},
                    {"/stalled.xml", {http::stall()}}});
  for (const bool inDownload : {false, true}) {
    SCOPED_TRACE(inDownload ? "download" : "feed");
    const HttpServer& server = inDownload ? files : feeds;
    gint64 cancelled = 0;
    // Cancel once the server has the request and nothing more comes.
    WhenReady cancel(
        [&] {
          GtkWindow* box = shown_window("progress-box");
          if (box == nullptr || !server.has_request(1))
            return false;
          if (!inDownload)
            return true;
          GtkWidget* bar = widget_by_id(GTK_WIDGET(box), "progress");
          const char* text = gtk_progress_bar_get_text(GTK_PROGRESS_BAR(bar));
          return text != nullptr && std::string(text) == "37%";
        },
        [&] {
          GtkWindow* box = shown_window("progress-box");
          g_usleep(300000); // well into the stall
          if (inDownload)
            save_screenshot(GTK_WIDGET(box), "UpdateDialog-download");
          cancelled = g_get_monotonic_time();
          gtk_button_clicked(GTK_BUTTON(widget_by_id(GTK_WIDGET(box), "cancel")));
        });
    DialogResponder answers;
    answers.ignore("progress-box");
    if (inDownload)
      answers.click("gtk-yes");
    LogCapture log;
    EXPECT_FALSE(
        run_update_dialog(nullptr, feeds.url(inDownload ? "/feed.xml" : "/stalled.xml"), running));
    ASSERT_TRUE(cancel.done());
    const double took = double(g_get_monotonic_time() - cancelled) / 1e6;
    EXPECT_LT(took, 0.5);
    const std::string text = log.text();
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "UpdateDialog.cpp(184)\n");
    EXPECT_TRUE(download_folders().empty());
    EXPECT_TRUE(nothing_opened());
  }
}

// The system's request to end while the feed is fetched or the download runs ends the check as
// Cancel would: nothing is kept of the download, nothing is opened, and the request waits for
// start-up to end on.
TEST_F(UpdateDialogTest, TheSystemsRequestToEndStopsTheCheckAndTheDownload) {
  const std::string bytes = download_bytes(400000);
  HttpServer files({{"/w.bin", {http::send(ok(bytes.substr(0, 150000))), http::stall()}}});
  const std::string url = files.url("/w.bin");
  HttpServer feeds({{"/feed.xml", {http::send(ok(feed("wipedesk v140101", url, bytes.size())))}},
                    {"/stalled.xml", {http::stall()}}});
  const struct {
    const char* stage;
    int request;
    bool inDownload;
  } cases[] = {{"feed", SIGTERM, false}, {"download", SIGHUP, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stage);
    const HttpServer& server = c.inDownload ? files : feeds;
    EndRequests requests;
    // Once the server has the request (and, downloading, a part of the file has landed).
    WhenReady raising(
        [&] {
          if (shown_window("progress-box") == nullptr || !server.has_request(1))
            return false;
          return !c.inDownload || !download_folders().empty();
        },
        [&] { raise(c.request); });
    DialogResponder answers;
    answers.ignore("progress-box");
    if (c.inDownload)
      answers.click("gtk-yes");
    LogCapture log;
    const gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(run_update_dialog(nullptr, feeds.url(c.inDownload ? "/feed.xml" : "/stalled.xml"),
                                   running));
    EXPECT_LT(g_get_monotonic_time() - start, 20 * G_USEC_PER_SEC);
    ASSERT_TRUE(raising.done());
    EXPECT_EQ(requests.exit_code(), 128 + c.request);
    EXPECT_NE(log.text().find("UpdateDialog.cpp(184)\n"), std::string::npos) << log.text();
    EXPECT_TRUE(download_folders().empty());
    EXPECT_TRUE(nothing_opened());
  }
}

TEST_F(UpdateDialogTest, TheDownloadFileIsNewAndReportsEveryBlock) {
  class Recorder : public InterfaceCallback {
  public:
    void check() override { calls += "check "; }
    void set_progress(std::int64_t how, std::uint64_t amount) override {
      calls += "progress " + std::to_string(how) + " " + std::to_string(amount) + " ";
    }
    std::string calls;
  };
  const std::string path = home.file("w.bin");
  {
    StreamFile file(path);
    ASSERT_TRUE(file.is_open());
    Recorder recorder;
    file.set_callback(&recorder);
    EXPECT_TRUE(file.write("abc", 3));
    EXPECT_TRUE(file.write("", 0));
    EXPECT_TRUE(file.write("defg", 4));
    EXPECT_EQ(recorder.calls, "progress 1 3 check progress 1 0 check progress 1 4 check ");
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.close());
  }
  std::string written;
  ASSERT_TRUE(read_file(path, written));
  EXPECT_EQ(written, "abcdefg");

  // An existing file, or a link planted at the path, is never written through.
  const std::string target = home.file("target");
  ASSERT_TRUE(write_file(target, "keep", 4));
  std::filesystem::create_symlink(target, home.file("link.bin"));
  for (const std::string& taken : {path, home.file("link.bin")}) {
    LogCapture log;
    StreamFile file(taken);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(log.text(), "UpdateDialog.cpp(46): " + taken + "\n");
  }
  ASSERT_TRUE(read_file(target, written));
  EXPECT_EQ(written, "keep");
  ASSERT_TRUE(read_file(path, written));
  EXPECT_EQ(written, "abcdefg");
}
