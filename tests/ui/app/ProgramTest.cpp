// The window icons and the quit question with its exit codes.
#include "app/Program.h"

#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "TempDir.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>

namespace {

class ProgramTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    // Two small pictures, beside a name that does not load.
    write_picture("a.png", 16);
    write_picture("b.png", 32);
    std::ofstream(dir.file("broken.png")) << "not a picture";
  }
  void TearDown() override { gtk_window_set_default_icon_list(nullptr); }

  void write_picture(const char* name, int size) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    gdk_pixbuf_fill(pixbuf, 0x336699ff);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, dir.file(name).c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);
  }

  // The configuration of the quit question; "Desktop" as given ("absent" leaves it out).
  void configure(const char* desktop, const char* quitIcons = "a.png,b.png") {
    config::Value& configuration = program_config();
    configuration = config::Value(config::Value::Type::Object);
    configuration.set("Program Name", "Corvana Wipe");
    configuration.set("Program Path", dir.path().string());
    configuration.set("Quit Icons", quitIcons);
    const std::string value = desktop;
    if (value == "true" || value == "false")
      configuration["Desktop"] = value == "true";
    else if (value != "absent")
      configuration.set("Desktop", value);
  }

  TempDir dir;
};

std::vector<int> icon_sizes() {
  std::vector<int> sizes;
  GList* icons = gtk_window_get_default_icon_list();
  for (GList* item = icons; item != nullptr; item = item->next)
    sizes.push_back(gdk_pixbuf_get_width(GDK_PIXBUF(item->data)));
  g_list_free(icons);
  return sizes;
}

// The picture that a system choice's button shows; null when it has none.
GdkPixbuf* button_picture(GtkWindow* dialog, const char* id) {
  GtkWidget* button = widget_by_id(GTK_WIDGET(dialog), id);
  if (button == nullptr)
    return nullptr;
  GtkWidget* image = gtk_button_get_image(GTK_BUTTON(button));
  return image != nullptr ? gtk_image_get_pixbuf(GTK_IMAGE(image)) : nullptr;
}

} // namespace

TEST_F(ProgramTest, WindowIconsSkipWhatDoesNotLoad) {
  const struct {
    const char* names;
    std::vector<int> sizes;
    std::vector<std::string> skipped;
  } cases[] = {
      {"a.png,b.png,missing.png", {16, 32}, {"missing.png"}},
      {" a.png ,\tb.png\t", {16, 32}, {}},
      {"b.png,,broken.png", {32}, {"", "broken.png"}},
      {"", {}, {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names);
    PropertyMap table;
    table.set_string("Program Path", dir.path().string(), PropertyMap::Existing::Replace);
    table.set_string("Program Window Icons", c.names, PropertyMap::Existing::Replace);
    LogCapture log;
    set_default_window_icons(table);
    EXPECT_EQ(icon_sizes(), c.sizes);
    std::string expected;
    for (const std::string& name : c.skipped)
      expected += "Program.cpp(24): " + dir.path().string() + "/" + name + "\n";
    EXPECT_EQ(log.text(), expected);
  }
}

TEST_F(ProgramTest, TheQuestionAndItsExitCodes) {
  const struct {
    const char* desktop;
    std::vector<const char*> answers; // "close", "esc", or a button
    QuitCode code;
    std::vector<std::string> titles;
  } cases[] = {
      {"false", {"gtk-yes"}, QuitCode::Desktop, {"Question"}},
      {"false", {"gtk-no"}, QuitCode::Stay, {"Question"}},
      {"false", {"close"}, QuitCode::Stay, {"Question"}},
      {"false", {"esc"}, QuitCode::Stay, {"Question"}},
      // Without "Desktop" the program can still be quit: the plain question.
      {"absent", {"gtk-yes"}, QuitCode::Desktop, {"Question"}},
      {"true", {"shutdown"}, QuitCode::Shutdown, {"Corvana Wipe"}},
      {"true", {"restart"}, QuitCode::Restart, {"Corvana Wipe"}},
      {"true", {"desktop", "gtk-yes"}, QuitCode::Desktop, {"Corvana Wipe", "Question"}},
      {"true",
       {"desktop", "gtk-no", "gtk-cancel"},
       QuitCode::Stay,
       {"Corvana Wipe", "Question", "Corvana Wipe"}},
      {"true", {"gtk-cancel"}, QuitCode::Stay, {"Corvana Wipe"}},
      {"true", {"close"}, QuitCode::Stay, {"Corvana Wipe"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.desktop << " " << c.answers.front());
    configure(c.desktop);
    DialogResponder responder;
    for (const std::string answer : c.answers) {
      if (answer == "close")
        responder.close();
      else if (answer == "esc")
        responder.key(GDK_Escape);
      else
        responder.click(answer);
    }
    EXPECT_EQ(confirm_quit(nullptr), c.code);
    std::vector<std::string> titles;
    for (const auto& seen : responder.seen())
      titles.push_back(seen.title);
    EXPECT_EQ(titles, c.titles);
  }
}

TEST_F(ProgramTest, TheQuestionsTexts) {
  configure("false");
  program_config().set("Quit Text", "Remove the <b>USB sticks</b> first.");
  DialogResponder plain;
  plain.click("gtk-no");
  confirm_quit(nullptr, 2);
  ASSERT_EQ(plain.seen().size(), 1u);
  // The markup of "Quit Text" shows as the text it stands for.
  EXPECT_EQ(plain.seen()[0].text, "Do you want to quit the program?\n\nRemove the USB sticks "
                                  "first.\n\n2 wipes have not finished: quitting stops them.");

  configure("true");
  DialogResponder desktop;
  desktop.click("desktop").click("gtk-no").click("gtk-cancel");
  confirm_quit(nullptr, 1);
  ASSERT_EQ(desktop.seen().size(), 3u);
  EXPECT_EQ(desktop.seen()[0].text, "1 wipe has not finished: quitting stops it.");
  EXPECT_EQ(desktop.seen()[1].text,
            "Are you sure you want to quit Corvana Wipe\nand exit to the Linux OS Desktop?");
}

TEST_F(ProgramTest, TheSystemChoicesShowTheirPictures) {
  const struct {
    const char* quitIcons;
    bool shutdown, restart;
  } cases[] = {
      {"a.png,b.png", true, true},
      {" a.png\t", true, false},
      {"", false, false},
      {",b.png", false, true},
      {"missing.png,broken.png", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quitIcons);
    configure("true", c.quitIcons);
    DialogResponder responder;
    responder
        .then([&](GtkWindow* dialog) {
          GdkPixbuf* shutdown = button_picture(dialog, "shutdown");
          EXPECT_EQ(shutdown != nullptr, c.shutdown);
          EXPECT_EQ(button_picture(dialog, "restart") != nullptr, c.restart);
          if (shutdown != nullptr) {
            EXPECT_EQ(gdk_pixbuf_get_width(shutdown), 48);
          }
        })
        .click("gtk-cancel");
    EXPECT_EQ(confirm_quit(nullptr), QuitCode::Stay);
  }
}

// A quit configuration that cannot be used asks the plain question (with what of "Quit Text"
// can be used), after one debug-log line that says why; one that can be used logs nothing.
TEST_F(ProgramTest, AQuitConfigurationThatCannotBeUsedAsksThePlainQuestion) {
  const std::string plain = "Do you want to quit the program?";
  const struct {
    const char* name;
    const char* desktop;
    std::function<void(config::Value&)> change;
    std::string question; // the text of the plain question; "" for the "Desktop" variant
    std::string why;      // the reason in the log line; "" for none
  } cases[] = {
      {"Desktop a String", "yes", [](config::Value&) {}, plain,
       "\"Desktop\" is String, not Boolean"},
      {"Desktop a Number", "absent", [](config::Value& c) { c["Desktop"] = 1; }, plain,
       "\"Desktop\" is Number, not Boolean"},
      {"no Quit Icons, plain", "false", [](config::Value& c) { c.as_object().erase("Quit Icons"); },
       plain, ""},
      {"no Quit Icons, Desktop", "true",
       [](config::Value& c) { c.as_object().erase("Quit Icons"); }, plain,
       "\"Quit Icons\" is not found"},
      {"Program Name a Number", "true", [](config::Value& c) { c["Program Name"] = 7; }, plain,
       "\"Program Name\" is Number, not String"},
      {"Quit Text a Number", "false", [](config::Value& c) { c["Quit Text"] = 7; }, plain,
       "\"Quit Text\" is Number, not String"},
      {"Quit Text kept", "false", [](config::Value& c) { c.set("Quit Text", "<b>Bye</b>"); },
       plain + "\n\nBye", ""},
      {"all usable", "true", [](config::Value&) {}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    configure(c.desktop);
    c.change(program_config());
    LogCapture log;
    DialogResponder answers;
    answers.click(c.question.empty() ? "gtk-cancel" : "gtk-yes");
    EXPECT_EQ(confirm_quit(nullptr), c.question.empty() ? QuitCode::Stay : QuitCode::Desktop);
    ASSERT_EQ(answers.seen().size(), 1u);
    if (!c.question.empty()) {
      EXPECT_EQ(answers.seen()[0].text, c.question);
    } else {
      EXPECT_EQ(answers.seen()[0].title, "Corvana Wipe");
    }
    const std::string text = log.text();
    if (c.why.empty()) {
      EXPECT_EQ(text.find("Program.cpp(172)"), std::string::npos) << text;
    } else {
      const std::string line = "Program.cpp(172): the quit configuration cannot be used (" + c.why +
                               "): the plain question is asked\n";
      EXPECT_EQ(text.substr(text.size() - std::min(text.size(), line.size())), line) << text;
      EXPECT_EQ(text.find("Program.cpp(172)"), text.rfind("Program.cpp(172)")) << text;
    }
  }
}

TEST_F(ProgramTest, Screenshots) {
  const std::string program = std::string(CVW_PROGRAM_DIR);
  configure("true", "lib/icons/shutdown.png, lib/icons/restart.png");
  program_config().set("Program Path", program);
  DialogResponder desktop;
  desktop.then([](GtkWindow* dialog) { save_screenshot(GTK_WIDGET(dialog), "QuitDialog-desktop"); })
      .click("gtk-cancel");
  confirm_quit(nullptr, 1);

  configure("false");
  DialogResponder plain;
  plain.then([](GtkWindow* dialog) { save_screenshot(GTK_WIDGET(dialog), "QuitDialog-plain"); })
      .click("gtk-no");
  confirm_quit(nullptr, 3);
}
