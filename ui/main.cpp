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
#include "Format.h"
#include "HistoryFile.h"
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
bool load_history(HistoryFile& history, GtkWindow* window) {
  const std::string& path = history.place().path();
  std::string keptAs;
  const MainLog::StartLoad loaded = MainLog::instance().load_for_start(history, keptAs);
  if (loaded != MainLog::StartLoad::Loaded)
    debug_log() << "main.cpp(115): " << path << "\n";
  switch (loaded) {
  case MainLog::StartLoad::Loaded:
  case MainLog::StartLoad::FirstRun:
  case MainLog::StartLoad::Refused: return true; // the keeper tells a refused one
  case MainLog::StartLoad::KeptAside:
    gtk::message_box(gtk::MessageKind::Information,
                     format(gettext("The wipe log %1 cannot be read.\n\nIt has been kept as %2, "
                                    "and a new wipe log starts here."),
                            path, keptAs),
                     window);
    return true;
  case MainLog::StartLoad::CannotKeepAside:
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

// Settings that could not be loaded have left the user settings at their defaults: the
// operator learns it before anything offers to save them over the file.
void tell_unusable_settings(const DesktopInitSteps& steps, GtkWindow* window) {
  const std::string& path = steps.unusable_settings();
  if (path.empty())
    return;
  debug_log() << "main.cpp(131): " << path << "\n";
  gtk::message_box(gtk::MessageKind::Information,
                   format(gettext("The settings %1 cannot be read.\n\nThe program starts with "
                                  "the default settings; saving the settings replaces the file."),
                          path),
                   window);
}

// The debug-log lines that say how a lock stands, by their identifiers.
struct LockLines {
  const char* held;
  const char* unavailable;
  const char* heldElsewhere;
  const char* noFile;
};

// Logs how `lock` on `path` stands. False, after telling the operator, when another program
// holds it (`refusal`), or when something other than a regular file stands at its name, which
// may be how another program holds it; a lock that cannot be had at all (its file can be
// neither made nor opened) is only logged.
bool hold(const platform::ProgramLock& lock, const std::string& path, const LockLines& lines,
          const std::string& refusal) {
  switch (lock.state()) {
  case platform::ProgramLock::State::Held: debug_log() << lines.held << path << "\n"; return true;
  case platform::ProgramLock::State::Unavailable:
    debug_log() << lines.unavailable << path << ": " << lock.reason() << "\n";
    return true;
  case platform::ProgramLock::State::NoFile:
    debug_log() << lines.noFile << path << "\n";
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The lock %1 is not a regular file: %2 takes it as held by "
                                    "another program.\n\nTwo programs on one wipe log would "
                                    "write over each other's records. If no other program runs, "
                                    "remove %1 and start again."),
                            path, program_config().get_string("Program Name")),
                     nullptr);
    return false;
  case platform::ProgramLock::State::HeldElsewhere: break;
  }
  debug_log() << lines.heldElsewhere << path << "\n";
  gtk::message_box(gtk::MessageKind::Error, refusal, nullptr);
  return false;
}

// Why hold refused `lock`, for the line on standard error.
std::string refused_lock(const platform::ProgramLock& lock, const std::string& path,
                         const std::string& held) {
  return lock.state() == platform::ProgramLock::State::NoFile
             ? "the lock " + path + " is not a regular file"
             : held;
}

// Holds the program folder for this program alone: a second program on the same folder would
// save its own wipe history over this one's. Returns false, after telling the operator, when
// another program holds it. A folder that cannot be held is only logged: its history cannot be
// saved either, which start-up tells.
bool hold_program_folder(const platform::ProgramLock& lock, const std::string& folder,
                         const std::string& path) {
  return hold(lock, path, {"main.cpp(62): ", "main.cpp(63): ", "main.cpp(64): ", "main.cpp(65): "},
              format(gettext("%1 is already running from the folder %2.\n\nBoth would keep "
                             "their wipe log there, and one would write over the records "
                             "of the other. Use the program that runs, or quit it first."),
                     program_config().get_string("Program Name"), folder));
}

// A history that is a link may be shared by program folders, each held by a program of its own:
// the file it leads to is held too, by a lock file beside it, so that a second program on that
// file says so and ends, as one on the same folder does. False when another program holds it.
bool hold_linked_history(std::optional<platform::ProgramLock>& lock, const HistoryFile& history,
                         std::string& path) {
  const GuardedFile& file = history.file();
  if (!history.linked() || history.refused())
    return true; // held with the program folder, or never read nor written
  path = file.path() + ".lock";
  lock.emplace(file.folder(), file.name() + ".lock");
  return hold(*lock, path,
              {"main.cpp(127): ", "main.cpp(128): ", "main.cpp(129): ", "main.cpp(130): "},
              format(gettext("%1 is already running with the wipe log %2, which the wipe "
                             "log of this program folder leads to.\n\nBoth would keep "
                             "their records there, and one would write over the records "
                             "of the other. Use the program that runs, or quit it first."),
                     program_config().get_string("Program Name"), file.path()));
}

// A program configuration of the wrong shape, which the program cannot run without: told in a
// box that names the file and the member (when GTK runs), and in one line on standard error.
int configuration_fault(const config::Value::Exception& e, const char* argv0, bool toolkit) {
  const std::string file = argv0 != nullptr ? program_config_file(argv0) : "";
  debug_log() << "main.cpp(132): " << file << ": " << e.what() << "\n";
  if (toolkit)
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The program configuration %1 cannot be used: %2.\n\nThe "
                                    "program cannot start without it."),
                            file, e.what()),
                     nullptr);
  return failed("the program configuration " + file + " cannot be used: " + e.what());
}

int start_and_run(int argc, char** argv, EndRequests& requests, DesktopInitSteps& steps) {
  choose_debug_sink(argc, argv);
  debug_log() << "main.cpp(54): "
              << "Corvana Wipe"
              << "; revision " << program_revision() << "; commit " << build_commit << "\n";

  config::Value& configuration = program_config();
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
  // The history, and the file an administrator's link there leads to, found once.
  HistoryFile history(folder);
  const std::string lockFile = folder + "/wipedesk.lock";
  const platform::ProgramLock lock(history.place().folder(), "wipedesk.lock");
  if (!hold_program_folder(lock, folder, lockFile))
    return failed(refused_lock(lock, lockFile, "already running from " + folder));
  std::optional<platform::ProgramLock> historyLock;
  std::string historyLockFile;
  if (!hold_linked_history(historyLock, history, historyLockFile))
    return failed(refused_lock(*historyLock, historyLockFile,
                               "already running with the wipe log of " + folder));

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
    tell_unusable_settings(steps, GTK_WINDOW(window));
    top.start();

    step = "loading the wipe log " + history.place().path();
    const bool saveHistory = load_history(history, GTK_WINDOW(window));
    step.clear();
    // The history is saved after each finished wipe, and again at the end.
    std::optional<HistoryKeeper> keeper;
    if (saveHistory) {
      keeper.emplace(MainLog::instance(), history.file(), GTK_WINDOW(window));
      keeper->tell_if_unwritable();
    }
    EndOnRequest ending(requests, top, keeper ? &*keeper : nullptr);

    exitCode = top.run();

    top.end_tasks();
    // Nobody may be there to answer a box when the system ended the program.
    if (keeper && !keeper->save_at_exit(!ending.requested()))
      debug_log() << "main.cpp(119): " << history.file().path() << "\n";
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
    DesktopInitSteps steps;
    try {
      exitCode = start_and_run(argc, argv, requests, steps);
    } catch (const config::Value::Exception& e) {
      // Every other file the program reads catches its own faults of shape.
      exitCode = configuration_fault(e, argc >= 1 && argv != nullptr ? argv[0] : nullptr,
                                     steps.toolkit_started());
    }
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
