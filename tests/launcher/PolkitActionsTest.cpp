#include "PolkitActions.h"

#include "Elevation.h"
#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The action file that the install puts into polkit's folder, its translations merged in, with
// `program` as the path the install fills in.
std::string installed_action(const std::string& program) {
  std::string text;
  EXPECT_TRUE(read_file(CVW_ACTION_TEMPLATE, text));
  const std::string placeholder = "@CVW_PROGRAM@";
  const std::size_t at = text.find(placeholder);
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos)
    text.replace(at, placeholder.size(), program);
  return text;
}

std::string action(const std::string& id, const std::string& annotations) {
  return "<action id=\"" + id + "\"><description>d</description>" + annotations + "</action>";
}

std::string annotate(const std::string& key, const std::string& value) {
  return "<annotate key=\"org.freedesktop.policykit.exec." + key + "\">" + value + "</annotate>";
}

std::string policy(const std::string& actions) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration "
         "1.0//EN\" \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">\n"
         "<!-- a comment -->\n<policyconfig><vendor>v</vendor>" +
         actions + "</policyconfig>\n";
}

struct Expected {
  std::string id, execPath;
  bool allowGui;
};

} // namespace

TEST(PolkitActions, AnActionFileGivesEachActionsPathAndWhetherItKeepsTheDisplay) {
  const struct {
    const char* name;
    std::string text;
    bool parsed;
    std::vector<Expected> actions;
  } cases[] = {
      {"the installed action file",
       installed_action("/opt/cvw/lib/cvw/wipedesk"),
       true,
       {{"org.cvw.wipedesk", "/opt/cvw/lib/cvw/wipedesk", true}}},
      {"several actions, blanks around the values, an entity",
       policy(action("a", annotate("path", "\n  /usr/bin/a&amp;b \n")) +
              action("b", annotate("allow_gui", " true ") + annotate("path", "/usr/bin/b"))),
       true,
       {{"a", "/usr/bin/a&b", false}, {"b", "/usr/bin/b", true}}},
      {"the display kept only by \"true\"",
       policy(action("a", annotate("path", "/a") + annotate("allow_gui", "false")) +
              action("b", annotate("path", "/b") + annotate("allow_gui", "yes"))),
       true,
       {{"a", "/a", false}, {"b", "/b", false}}},
      {"annotations outside an action, or of another key, do not count",
       policy(annotate("path", "/outside") +
              action("a", "<annotate key=\"org.example.path\">/x</annotate>")),
       true,
       {{"a", "", false}}},
      {"an action in another element does not count",
       policy("<group>" + action("hidden", annotate("path", "/h")) + "</group>"),
       true,
       {}},
      {"not well-formed: what came before the fault",
       policy(action("a", annotate("path", "/a"))) + "<action id=\"b\">",
       false,
       {{"a", "/a", false}}},
      {"not XML at all",
       "\x7f"
       "ELF",
       false,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    std::vector<PolkitAction> actions;
    EXPECT_EQ(parse_polkit_actions(c.text, "f.policy", actions), c.parsed);
    ASSERT_EQ(actions.size(), c.actions.size());
    for (std::size_t i = 0; i < actions.size(); ++i) {
      EXPECT_EQ(actions[i].id, c.actions[i].id);
      EXPECT_EQ(actions[i].execPath, c.actions[i].execPath);
      EXPECT_EQ(actions[i].allowGui, c.actions[i].allowGui);
      EXPECT_EQ(actions[i].file, "f.policy");
    }
    EXPECT_EQ(log.text().find("PolkitActions.cpp(121): f.policy: ") == 0, !c.parsed) << log.text();
  }
}

// polkit reads "*.policy" files; anything else in its folder, and anything that is not a regular
// file, is not read (a FIFO would wait for ever, a device would never end).
TEST(PolkitActions, TheFolderGivesTheActionsOfItsRegularPolicyFiles) {
  TempDir folder;
  auto write = [&](const std::string& name, const std::string& text) {
    ASSERT_TRUE(write_file(folder.file(name), text.data(), text.size()));
  };
  write("b.policy", policy(action("second", annotate("path", "/b"))));
  write("a.policy", policy(action("first", annotate("path", "/a"))));
  write("c.policy", "<policyconfig><action id=\"broken\">");
  write("d.policy.bak", policy(action("backup", annotate("path", "/d"))));
  ASSERT_EQ(mkfifo(folder.file("fifo.policy").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", folder.path() / "zero.policy");
  fs::create_directory(folder.path() / "folder.policy");
  LogCapture log;
  const std::vector<PolkitAction> actions = read_polkit_actions(folder.path().string());
  std::vector<std::string> ids;
  for (const PolkitAction& read : actions)
    ids.push_back(read.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"first", "second", "broken"}));
  EXPECT_EQ(actions[0].file, folder.file("a.policy"));
  EXPECT_NE(log.text().find("PolkitActions.cpp(121): " + folder.file("c.policy")),
            std::string::npos)
      << log.text();
  EXPECT_TRUE(read_polkit_actions(folder.file("missing")).empty());
}

TEST(PolkitActions, TheActionForTheProgramNamesItsOwnPath) {
  const std::vector<PolkitAction> actions = {
      {"other", "/usr/bin/other", true, "f"},
      {"plain", "/opt/cvw/lib/cvw/wipedesk", false, "f"},
      {"shown", "/opt/cvw/lib/cvw/wipedesk", true, "f"},
      {"plain only", "/usr/lib/cvw/wipedesk", false, "f"},
  };
  const struct {
    const char* program;
    const char* id; // null: none
  } cases[] = {
      {"/opt/cvw/lib/cvw/wipedesk", "shown"},  {"/usr/lib/cvw/wipedesk", "plain only"},
      {"/opt/cvw/lib/cvw/wipedesk/", nullptr}, {"/opt/cvw/lib/cvw//wipedesk", nullptr},
      {"/opt/cvw/bin/wipedesk", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const PolkitAction* found = action_naming(actions, c.program);
    if (c.id == nullptr)
      EXPECT_EQ(found, nullptr);
    else
      EXPECT_EQ(found != nullptr ? found->id : "(none)", c.id);
  }
}

// The launcher runs the program by its own path only where an installed action names it and
// keeps the display, and its log says which way it took and why.
TEST(PolkitActions, TheWayToAskIsLoggedWithItsReason) {
  TempDir folder;
  const std::string program = "/opt/cvw/lib/cvw/wipedesk";
  const std::string installed = installed_action(program);
  std::string plain = installed;
  plain.replace(plain.find("<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">"),
                std::string("<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true"
                            "</annotate>")
                    .size(),
                "");
  const struct {
    const char* name;
    std::string text; // empty: no file
    PkexecWay way;
    std::string logged;
  } cases[] = {
      {"the installed action", installed, PkexecWay::Direct,
       "Elevation.cpp(268): pkexec " + program + ": the polkit action org.cvw.wipedesk of " +
           folder.file("org.cvw.wipedesk.policy") + " names it\n"},
      {"an action that does not keep the display", plain, PkexecWay::ThroughEnv,
       "Elevation.cpp(262): pkexec env " + program + ": the polkit action org.cvw.wipedesk of " +
           folder.file("org.cvw.wipedesk.policy") +
           " names it but does not keep the display "
           "(org.freedesktop.policykit.exec.allow_gui)\n"},
      {"no action", "", PkexecWay::ThroughEnv,
       "Elevation.cpp(257): pkexec env " + program + ": no polkit action in " +
           folder.path().string() + " names it\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(folder.file("org.cvw.wipedesk.policy"));
    if (!c.text.empty()) {
      ASSERT_TRUE(write_file(folder.file("org.cvw.wipedesk.policy"), c.text.data(), c.text.size()));
    }
    LogCapture log;
    EXPECT_EQ(pkexec_way(program, folder.path().string()), c.way);
    EXPECT_EQ(log.text(), c.logged);
  }
}
