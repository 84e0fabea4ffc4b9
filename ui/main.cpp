// wipedesk, the desktop program: start-up, the main window's life, and the exit code that the
// quit question chose (100 shut down, 101 restart, 0 desktop; -1, read as 255, on a failure;
// 128 + the signal's number when the system ended it with SIGTERM or SIGHUP, at any step).
//
// Every failure of start-up is logged and, since the default debug log is kept in memory where
// nobody would see it, also told on standard error in one line.
#include "BuildCommit.h"
#include "DebugLog.h"
#include "DriveTasks.h"
#include "DrivesFactory.h"
#include "Files.h"
#include "Format.h"
#include "MainLog.h"
#include "Process.h"
#include "ProgramConfig.h"
#include "ProgramInit.h"
#include "TopUI/TopUI.h"
#include "Translation.h"
#include "ViewModel.h"
#include "Win32Process.h"
#include "WipeModel.h"
#include "app/CommandLine.h"
#include "app/DebugSinks.h"
#include "app/DesktopInit.h"
#include "app/EndOnRequest.h"
#include "app/EndRequests.h"
#include "app/HistoryKeeper.h"
#include "app/MainWindow.h"
#include "app/SplashWindow.h"
#include "app/UpdateDialog.h"
#include "gtk/MessageBox.h"

#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// How long the program waits, after its main loop, for the engine processes it ended.
constexpr int children_limit_ms = 5000;

int failed(const std::string& reason) {
  std::cerr << "wipedesk: " << reason << std::endl;
  return -1;
}

// What start-up is doing, for the line on standard error when it fails: the log names the
// failure only by its identifier.
std::string step;

// The line on standard error for a failure of start-up: a failure of the program configuration
// says its own sentence, any other is named with the step that failed.
std::string reason_of(const std::exception& e) {
  if (const auto* config = dynamic_cast<const ProgramConfigError*>(&e))
    return config->reason();
  return "cannot start: " + std::string(e.what()) + (step.empty() ? "" : " (" + step + ")");
}

// The wipe history of earlier runs, loaded into MainLog. Returns false when the file could not
// be loaded and not be kept aside either: saving over it would destroy it.
bool load_history(const std::string& path, GtkWindow* window) {
  std::string keptAs;
  switch (MainLog::instance().load_for_start(path, keptAs)) {
  case MainLog::StartLoad::Loaded: return true;
  case MainLog::StartLoad::FirstRun: debug_log() << "main.cpp(115): " << path << "\n"; return true;
  case MainLog::StartLoad::KeptAside:
    debug_log() << "main.cpp(115): " << path << "\n";
    gtk::message_box(gtk::MessageKind::Information,
                     format(gettext("The wipe log %1 cannot be read.\n\nIt has been kept as %2, "
                                    "and a new wipe log starts here."),
                            path, keptAs),
                     window);
    return true;
  case MainLog::StartLoad::CannotKeepAside:
    debug_log() << "main.cpp(115): " << path << "\n";
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The wipe log %1 cannot be read, and it cannot be kept aside "
                                    "either.\n\nIt stays as it is: the wipes of this session are "
                                    "not added to it."),
                            path),
                     window);
    return false;
  }
  return false;
}

// The debug-log lines that say how a lock stands, by their identifiers.
struct LockLines {
  const char* held;
  const char* unavailable;
  const char* heldElsewhere;
};

// Logs how `lock` on `path` stands. False, after telling the operator `refusal`, when another
// program holds it; a lock that cannot be had at all (its file can be neither made nor opened)
// is only logged.
bool hold(const platform::ProgramLock& lock, const std::string& path, const LockLines& lines,
          const std::string& refusal) {
  switch (lock.state()) {
  case platform::ProgramLock::State::Held: debug_log() << lines.held << path << "\n"; return true;
  case platform::ProgramLock::State::Unavailable:
    debug_log() << lines.unavailable << path << ": " << lock.reason() << "\n";
    return true;
  case platform::ProgramLock::State::HeldElsewhere: break;
  }
  debug_log() << lines.heldElsewhere << path << "\n";
  gtk::message_box(gtk::MessageKind::Error, refusal, nullptr);
  return false;
}

// Holds the program folder for this program alone: a second program on the same folder would
// save its own wipe history over this one's. Returns false, after telling the operator, when
// another program holds it. A folder that cannot be held is only logged: its history cannot be
// saved either, which start-up tells.
bool hold_program_folder(const platform::ProgramLock& lock, const std::string& folder,
                         const std::string& path) {
  return hold(lock, path, {"main.cpp(62): ", "main.cpp(63): ", "main.cpp(64): "},
              format(gettext("%1 is already running from the folder %2.\n\nBoth would keep "
                             "their wipe log there, and one would write over the records "
                             "of the other. Use the program that runs, or quit it first."),
                     program_config().get_string("Program Name"), folder));
}

// A history that is a link may be shared by program folders, each held by a program of its own:
// the file it leads to is held too, by a lock file beside it, so that a second program on that
// file says so and ends, as one on the same folder does. False when another program holds it.
bool hold_linked_history(std::optional<platform::ProgramLock>& lock, const std::string& history) {
  const std::string file = file_behind_links(history);
  if (file.empty() || file == history)
    return true; // no link (or a circle of them, which loading the history tells)
  const std::string path = file + ".lock";
  lock.emplace(path);
  return hold(*lock, path, {"main.cpp(127): ", "main.cpp(128): ", "main.cpp(129): "},
              format(gettext("%1 is already running with the wipe log %2, which the wipe "
                             "log of this program folder leads to.\n\nBoth would keep "
                             "their records there, and one would write over the records "
                             "of the other. Use the program that runs, or quit it first."),
                     program_config().get_string("Program Name"), file));
}

int start_and_run(int argc, char** argv, EndRequests& requests) {
  choose_debug_sink(argc, argv);
  debug_log() << "main.cpp(54): "
              << "Corvana Wipe"
              << "; revision " << program_revision() << "; commit " << build_commit << "\n";

  config::Value& configuration = program_config();
  DesktopInitSteps steps;
  const bool hasProgram = argc >= 1 && argv != nullptr && argv[0] != nullptr;
  if (!program_init(configuration, argc, argv, steps)) {
    debug_log() << "main.cpp(57)\n";
    return failed(hasProgram ? "cannot start GTK: no display" : "no program on the command line");
  }

  // The drives of the real machine are the system's: reading and wiping them takes root.
  if (!IsUserAnAdmin()) {
    debug_log() << "main.cpp(60)\n";
    const RightsRefusal refusal = rights_refusal(configuration.get_string("Program Path"));
    gtk::message_box(gtk::MessageKind::Error, refusal.text, nullptr);
    return failed(refusal.line);
  }

  const std::string folder = configuration.get_string("Program Path");
  const std::string lockFile = folder + "/wipedesk.lock";
  const platform::ProgramLock lock(lockFile);
  if (!hold_program_folder(lock, folder, lockFile))
    return failed("already running from " + folder);
  std::optional<platform::ProgramLock> historyLock;
  if (!hold_linked_history(historyLock, folder + "/WipeLog.cfg"))
    return failed("already running with the wipe log of " + folder);

  // A request to end that comes while a window of start-up is open answers it as closed.
  show_splash(nullptr, SplashUse::StartUp);
  if (requests.requested())
    return requests.exit_code();

  // Nothing goes to the network unless the configuration names an address.
  if (configuration.has("Update URL") &&
      run_update_dialog(nullptr, configuration.get_string("Update URL"),
                        configuration.get_string("Program Name") + " " +
                            configuration.get_string("Program Revision")))
    return 0; // the new version is being installed
  if (requests.requested())
    return requests.exit_code();

  GtkWidget* content = nullptr;
  GtkWidget* window = make_main_window(configuration.get_string("Program Name"), content);
  ViewModelFactoryImpl viewModels(configuration);
  WipeModelFactoryImpl wipeModels(configuration);
  DriveTasks tasks;
  int exitCode = -1;
  {
    TopUI top(system_drives_factory(), viewModels, wipeModels, tasks, GTK_WINDOW(window));
    gtk_container_add(GTK_CONTAINER(content), top.widget());
    show_main_window(window);
    top.start();

    const std::string history = configuration.get_string("Program Path") + "/WipeLog.cfg";
    step = "loading the wipe log " + history;
    const bool saveHistory = load_history(history, GTK_WINDOW(window));
    step.clear();
    // The history is saved after each finished wipe, and again at the end.
    std::optional<HistoryKeeper> keeper;
    if (saveHistory) {
      keeper.emplace(MainLog::instance(), history, GTK_WINDOW(window));
      keeper->tell_if_unwritable();
    }
    EndOnRequest ending(requests, top, keeper ? &*keeper : nullptr);

    exitCode = top.run();

    top.end_tasks();
    // Nobody may be there to answer a box when the system ended the program.
    if (keeper && !keeper->save_at_exit(!ending.requested()))
      debug_log() << "main.cpp(119): " << history << "\n";
  }
  gtk_widget_destroy(window);
  if (!Process::reap_abandoned_children(children_limit_ms))
    debug_log() << "main.cpp(121): " << Process::abandoned_children() << "\n";
  return exitCode;
}

// The whole program, served from its start to its end when the system asks it to end.
int run(int argc, char** argv) {
  // "--help" and "--version" are answered before anything starts.
  if (const std::optional<int> answered = program_information(argc, argv, build_commit, std::cout))
    return *answered;
  int exitCode = -1;
  {
    EndRequests requests;
    exitCode = start_and_run(argc, argv, requests);
    // What is left is the return: a request now must not cut it off, nor one that comes
    // while the watch goes.
    platform::ignore_end_requests();
  }
  return exitCode;
}

} // namespace

int main(int argc, char** argv) {
  platform::ignore_broken_pipe();
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    debug_log() << "main.cpp(124): " << e.what() << "\n";
    return failed(reason_of(e));
  } catch (...) {
    debug_log() << "main.cpp(126)\n";
    return failed("cannot start");
  }
}
