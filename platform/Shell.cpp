// ShellExecuteA for the verb "open": an executable file is started itself, with the parameters
// as its arguments, as the Windows shell does; any other file or address goes to the desktop's
// opener ("xdg-open", or the program named by CVW_SHELL_OPEN). Either is started detached, in a
// session of its own, and not waited for. The Windows "open with" dialog (rundll32.exe) does not
// exist here and is reported as not associated.
//
// IsUserAnAdmin stands for the rights the program asks for on Windows: here, root.
#include "Machine.h"
#include "Win32.h"

#include <glib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool is_address(const char* target) { return std::strstr(target, "://") != nullptr; }

bool is_program(const char* file) {
  return g_file_test(file, G_FILE_TEST_IS_REGULAR) && g_file_test(file, G_FILE_TEST_IS_EXECUTABLE);
}

// Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the child through an intermediate process that
// ends at once, so the child is nobody's to wait for.
bool start_detached(gchar** argv, const char* directory) {
  return g_spawn_async(
             directory, argv, nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, [](gpointer) { setsid(); },
             nullptr, nullptr, nullptr) != FALSE;
}

HINSTANCE start_program(LPCSTR file, LPCSTR parameters, LPCSTR directory) {
  gchar** arguments = nullptr;
  if (parameters != nullptr && *parameters != '\0' &&
      !g_shell_parse_argv(parameters, nullptr, &arguments, nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SE_ERR_NOASSOC;
  }
  GPtrArray* argv = g_ptr_array_new();
  g_ptr_array_add(argv, const_cast<gchar*>(file));
  for (gchar** argument = arguments; argument != nullptr && *argument != nullptr; ++argument)
    g_ptr_array_add(argv, *argument);
  g_ptr_array_add(argv, nullptr);
  const bool started = start_detached(reinterpret_cast<gchar**>(argv->pdata), directory);
  g_ptr_array_free(argv, TRUE);
  g_strfreev(arguments);
  if (!started) {
    SetLastError(ERROR_ACCESS_DENIED);
    return SE_ERR_ACCESSDENIED;
  }
  return 42;
}

} // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
  if (verb == nullptr || file == nullptr || std::strcmp(verb, "open") != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return SE_ERR_NOASSOC;
  }
  if (std::strcmp(file, "rundll32.exe") == 0) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  if (!is_address(file) && !g_file_test(file, G_FILE_TEST_EXISTS)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return SE_ERR_FNF;
  }
  if (!is_address(file) && is_program(file))
    return start_program(file, parameters, directory);
  const char* configured = std::getenv("CVW_SHELL_OPEN");
  std::string opener = configured != nullptr && *configured != '\0' ? configured : "xdg-open";
  gchar* found = g_find_program_in_path(opener.c_str());
  if (found == nullptr) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  gchar* argv[] = {found, const_cast<gchar*>(file), nullptr};
  const bool started = start_detached(argv, nullptr);
  g_free(found);
  if (!started) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  return 42;
}

BOOL IsUserAnAdmin() {
  return platform::simulated_machine_chosen() || geteuid() == 0 ? TRUE : FALSE;
}
