#include "gtk/Toolkit.h"

#include <gtk/gtk.h>

namespace gtk {

bool init_toolkit(int& argc, char**& argv) {
  g_set_prgname(program_name);
  return gtk_init_check(&argc, &argv) != FALSE;
}

} // namespace gtk
