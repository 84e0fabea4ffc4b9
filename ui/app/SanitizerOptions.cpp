// Sanitizer settings of wipedesk and of the GUI tests, read by AddressSanitizer and
// LeakSanitizer when they are built with them (and ignored otherwise); ASAN_OPTIONS and
// LSAN_OPTIONS of the environment still add to them. Compiled into each program: nothing would
// pull these symbols out of a library.

extern "C" {

// Leaks are traced through the toolkit's frames, which have no frame pointers, so that the few
// leaks of the toolkit itself can be told apart from ours.
const char* __asan_default_options() { return "fast_unwind_on_malloc=0:malloc_context_size=64"; }

// A run that leaks nothing of its own says nothing: standard error is the program's own.
const char* __lsan_default_options() { return "print_suppressions=0"; }

// Memory that the toolkit's libraries never free. Each entry names a library or a toolkit
// function as narrowly as its stripped frames allow; a leak of our own code is never listed.
const char* __lsan_default_suppressions() {
  return
      // Fontconfig's pattern and language caches, made on the first text drawn.
      "leak:libfontconfig.so\n"
      // A region that gtk_widget_get_snapshot makes and drops (the screenshot helper, and any
      // picture the program saves of a widget).
      "leak:gtk_widget_get_snapshot\n"
      // The file chooser keeps a GFile of its folder from its construction, the path of its
      // settings file from the moment it is hidden, and the two row paths its list asks for
      // when it draws.
      "leak:gtk_file_chooser_dialog_new\n"
      "leak:gtk_widget_hide\n"
      "leak:gtk_tree_view_get_visible_range\n"
      // The icon theme keeps the name of a file type's icon it could not find.
      "leak:gtk_icon_info_load_icon\n"
      // The accessibility bridge, loaded only when an assistive tool asks for it (the
      // end-to-end test), keeps the texts it sends to the bus.
      "leak:libatk-bridge-2.0.so\n";
}
}
