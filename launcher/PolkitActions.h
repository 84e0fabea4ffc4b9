// The polkit actions that the system's polkit knows, as far as the launcher needs them: which
// action lets pkexec run a program by its own path, with the action's message in the prompt,
// and keep the display for it.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

// One action of an action file.
struct PolkitAction {
  std::string id;
  // Its annotation "org.freedesktop.policykit.exec.path", blanks around it removed; empty when
  // it has none.
  std::string execPath;
  // Whether its annotation "org.freedesktop.policykit.exec.allow_gui" is "true": pkexec then
  // keeps DISPLAY and XAUTHORITY for the program.
  bool allowGui = false;
  // The file it came from.
  std::string file;
};

// The folder whose action files polkit reads: the environment's CVW_POLKIT_ACTIONS when it is
// set and not empty (for tests), else the folder that the build was configured with
// (/usr/share/polkit-1/actions).
std::string polkit_actions_folder(gchar** environment);

// The actions of the action file text `text` (from `file`), in their order. Returns false, with
// a debug-log line, when the text is not well-formed; `actions` then holds those read before
// the fault.
bool parse_polkit_actions(const std::string& text, const std::string& file,
                          std::vector<PolkitAction>& actions);

// The actions of every regular file "*.policy" in `folder`, in the order of the file names. A
// file that cannot be read or parsed is skipped with a debug-log line; a missing folder has
// none.
std::vector<PolkitAction> read_polkit_actions(const std::string& folder);

// The action whose exec.path is `program` (an absolute path without links) itself, as pkexec
// compares it: the first that allows the display, else the first at all; null when none names
// it.
const PolkitAction* action_naming(const std::vector<PolkitAction>& actions,
                                  const std::string& program);
