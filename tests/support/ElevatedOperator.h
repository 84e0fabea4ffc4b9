// A program started through pkexec, as the platform layer sees it: PKEXEC_UID names an operator
// (by default the unprivileged user 65534, "nobody") whose account, with a home folder of its
// own in a fresh temporary folder, is the only one of the user database that CVW_ACCOUNTS names.
// Both variables are restored when the object goes.
#pragma once

#include "TempDir.h"
#include "TestMachine.h"

#include <filesystem>
#include <fstream>
#include <string>

class ElevatedOperator {
public:
  explicit ElevatedOperator(unsigned int uid = 65534, unsigned int gid = 65534)
      : home_((folder.path() / "home" / "operator").string()), database(folder.file("passwd")),
        accounts("CVW_ACCOUNTS", database), asking("PKEXEC_UID", std::to_string(uid)), uid_(uid),
        gid_(gid) {
    std::filesystem::create_directories(home_);
    std::ofstream(database) << "root:x:0:0:root:/root:/bin/sh\n"
                            << "operator:x:" << uid << ":" << gid << ":The operator:" << home_
                            << ":/bin/sh\n";
  }

  // The operator's home folder (made, and empty at first).
  const std::string& home() const { return home_; }
  unsigned int uid() const { return uid_; }
  unsigned int gid() const { return gid_; }
  // A folder beside the home, which is not the operator's.
  std::string outside() const {
    const std::string path = folder.file("elsewhere");
    std::filesystem::create_directories(path);
    return path;
  }

private:
  TempDir folder;
  std::string home_;
  std::string database;
  ScopedEnvironment accounts;
  ScopedEnvironment asking;
  unsigned int uid_;
  unsigned int gid_;
};
