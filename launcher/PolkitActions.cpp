#include "PolkitActions.h"

#include "DebugLog.h"
#include "Guarded.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>

#ifndef CVW_POLKIT_ACTIONS_DIR
#error "the build supplies CVW_POLKIT_ACTIONS_DIR, the folder whose actions polkit reads"
#endif

namespace {

constexpr const char* exec_path_key = "org.freedesktop.policykit.exec.path";
constexpr const char* allow_gui_key = "org.freedesktop.policykit.exec.allow_gui";

// The state of one parse: the element path below <policyconfig>, the action being read, and the
// text of the annotation being read.
struct Reader {
  std::vector<std::string> open;
  std::vector<PolkitAction>* actions = nullptr;
  std::string file;
  bool inAction = false;
  std::string annotationKey;
  std::string annotationText;
  bool inAnnotation = false;
};

const char* attribute(const gchar** names, const gchar** values, const char* wanted) {
  for (; *names != nullptr; ++names, ++values)
    if (std::strcmp(*names, wanted) == 0)
      return *values;
  return nullptr;
}

void start_element(Reader& reader, const gchar* name, const gchar** names, const gchar** values) {
  const std::size_t depth = reader.open.size();
  reader.open.push_back(name);
  // <policyconfig><action id=...><annotate key=...>
  if (depth == 1 && reader.open[0] == "policyconfig" && std::strcmp(name, "action") == 0) {
    PolkitAction action;
    const char* id = attribute(names, values, "id");
    action.id = id != nullptr ? id : "";
    action.file = reader.file;
    reader.actions->push_back(action);
    reader.inAction = true;
  } else if (depth == 2 && reader.inAction && std::strcmp(name, "annotate") == 0) {
    const char* key = attribute(names, values, "key");
    reader.annotationKey = key != nullptr ? key : "";
    reader.annotationText.clear();
    reader.inAnnotation = true;
  }
}

void end_element(Reader& reader) {
  const std::size_t depth = reader.open.size();
  if (depth == 3 && reader.inAnnotation) {
    std::string value = reader.annotationText;
    const char* blanks = " \t\r\n";
    value.erase(0, value.find_first_not_of(blanks));
    value.erase(value.find_last_not_of(blanks) + 1);
    PolkitAction& action = reader.actions->back();
    if (reader.annotationKey == exec_path_key)
      action.execPath = value;
    else if (reader.annotationKey == allow_gui_key)
      action.allowGui = value == "true";
    reader.inAnnotation = false;
  } else if (depth == 2 && reader.inAction) {
    reader.inAction = false;
  }
  reader.open.pop_back();
}

void on_start_element(GMarkupParseContext*, const gchar* name, const gchar** names,
                      const gchar** values, gpointer reader, GError**) {
  guarded("PolkitActions.cpp(84)", "PolkitActions.cpp(85)",
          [&] { start_element(*static_cast<Reader*>(reader), name, names, values); });
}

void on_end_element(GMarkupParseContext*, const gchar*, gpointer reader, GError**) {
  guarded("PolkitActions.cpp(90)", "PolkitActions.cpp(91)",
          [&] { end_element(*static_cast<Reader*>(reader)); });
}

void on_text(GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**) {
  guarded("PolkitActions.cpp(95)", "PolkitActions.cpp(96)", [&] {
    Reader& reader = *static_cast<Reader*>(data);
    if (reader.inAnnotation)
      reader.annotationText.append(text, length);
  });
}

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

} // namespace

std::string polkit_actions_folder(gchar** environment) {
  const gchar* chosen = g_environ_getenv(environment, "CVW_POLKIT_ACTIONS");
  return chosen != nullptr && *chosen != '\0' ? chosen : CVW_POLKIT_ACTIONS_DIR;
}

bool parse_polkit_actions(const std::string& text, const std::string& file,
                          std::vector<PolkitAction>& actions) {
  Reader reader;
  reader.actions = &actions;
  reader.file = file;
  // The declaration, the document type and comments pass through unread.
  const GMarkupParser parser = {on_start_element, on_end_element, on_text, nullptr, nullptr};
  GMarkupParseContext* context =
      g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &reader, nullptr);
  GError* error = nullptr;
  const bool parsed = g_markup_parse_context_parse(context, text.data(),
                                                   static_cast<gssize>(text.size()), &error) &&
                      g_markup_parse_context_end_parse(context, &error);
  g_markup_parse_context_free(context);
  if (!parsed) {
    debug_log() << "PolkitActions.cpp(121): " << file << ": "
                << (error != nullptr ? error->message : "") << "\n";
    g_clear_error(&error);
  }
  return parsed;
}

std::vector<PolkitAction> read_polkit_actions(const std::string& folder) {
  std::vector<PolkitAction> actions;
  GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
  if (dir == nullptr)
    return actions;
  std::vector<std::string> names;
  for (const gchar* name = g_dir_read_name(dir); name != nullptr; name = g_dir_read_name(dir))
    if (g_str_has_suffix(name, ".policy"))
      names.push_back(name);
  g_dir_close(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string file = take(g_build_filename(folder.c_str(), name.c_str(), nullptr));
    // Only regular files: reading a FIFO or a device would wait or never end.
    if (!g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR))
      continue;
    gchar* contents = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    if (!g_file_get_contents(file.c_str(), &contents, &length, &error)) {
      debug_log() << "PolkitActions.cpp(146): " << file << ": " << error->message << "\n";
      g_clear_error(&error);
      continue;
    }
    const std::string text(contents, length);
    g_free(contents);
    parse_polkit_actions(text, file, actions);
  }
  return actions;
}

const PolkitAction* action_naming(const std::vector<PolkitAction>& actions,
                                  const std::string& program) {
  const PolkitAction* naming = nullptr;
  for (const PolkitAction& action : actions) {
    if (action.execPath != program)
      continue;
    if (action.allowGui)
      return &action;
    if (naming == nullptr)
      naming = &action;
  }
  return naming;
}
