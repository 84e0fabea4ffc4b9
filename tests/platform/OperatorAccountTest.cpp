#include "Win32Process.h"

#include "ElevatedOperator.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "TestMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;

// Who the operator is: pkexec's user when PKEXEC_UID names one, looked up in the user database;
// else the program's own user with the home of HOME. A PKEXEC_UID that is no user id, or is the
// program's own, names nobody else.
TEST(OperatorAccount, TheUserWhoAskedOrTheProgramsOwn) {
  TempDir dir;
  const std::string database = dir.file("passwd");
  std::ofstream(database) << "# not a user\n"
                          << "broken:x:12\n"
                          << "asker:x:1234:2345:Someone:/home/asker:/bin/sh\n"
                          << "other:x:4321:4321::/home/other:/bin/false\n";
  ScopedEnvironment accounts("CVW_ACCOUNTS", database);
  ScopedEnvironment home("HOME", "/home/own");
  const std::string self = std::to_string(geteuid());
  const struct {
    const char* name;
    std::optional<std::string> asking;
    bool elevated;
    unsigned int uid, gid;
    const char* home;
  } cases[] = {
      {"pkexec's user", std::string("1234"), true, 1234, 2345, "/home/asker"},
      {"another one", std::string("4321"), true, 4321, 4321, "/home/other"},
      {"a user the database lacks", std::string("777"), true, 777, getgid(), ""},
      {"no pkexec", std::nullopt, false, getuid(), getgid(), "/home/own"},
      {"an empty PKEXEC_UID", std::string(""), false, getuid(), getgid(), "/home/own"},
      {"not a number", std::string("12ab"), false, getuid(), getgid(), "/home/own"},
      {"a negative one", std::string("-5"), false, getuid(), getgid(), "/home/own"},
      {"too large", std::string("99999999999"), false, getuid(), getgid(), "/home/own"},
      {"the program's own user", self, false, getuid(), getgid(), "/home/own"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnvironment asking("PKEXEC_UID", c.asking);
    const platform::OperatorAccount account = platform::operator_account();
    EXPECT_EQ(account.elevated, c.elevated);
    EXPECT_EQ(account.uid, c.uid);
    EXPECT_EQ(account.gid, c.gid);
    EXPECT_EQ(account.home, c.home);
  }
  // Without HOME, the program's own user is looked up too.
  ScopedEnvironment noHome("HOME", std::nullopt);
  ScopedEnvironment noPkexec("PKEXEC_UID", std::nullopt);
  std::ofstream(database, std::ios::app)
      << "me:x:" << getuid() << ":" << getgid() << "::/home/me:/bin/sh\n";
  EXPECT_EQ(platform::operator_account().home, "/home/me");
}

// A file saved into the operator's folders becomes the operator's; one anywhere else, or one
// that is not a file of its own there (a link, a second name of another file, behind a linked
// folder), keeps its owner. Changing owners needs root.
TEST(OperatorAccount, FilesSavedInTheOperatorsFoldersBecomeTheirs) {
  if (geteuid() != 0)
    GTEST_SKIP() << "giving a file to another user needs root";
  ElevatedOperator operatorAccount;
  const std::string home = operatorAccount.home();
  const std::string outside = operatorAccount.outside();
  fs::create_directories(home + "/Documents");
  fs::create_symlink(outside, home + "/linked");
  const auto make = [](const std::string& path) {
    std::ofstream(path) << "x";
    return path;
  };
  make(outside + "/target.csv");
  fs::create_symlink(outside + "/target.csv", home + "/link.csv");
  make(outside + "/twice.csv");
  fs::create_hard_link(outside + "/twice.csv", home + "/twice.csv");
  LogCapture log;
  const struct {
    const char* name;
    std::string path;
    std::string owned; // the file whose owner to check: the path, or the one a link names
    bool given;
    bool result;
  } cases[] = {
      {"in the home", make(home + "/WipeLog.csv"), home + "/WipeLog.csv", true, true},
      {"below it", make(home + "/Documents/certificate.png"), home + "/Documents/certificate.png",
       true, true},
      {"elsewhere", make(outside + "/WipeLog.csv"), outside + "/WipeLog.csv", false, true},
      {"through a linked folder", make(home + "/linked/report.txt"), outside + "/report.txt", false,
       true},
      {"a link in the home", home + "/link.csv", outside + "/target.csv", false, false},
      {"a second name of a file elsewhere", home + "/twice.csv", outside + "/twice.csv", false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::give_file_to_operator(c.path), c.result);
    struct stat status {};
    ASSERT_EQ(::stat(c.owned.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, c.given ? operatorAccount.uid() : 0u);
    EXPECT_EQ(status.st_gid, c.given ? operatorAccount.gid() : 0u);
  }
  for (const char* refused : {"/link.csv", "/twice.csv"})
    EXPECT_NE(log.text().find("OperatorAccount.cpp(155): " + home + refused +
                              " is not a file of its own\n"),
              std::string::npos)
        << log.text();

  // Not elevated: nothing changes hands.
  ScopedEnvironment noPkexec("PKEXEC_UID", std::nullopt);
  const std::string mine = make(home + "/mine.txt");
  EXPECT_TRUE(platform::give_file_to_operator(mine));
  struct stat status {};
  ASSERT_EQ(::stat(mine.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
}
