#include "gtk/FileChooser.h"

#include "DialogResponder.h"
#include "ElevatedOperator.h"
#include "Files.h"
#include "GuiEnvironment.h"
#include "MainLoop.h"
#include "TempDir.h"
#include "gtk/MessageBox.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

// A chooser whose hook takes only the files it is told to, and says so over the chooser for
// the others, as the program's loaders and savers do.
class PickyChooser : public gtk::FileChooser {
public:
  bool accept(GtkWindow* dialog, const char* fileName) override {
    offered.push_back(fileName);
    const bool taken = fileName == wanted;
    if (!taken && complain)
      gtk::message_box(gtk::MessageKind::Error, "Cannot load file", dialog);
    return taken;
  }
  std::string wanted;
  bool complain = false;
  std::vector<std::string> offered;
};

class FileChooserTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    for (const char* name : {"a.cfg", "b.cfg"})
      write_file(dir.file(name), "x", 1);
  }
  TempDir dir;
  PickyChooser chooser;
};

// The folder the chooser shows, once it has loaded one (it does so in the background).
std::string folder_of(GtkWindow* dialog) {
  std::string text;
  run_loop(
      [&] {
        gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        text = folder != nullptr ? folder : "";
        g_free(folder);
        return !text.empty();
      },
      5 * G_USEC_PER_SEC);
  return text;
}

} // namespace

TEST_F(FileChooserTest, TheHookKeepsTheChooserOpenUntilItTakesAFile) {
  chooser.wanted = dir.file("b.cfg");
  chooser.complain = true;
  DialogResponder answers;
  answers.choose_file(dir.file("a.cfg"))
      .respond(GTK_RESPONSE_REJECT) // the hook's message over the chooser
      .choose_file(dir.file("b.cfg"));
  EXPECT_TRUE(chooser.open(nullptr, nullptr));
  EXPECT_TRUE(answers.finished());
  EXPECT_EQ(chooser.offered, (std::vector<std::string>{dir.file("a.cfg"), dir.file("b.cfg")}));
  EXPECT_EQ(chooser.file_name(), dir.file("b.cfg"));
  EXPECT_EQ(chooser.folder(), dir.path().string());
  ASSERT_EQ(answers.seen().size(), 3u);
  EXPECT_EQ(answers.seen()[0].title, "Open File");
  EXPECT_EQ(answers.seen()[1].title, "Error");
  EXPECT_EQ(answers.seen()[1].text, "Cannot load file");
}

TEST_F(FileChooserTest, CancellingKeepsTheRememberedFileAndFolder) {
  chooser.wanted = dir.file("a.cfg");
  DialogResponder first;
  first.choose_file(dir.file("a.cfg"));
  ASSERT_TRUE(chooser.open(nullptr, "Load"));
  EXPECT_EQ(first.seen().at(0).title, "Load");

  for (bool closeWindow : {false, true}) {
    DialogResponder answers;
    answers.then([&](GtkWindow* dialog) { EXPECT_EQ(folder_of(dialog), dir.path().string()); });
    if (closeWindow)
      answers.close();
    else
      answers.respond(GTK_RESPONSE_CANCEL);
    EXPECT_FALSE(chooser.open(nullptr, nullptr));
    EXPECT_EQ(chooser.file_name(), dir.file("a.cfg"));
    EXPECT_EQ(chooser.folder(), dir.path().string());
  }
  EXPECT_EQ(chooser.offered.size(), 1u);
}

// A chooser without a folder of its own opens in the home of the operator who started the
// program (HOME's; under pkexec that of the user who asked), and once any chooser took a file,
// in that file's folder, for as long as the folder is there.
TEST_F(FileChooserTest, WithoutAFolderItOpensWhereTheOperatorWorks) {
  const auto opens_in = [](const std::string& expected, gtk::FileChooser& chooser) {
    DialogResponder answers;
    answers.then([&](GtkWindow* dialog) { EXPECT_EQ(folder_of(dialog), expected); })
        .respond(GTK_RESPONSE_CANCEL);
    chooser.save(nullptr, "report.txt", nullptr, gtk::FileChooser::Overwrite::Silently);
  };
  {
    SCOPED_TRACE("the program's own user");
    gtk::FileChooser fresh;
    opens_in(g_getenv("HOME"), fresh);
  }
  {
    SCOPED_TRACE("under pkexec");
    ElevatedOperator person;
    gtk::FileChooser fresh;
    opens_in(person.home(), fresh);

    chooser.wanted = dir.file("a.cfg");
    DialogResponder answers;
    answers.choose_file(dir.file("a.cfg"));
    ASSERT_TRUE(chooser.open(nullptr, nullptr));
    EXPECT_EQ(gtk::FileChooser::last_folder(), dir.path().string());
    gtk::FileChooser next;
    opens_in(dir.path().string(), next);
    gtk::FileChooser own;
    own.set_folder(person.home());
    opens_in(person.home(), own);

    std::filesystem::remove_all(dir.path());
    gtk::FileChooser afterwards;
    opens_in(person.home(), afterwards);
  }
}

TEST_F(FileChooserTest, SaveSuggestsANameInTheFolderSet) {
  TempDir other;
  chooser.set_folder(other.path().string());
  chooser.wanted = other.file("report.txt");
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        EXPECT_EQ(folder_of(dialog), other.path().string());
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(dialog)),
                  GTK_FILE_CHOOSER_ACTION_SAVE);
      })
      .respond(GTK_RESPONSE_ACCEPT);
  EXPECT_TRUE(chooser.save(nullptr, "report.txt", nullptr, gtk::FileChooser::Overwrite::Silently));
  EXPECT_EQ(chooser.file_name(), other.file("report.txt"));
  EXPECT_EQ(answers.seen().at(0).title, "Save File");
}

// The hook saves; it must run only once the operator agreed to replace the file.
TEST_F(FileChooserTest, OverwritingAsksBeforeTheHookRuns) {
  chooser.wanted = dir.file("a.cfg");
  DialogResponder declined;
  declined.choose_file(dir.file("a.cfg"))
      .respond(GTK_RESPONSE_CANCEL) // "Do not replace"
      .respond(GTK_RESPONSE_CANCEL);
  EXPECT_FALSE(chooser.save(nullptr, "x.cfg", nullptr, gtk::FileChooser::Overwrite::Ask));
  EXPECT_TRUE(declined.finished());
  EXPECT_TRUE(chooser.offered.empty());
  ASSERT_EQ(declined.seen().size(), 2u); // the chooser stayed up throughout
  EXPECT_NE(declined.seen()[1].text.find("already exists"), std::string::npos);

  DialogResponder replaced;
  replaced.choose_file(dir.file("a.cfg")).respond(GTK_RESPONSE_ACCEPT);
  EXPECT_TRUE(chooser.save(nullptr, "x.cfg", nullptr, gtk::FileChooser::Overwrite::Ask));
  EXPECT_EQ(chooser.offered, std::vector<std::string>{dir.file("a.cfg")});

  // Without confirmation the hook is asked at once.
  chooser.offered.clear();
  DialogResponder direct;
  direct.choose_file(dir.file("a.cfg"));
  EXPECT_TRUE(chooser.save(nullptr, "x.cfg", nullptr, gtk::FileChooser::Overwrite::Silently));
  EXPECT_EQ(chooser.offered.size(), 1u);
}
