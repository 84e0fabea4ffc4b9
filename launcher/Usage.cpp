#include "Usage.h"

#include "BuildCommit.h"
#include "Format.h"

#include <libintl.h>

#include <cstring>
#include <ostream>

#ifndef CVW_BUILD_DATE
#error "the build supplies CVW_BUILD_DATE, the build date as six digits"
#endif

std::optional<int> launcher_information(int argc, char** argv, std::ostream& out) {
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    help = help || std::strcmp(argv[i], "--help") == 0;
    version = version || std::strcmp(argv[i], "--version") == 0;
  }
  if (help) {
    out << format(
        gettext("Usage: %1 [--help | --version]\n"
                "\n"
                "Opens the disk wiper wipedesk, which lies beside it, with administrator\n"
                "rights: run by root it opens it at once; run by another user it asks\n"
                "for the rights through pkexec and ends when wipedesk does. Named\n"
                "\"NAME Start\" it opens NAME beside it instead. Other arguments are not\n"
                "passed on.\n"
                "\n"
                "  --help     show this text and end\n"
                "  --version  show the revision and end\n"),
        "wipelaunch");
    return 0;
  }
  if (version) {
    out << "wipelaunch (Corvana Wipe) v" CVW_BUILD_DATE "\ncommit " << build_commit << "\n";
    return 0;
  }
  return std::nullopt;
}
