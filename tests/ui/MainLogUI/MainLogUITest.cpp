#include "MainLogUI/MainLogUI.h"

#include "DialogResponder.h"
#include "ElevatedOperator.h"
#include "Files.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "TempDir.h"
#include "parts/FileSaver.h"

#include <gdk/gdkkeysyms.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

MainLog::Entry entry(std::int64_t time, const std::string& model, const std::string& serial) {
  MainLog::Entry e;
  e.set_time(time);
  e.set_model(model);
  e.set_serial(serial);
  e.set_wipe_method("Forward");
  e.set_wipe_lba(0);
  e.set_wipe_sectors(2048);
  e.set_errors(0);
  return e;
}

class MainLogUITest : public GuiTest {
protected:
  std::string read(const std::string& path) {
    std::string text;
    EXPECT_TRUE(read_file(path, text)) << path;
    return text;
  }

  TempDir dir;
  LogCapture debug;
  MainLog history;
};

// The vertical scroll position of the window's text, and how far it can go.
struct Scroll {
  double value;
  double bottom;
};
Scroll scroll_of(GtkWidget* dialog) {
  flush_events();
  GtkWidget* view = gtk_widget_get_parent(find_widget(dialog, "textview"));
  GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(view));
  return {gtk_adjustment_get_value(adjustment),
          gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment)};
}

} // namespace

TEST_F(MainLogUITest, TheTextIsAlwaysTheHistorysTextExport) {
  MainLogUI window(history, nullptr);
  EXPECT_EQ(window.text(), "");

  // Texts from drives and history files reach the window as they are: no markup, no escapes.
  history.add(entry(1700000000, "A&B <1>", "</span><b>x"));
  EXPECT_EQ(window.text(), history.to_text());
  EXPECT_EQ(window.text().front(), '*') << "no line feed before the first entry";
  history.add(entry(1700000600, "WDC WD10EZEX", "WD-1234"));
  EXPECT_EQ(window.text(), history.to_text());
  history.add(entry(-86400, "Old", "1969"));
  EXPECT_EQ(window.text(), history.to_text());

  history.assign({entry(4294967301, "Late", "2106")});
  EXPECT_EQ(window.text(), history.to_text());
  history.assign({});
  EXPECT_EQ(window.text(), "");

  // Bytes that are not UTF-8 (a history file may hold any) show as replacement characters
  // instead of the entry vanishing.
  history.add(entry(0, "Bad\xff", "S"));
  EXPECT_NE(window.text().find("Bad\xef\xbf\xbd"), std::string::npos) << window.text();
}

TEST_F(MainLogUITest, ANewEntryScrollsOnlyWhileTheCursorIsAtTheEnd) {
  for (int i = 0; i < 40; ++i)
    history.add(entry(1700000000 + i, "Model", std::to_string(i)));
  MainLogUI window(history, nullptr);
  gtk_widget_show(window.window());
  Scroll opened = scroll_of(window.window());
  EXPECT_GT(opened.bottom, 0) << "the text must not fit the window for this test";
  EXPECT_DOUBLE_EQ(opened.value, opened.bottom) << "opens at the newest entry";

  history.add(entry(1800000000, "Model", "new"));
  Scroll followed = scroll_of(window.window());
  EXPECT_GT(followed.bottom, opened.bottom);
  EXPECT_DOUBLE_EQ(followed.value, followed.bottom);

  // The operator reads at the top: the cursor is there, and the view stays.
  GtkTextView* view = GTK_TEXT_VIEW(find_widget(window.window(), "textview"));
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(buffer, &start);
  gtk_text_buffer_place_cursor(buffer, &start);
  GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(
      GTK_SCROLLED_WINDOW(gtk_widget_get_parent(GTK_WIDGET(view))));
  gtk_adjustment_set_value(adjustment, 0);
  history.add(entry(1800000600, "Model", "newer"));
  Scroll kept = scroll_of(window.window());
  EXPECT_GT(kept.bottom, followed.bottom);
  EXPECT_DOUBLE_EQ(kept.value, 0);
  EXPECT_EQ(window.text(), history.to_text());
}

TEST_F(MainLogUITest, ExportsSaveAndLoadThroughTheirChoosers) {
  history.add(entry(1700000000, "Model \"1\"", "S,1"));
  history.add(entry(1700000600, "Model 2", "S2"));
  const std::string text = history.to_text();
  MainLog other;
  other.add(entry(1600000000, "Loaded", "L1"));
  ASSERT_TRUE(other.save(dir.file("other.cfg")));

  GtkWindow* parent = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  MainLogUI window(history, parent);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window.window())), parent);
  DialogResponder answers;
  answers.respond(1)
      .choose_file(dir.file("shown.txt"))
      .respond(2)
      .choose_file(dir.file("export.csv"))
      .respond(3)
      .choose_file(dir.file("saved.cfg"))
      .respond(4)
      .choose_file(dir.file("other.cfg"))
      .then([&](GtkWindow*) { EXPECT_EQ(window.text(), other.to_text()); })
      .respond(GTK_RESPONSE_CLOSE);
  window.run();
  EXPECT_TRUE(answers.finished());
  EXPECT_EQ(window.window(), nullptr);

  std::vector<std::string> titles;
  for (const auto& seen : answers.seen())
    titles.push_back(seen.title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Wipe Log", "Save File", "Wipe Log", "Save File", "Wipe Log",
                                      "Save File", "Wipe Log", "Open File", "Wipe Log"}));
  EXPECT_EQ(read(dir.file("shown.txt")), text);
  MainLog saved;
  ASSERT_TRUE(saved.load(dir.file("saved.cfg")));
  EXPECT_EQ(saved.to_text(), text);
  EXPECT_EQ(read(dir.file("export.csv")), saved.to_csv());
  EXPECT_EQ(history.to_text(), other.to_text()) << "the loaded file replaced the history";

  // Closed, the window no longer follows the history.
  history.add(entry(1, "After", "close"));
  gtk_widget_destroy(GTK_WIDGET(parent));
}

// The exports land with the operator who started the program: the chooser opens in their home
// (under pkexec the home of the user who asked, not root's), and what is saved there is theirs.
TEST_F(MainLogUITest, ExportsLandWithTheOperator) {
  ElevatedOperator person;
  history.add(entry(1700000000, "Model", "S1"));
  MainLogUI window(history, nullptr);
  DialogResponder answers;
  answers.respond(2)
      .then([&](GtkWindow* chooser) {
        gchar* folder = nullptr;
        run_loop([&] {
          g_free(folder);
          folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
          return folder != nullptr;
        });
        EXPECT_STREQ(folder, person.home().c_str());
        g_free(folder);
      })
      .respond(GTK_RESPONSE_ACCEPT)
      .respond(GTK_RESPONSE_CLOSE);
  window.run();
  EXPECT_TRUE(answers.finished());
  const std::string saved = person.home() + "/WipeLog.csv";
  EXPECT_EQ(read(saved), history.to_csv());
  struct stat status {};
  ASSERT_EQ(::stat(saved.c_str(), &status), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(status.st_uid, person.uid());
    EXPECT_EQ(status.st_gid, person.gid());
  }
}

// Clear asks first, No being the default; only Yes empties the history, and no file is touched.
TEST_F(MainLogUITest, ClearAsksThenEmptiesTheHistoryButNoFile) {
  history.add(entry(1700000000, "Model", "S"));
  history.add(entry(1700000600, "Model", "T"));
  ASSERT_TRUE(history.save(dir.file("WipeLog.cfg")));
  const std::string before = read(dir.file("WipeLog.cfg"));
  const std::string text = history.to_text();
  const struct {
    const char* answer;
    bool cleared;
  } cases[] = {{"no", false}, {"return", false}, {"escape", false}, {"yes", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    MainLogUI window(history, nullptr);
    DialogResponder answers;
    answers.respond(5);
    const std::string answer = c.answer;
    if (answer == "return")
      answers.key(GDK_Return);
    else if (answer == "escape")
      answers.key(GDK_Escape);
    else
      answers.click("gtk-" + answer);
    answers.then([&](GtkWindow*) { EXPECT_EQ(window.text(), c.cleared ? "" : text); }).close();
    window.run();
    ASSERT_EQ(answers.seen().size(), 3u);
    EXPECT_EQ(answers.seen()[1].title, "Question");
    EXPECT_EQ(answers.seen()[1].text,
              "Clear the wipe history?\n\nIts 2 wipe records will be erased.");
    EXPECT_EQ(history.entries().size(), c.cleared ? 0u : 2u);
    EXPECT_EQ(read(dir.file("WipeLog.cfg")), before);
  }

  // With nothing to lose there is nothing to ask.
  MainLogUI window(history, nullptr);
  DialogResponder answers;
  answers.respond(5).close();
  window.run();
  EXPECT_EQ(answers.seen().size(), 2u);
}

TEST_F(MainLogUITest, FilesThatFailKeepTheChooserOpenAndTheHistory) {
  history.add(entry(1700000000, "Model", "S"));
  const std::string text = history.to_text();
  write_file(dir.file("not a history.cfg"), "{", 1);

  MainLogUI window(history, nullptr);
  DialogResponder answers;
  answers.respond(4)
      .choose_file(dir.file("not a history.cfg"))
      .click("gtk-close")
      .respond(GTK_RESPONSE_CANCEL)
      .respond(1)
      .respond(GTK_RESPONSE_CANCEL)
      .close();
  window.run();
  ASSERT_EQ(answers.seen().size(), 7u);
  EXPECT_EQ(answers.seen()[2].title, "Error");
  EXPECT_EQ(answers.seen()[2].text, "Cannot load file\n" + dir.file("not a history.cfg"));
  EXPECT_EQ(answers.seen()[3].title, "Open File") << "the chooser stays for another choice";
  EXPECT_EQ(history.to_text(), text);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "a cancelled export writes nothing";
}

TEST_F(MainLogUITest, AFileThatCannotBeWrittenIsNamedAsItIs) {
  GtkWidget* chooser = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(chooser);
  const std::string path = dir.file("<b>A&B</b>") + "/WipeLog.txt"; // no such folder
  FileSaver saver("WipeLog.txt", "text", nullptr);
  DialogResponder answers;
  answers
      .then([&](GtkWindow* box) {
        EXPECT_EQ(gtk_window_get_transient_for(box), GTK_WINDOW(chooser));
      })
      .click("gtk-close");
  EXPECT_FALSE(saver.accept(GTK_WINDOW(chooser), path.c_str()));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, "Cannot save file\n" + path);
  gtk_widget_destroy(chooser);
}

// A history file of the wrong shape is one that cannot be loaded, as an unparsable one is:
// said over the chooser, and the history shown stays.
TEST_F(MainLogUITest, AHistoryFileOfTheWrongShapeCannotBeLoaded) {
  history.add(entry(1700000000, "Model", "S"));
  const std::string text = history.to_text();
  write_file(dir.file("list.cfg"), "{\"a\":1}", 7);
  MainLogUI window(history, nullptr);
  DialogResponder answers;
  answers.respond(4)
      .choose_file(dir.file("list.cfg"))
      .click("gtk-close")
      .respond(GTK_RESPONSE_CANCEL)
      .close();
  window.run();
  ASSERT_EQ(answers.seen().size(), 5u);
  EXPECT_EQ(answers.seen()[2].text, "Cannot load file\n" + dir.file("list.cfg"));
  EXPECT_EQ(history.to_text(), text);
}
