// The resource directory: the folder "lib" of the program directory, which holds the interface
// files, the pictures, the GTK resource file and the translations.
#pragma once

#include <string>

namespace gtk {

// Empty until start-up sets it.
const std::string& resource_directory();
void set_resource_directory(const std::string& directory);

// `first` and `second` joined with one separator (g_build_filename).
std::string join_path(const std::string& first, const std::string& second);

} // namespace gtk
