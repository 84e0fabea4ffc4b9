#include "LogUI/LogUI.h"

#include "DialogResponder.h"
#include "Files.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "TempDir.h"
#include "WipeRecordSample.h"

#include <string>

namespace {

class LogUITest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    use_program_directory_of_the_build();
  }
  TempDir dir;
  Log log;
};

} // namespace

TEST_F(LogUITest, TheTextFollowsTheLog) {
  log.add("Wipe started");
  LogUI window(log, nullptr);
  EXPECT_EQ(window.text(), log.text());
  log.add("Pass 1\nline two");
  log.add("Wipe <done> & \"checked\"");
  EXPECT_EQ(window.text(), log.text());
  EXPECT_EQ(window.certificate(), nullptr);
}

TEST_F(LogUITest, TheCertificateComesOnceTheWipeHasFinished) {
  // Opened over a finished wipe: at once.
  log.record() = finished_record();
  log.add("Done");
  {
    LogUI window(log, nullptr);
    ASSERT_NE(window.certificate(), nullptr);
    GtkWidget* topbox = find_widget(window.window(), "topbox");
    EXPECT_TRUE(gtk_widget_get_visible(topbox));
    EXPECT_EQ(gtk_widget_get_parent(window.certificate()->widget()), topbox);
  }

  // Opened before: when the record is finished, and once only.
  Log running;
  running.record().start(0, 100);
  LogUI window(running, nullptr);
  GtkWidget* topbox = find_widget(window.window(), "topbox");
  EXPECT_FALSE(gtk_widget_get_visible(topbox));
  running.add("Pass 1");
  EXPECT_EQ(window.certificate(), nullptr);
  running.record().finish();
  running.add("Done");
  const WipeCertificateUI* shown = window.certificate();
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(topbox));
  running.add("More");
  EXPECT_EQ(window.certificate(), shown);
  GList* children = gtk_container_get_children(GTK_CONTAINER(topbox));
  EXPECT_EQ(g_list_length(children), 1u);
  g_list_free(children);
}

TEST_F(LogUITest, SavesTheShownTextUntilClosed) {
  log.add("First");
  log.add("Second");
  GtkWindow* parent = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  LogUI window(log, parent);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window.window())), parent);
  DialogResponder answers;
  answers.respond(1)
      .choose_file(dir.file("task.txt"))
      .respond(1)
      .respond(GTK_RESPONSE_CANCEL)
      .close();
  window.run();
  EXPECT_TRUE(answers.finished());
  EXPECT_EQ(window.window(), nullptr);
  std::string saved;
  EXPECT_TRUE(read_file(dir.file("task.txt"), saved));
  EXPECT_EQ(saved, log.text());
  log.add("After the window"); // nobody listens any more
  gtk_widget_destroy(GTK_WIDGET(parent));
}
