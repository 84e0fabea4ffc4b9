#include "app/CommandLine.h"

#include "Format.h"
#include "ProgramInit.h"
#include "Translation.h"

#include <glib.h>

#include <clocale>
#include <cstring>
#include <ostream>

namespace {

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

// The catalogues of the program's lib/locale, in the operator's language.
void use_catalogues(const char* argv0) {
  std::setlocale(LC_ALL, "");
  const std::string folder =
      take(g_path_get_dirname(program_config_file(argv0).c_str())) + "/lib/locale";
  bindtextdomain("CVW", folder.c_str());
  bind_textdomain_codeset("CVW", "UTF-8");
  textdomain("CVW");
}

bool is_executable(const std::string& file) {
  return g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR) &&
         g_file_test(file.c_str(), G_FILE_TEST_IS_EXECUTABLE);
}

// `path` as a shell takes it: as it is when it holds nothing the shell would read otherwise.
std::string for_shell(const std::string& path) {
  const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-,:@";
  if (!path.empty() && path.find_first_not_of(plain) == std::string::npos)
    return path;
  return take(g_shell_quote(path.c_str()));
}

} // namespace

std::optional<int> program_information(int argc, char** argv, const char* commit,
                                       std::ostream& out) {
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    help = help || std::strcmp(argv[i], "--help") == 0;
    version = version || std::strcmp(argv[i], "--version") == 0;
  }
  if (help) {
    use_catalogues(argv[0]);
    out << format(gettext("Usage: %1 [dbg=SINK] [GTK options]\n"
                          "       %1 --help | --version\n"
                          "\n"
                          "The desktop program of the disk wiper. It needs administrator rights\n"
                          "to reach the drives: start it with wipelaunch, which lies beside it\n"
                          "and asks for them.\n"
                          "\n"
                          "  dbg=ostringstream  keep the debug log in memory, its newest 8 MiB\n"
                          "                     (the default; the settings dialog saves it)\n"
                          "  dbg=null           discard the debug log\n"
                          "  dbg=stderr         write the debug log to standard error\n"
                          "  dbg=FILE           write the debug log to FILE\n"
                          "  --help             show this text and end\n"
                          "  --version          show the revision and end\n"
                          "\n"
                          "With CVW_MACHINE naming a machine file, it works on the simulated\n"
                          "machine that the file describes instead of the drives of this\n"
                          "computer.\n"
                          "\n"
                          "Exit codes: 100 shut down the system, 101 restart it, 0 quit,\n"
                          "255 failure.\n"),
                  "wipedesk");
    return 0;
  }
  if (version) {
    out << "wipedesk (Corvana Wipe) " << program_revision() << "\ncommit " << commit << "\n";
    return 0;
  }
  return std::nullopt;
}

RightsRefusal rights_refusal(const std::string& programDirectory) {
  std::string launcher;
  for (const char* name : {"wipelaunch", "wipedesk Start"}) {
    const std::string file = programDirectory + "/" + name;
    if (is_executable(file)) {
      launcher = for_shell(file);
      break;
    }
  }
  const std::string needs = gettext("This program needs administrator rights to reach the drives.");
  if (launcher.empty())
    return {needs + "\n\n" + gettext("Start it as root."),
            "needs administrator rights: start it as root"};
  return {needs + "\n\n" + format(gettext("Start it with %1, which asks for them."), launcher),
          "needs administrator rights: start it with " + launcher};
}
