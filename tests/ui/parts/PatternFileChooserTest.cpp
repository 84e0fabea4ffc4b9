#include "parts/PatternFileChooser.h"

#include "DialogResponder.h"
#include "Files.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <sys/stat.h>

#include <string>

namespace {

class PatternFileChooserTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    entry = gtk_entry_new();
    gtk_container_add(GTK_CONTAINER(window), entry);
    gtk_widget_show_all(window);
    gtk_entry_set_text(GTK_ENTRY(entry), "before");
  }
  std::string shown() const { return gtk_entry_get_text(GTK_ENTRY(entry)); }
  std::string file(const std::string& name, const std::string& bytes) {
    write_file(dir.file(name), bytes.data(), bytes.size());
    return dir.file(name);
  }

  TempDir dir;
  LogCapture log;
  GtkWidget* entry = nullptr;
};

} // namespace

TEST_F(PatternFileChooserTest, TheFilesFirstBytesFillTheEntry) {
  std::string big(5000, 'A');
  big[0] = '\0';
  big[4095] = '\xff';
  const struct {
    const char* name;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"ten", std::string("0123\"\\\n\x01\xe9Z", 10), "0123\\\"\\\\\\n\\x01\\xe9Z"},
      {"empty", "", ""},
      {"big", big, "\\x00" + std::string(4094, 'A') + "\\xff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PatternFileChooser chooser(GTK_WINDOW(window), GTK_ENTRY(entry), 4096);
    gtk_entry_set_text(GTK_ENTRY(entry), "before");
    EXPECT_TRUE(chooser.accept(GTK_WINDOW(window), file(c.name, c.bytes).c_str()));
    EXPECT_EQ(shown(), c.expected);
  }
}

TEST_F(PatternFileChooserTest, AFileThatCannotBeReadIsReportedOverTheChooser) {
  GtkWidget* dialog = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(dialog);
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const char* notAFile = "Not a regular file: a pattern can be read from an ordinary file only";
  const struct {
    std::string path;
    const char* message;
  } cases[] = {
      {dir.file("missing"), "Cannot open file"},
      {dir.path().string(), notAFile},
      {fifo, notAFile}, // refused at once, without waiting for a writer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    PatternFileChooser chooser(GTK_WINDOW(window), GTK_ENTRY(entry), 4096);
    DialogResponder answers;
    answers
        .then([&](GtkWindow* box) {
          EXPECT_EQ(gtk_window_get_transient_for(box), GTK_WINDOW(dialog));
        })
        .respond(GTK_RESPONSE_REJECT);
    EXPECT_FALSE(chooser.accept(GTK_WINDOW(dialog), c.path.c_str()));
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Error");
    EXPECT_EQ(answers.seen()[0].text, c.message);
    EXPECT_EQ(shown(), "before");
  }
  gtk_widget_destroy(dialog);
}

TEST_F(PatternFileChooserTest, RunsAnOpenDialogOverItsWindow) {
  const std::string pattern = file("pattern.bin", std::string("\x00\xff", 2));
  PatternFileChooser chooser(GTK_WINDOW(window), GTK_ENTRY(entry), 4096);
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        EXPECT_EQ(gtk_window_get_transient_for(dialog), GTK_WINDOW(window));
      })
      .choose_file(pattern);
  EXPECT_TRUE(chooser.run());
  EXPECT_EQ(answers.seen().at(0).title, "Open File");
  EXPECT_EQ(shown(), "\\x00\\xff");
  EXPECT_EQ(chooser.file_name(), pattern);

  DialogResponder cancel;
  cancel.respond(GTK_RESPONSE_CANCEL);
  gtk_entry_set_text(GTK_ENTRY(entry), "kept");
  EXPECT_FALSE(chooser.run());
  EXPECT_EQ(shown(), "kept");
}
