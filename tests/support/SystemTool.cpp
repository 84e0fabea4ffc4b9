#include "SystemTool.h"

#include <glib.h>

std::string find_tool(const char* name) {
  for (const char* folder : {"/usr/sbin/", "/sbin/"}) {
    const std::string path = std::string(folder) + name;
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE))
      return path;
  }
  gchar* found = g_find_program_in_path(name);
  std::string path = found != nullptr ? found : "";
  g_free(found);
  return path;
}

bool run_tool(const std::vector<std::string>& argv, std::string& output) {
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (std::string& a : copy)
    args.push_back(a.data());
  args.push_back(nullptr);
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const bool ran = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                &out, &err, &status, &error);
  output = argv.empty() ? std::string() : argv[0] + ": ";
  if (error != nullptr) {
    output += error->message;
    g_error_free(error);
  }
  output += out != nullptr ? out : "";
  output += err != nullptr ? err : "";
  g_free(out);
  g_free(err);
  return ran && g_spawn_check_wait_status(status, nullptr);
}
