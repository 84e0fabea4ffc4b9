#include "WipeUI/WipeUI.h"

#include "Files.h"
#include "Guarded.h"
#include "LogUI/LogUI.h"
#include "MainLog.h"
#include "Settings.h"
#include "Strings.h"
#include "Translation.h"
#include "Win32Process.h"
#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"
#include "gtk/HandlerBlock.h"
#include "gtk/MessageBox.h"
#include "gtk/WidgetName.h"
#include "parts/DriveAreaItems.h"
#include "parts/WipeConfirmation.h"

bool WipeUI::optionsShown = true;

namespace {

// How the panel shows one model state.
struct StateLook {
  const char* startLabel; // the first button
  const char* startName;
  const char* stopLabel; // the second button
  bool stopSensitive;
  DriveLight light; // the task's, which the drive icon shows
  bool editable;    // area and options
  Notifier::Kind sound;
};

// The labels carry their mnemonics, which no other control of a task takes (in English the
// first button's Alt+S, Alt+I for CONTINUE, and the second's Alt+C). CONTINUE's is a letter of
// its own word that START's is not in any language: START's key pressed twice arms a wipe but
// never starts it.
// clang-format off
const StateLook idle_look    = {N_("_START"),    "start",    N_("_CLOSE"),  true,  DriveLight::Ready,    true,  Notifier::Kind::None};
const StateLook wiping_look  = {N_("PAU_SE"),    "pause",    N_("_CANCEL"), true,  DriveLight::Busy,     false, Notifier::Kind::None};
const StateLook paused_look  = {N_("RE_SUME"),   "resume",   N_("_CANCEL"), true,  DriveLight::Ready,    false, Notifier::Kind::None};
const StateLook done_look    = {N_("CONT_INUE"), "continue", N_("_CANCEL"), false, DriveLight::Finished, false, Notifier::Kind::Done};
const StateLook waiting_look = {N_("CONT_INUE"), "continue", N_("_CANCEL"), true,  DriveLight::Waiting,  false, Notifier::Kind::Error};
// clang-format on

const StateLook& look_of(WipeModel::State state) {
  switch (state) {
  case WipeModel::State::Wiping: return wiping_look;
  case WipeModel::State::Paused: return paused_look;
  case WipeModel::State::Done: return done_look;
  case WipeModel::State::Waiting: return waiting_look;
  default: return idle_look;
  }
}

// Writes `text` as the whole file at `path` (in the operator's folders, the operator's file);
// on failure adds the export's paragraph to `errors`.
void export_to(const std::string& path, const std::string& text, const char* what,
               std::string& errors) {
  if (path.empty())
    return;
  if (write_file(path, text.data(), text.size())) {
    platform::give_file_to_operator(path);
    return;
  }
  if (!errors.empty())
    errors += "\n\n";
  errors += std::string(gettext(what)) + "\n" + gettext("Cannot save file") + "\n(" + path + ")";
}

} // namespace

WipeUI::WipeUI(WipeModelFactory& factory, const Drive& drive, std::uint64_t lba,
               std::uint64_t sectors, GtkWidget* parent)
    : WipeUI(factory, drive, lba, sectors, parent, gtk::Builder("WipeUI/WipeUI.ui")) {}

WipeUI::WipeUI(WipeModelFactory& factory, const Drive& drive, std::uint64_t lba,
               std::uint64_t sectors, GtkWidget* parent, const gtk::Builder& ui)
    : DriveTask("wipe", drive), parent(parent), model(factory.create(drive)), options(parent),
      notifier(&Settings::instance()),
      parts(ui.widget("top"), ui.widget("bottom"),
            ui.get<GtkToggleButton>("toggle", GTK_TYPE_TOGGLE_BUTTON), optionsShown),
      top(ui.widget("widget")) {
  model->set_view(this);
  gtk::set_widget_name(top.get(), "WipeUI");
  gtk::set_widget_name(ui.widget("bottom"), "bottom");
  message = ui.get<GtkLabel>("message", GTK_TYPE_LABEL);
  gtk::set_widget_name(GTK_WIDGET(message), "message");
  actionRow = ui.get<GtkWidget>("buttons", GTK_TYPE_HBOX);
  startButton = ui.get<GtkButton>("start", GTK_TYPE_BUTTON);
  gtk::set_widget_name(GTK_WIDGET(startButton), "start");
  g_signal_connect(startButton, "clicked", G_CALLBACK(on_start), this);
  startPresses = std::make_unique<ButtonPresses>(startButton);
  GtkWidget* wipeAll = ui.get<GtkWidget>("wipeAll", GTK_TYPE_BUTTON);
  gtk::set_widget_name(wipeAll, "wipeAll");
  g_signal_connect(wipeAll, "clicked", G_CALLBACK(on_wipe_all), this);
  stopButton = ui.get<GtkButton>("stop", GTK_TYPE_BUTTON);
  gtk::set_widget_name(GTK_WIDGET(stopButton), "stop");
  g_signal_connect(stopButton, "clicked", G_CALLBACK(on_stop), this);
  stopPresses = std::make_unique<ButtonPresses>(stopButton);

  areaCombo = bind_drive_area(ui, "wipe", drive, area);
  g_signal_connect(areaCombo, "changed", G_CALLBACK(on_area_changed), this);
  area.set_callback(this);
  area.set(lba, sectors);

  GtkWidget* patternFile = ui.get<GtkWidget>("fillPatternFromFile", GTK_TYPE_BUTTON);
  gtk::set_widget_name(patternFile, "fillPatternFromFile");
  GtkComboBox* method = ui.get<GtkComboBox>("operationMode", GTK_TYPE_COMBO_BOX);
  GtkToggleButton* ignores[] = {
      ui.get<GtkToggleButton>("ignoreWriteErrors", GTK_TYPE_TOGGLE_BUTTON),
      ui.get<GtkToggleButton>("ignoreReadErrors", GTK_TYPE_TOGGLE_BUTTON),
      ui.get<GtkToggleButton>("ignoreCompareErrors", GTK_TYPE_TOGGLE_BUTTON)};
  options.bind_sectors_per_time(ui.get<GtkSpinButton>("sectorsPerTime", GTK_TYPE_SPIN_BUTTON));
  options.bind_pattern(ui.get<GtkEntry>("fillPattern", GTK_TYPE_ENTRY));
  options.bind_pattern_file_button(GTK_BUTTON(patternFile));
  options.bind_ignore_write_errors(ignores[0]);
  options.bind_ignore_read_errors(ignores[1]);
  options.bind_ignore_compare_errors(ignores[2]);
  options.bind_method(method);
  gtk::set_combo_popup_name(method);
  options.bind_jump_sectors(ui.get<GtkSpinButton>("jumpSectors", GTK_TYPE_SPIN_BUTTON));
  options.bind_jump_double(ui.get<GtkToggleButton>("jumpDouble", GTK_TYPE_TOGGLE_BUTTON));
  options.bind_verify(ui.get<GtkToggleButton>("verify", GTK_TYPE_TOGGLE_BUTTON));
  options.load(Settings::instance().wipe_options());
  // Connected after the load, so that loading the settings is no choice of the operator's.
  for (GtkToggleButton* ignore : ignores)
    g_signal_connect(ignore, "toggled", G_CALLBACK(on_ignore_toggled), this);

  GtkWidget* logFile = ui.get<GtkWidget>("logFile", GTK_TYPE_BUTTON);
  gtk::set_widget_name(logFile, "logFile");
  g_signal_connect(logFile, "clicked", G_CALLBACK(on_log_file), this);
  state_changed(model->state());
}

WipeUI::~WipeUI() {
  // The model and its engine go first, while the panel is whole, and tell nobody.
  callback_ = nullptr;
  model->set_view(nullptr);
  model.reset();
}

void WipeUI::arm(Arm then) {
  const bool startNow = then == Arm::AndStart;
  if (startNow) {
    WipeOptions chosen = model->options();
    options.apply(chosen);
    model->set_options(chosen);
  }
  model->set_lba(area.start());
  model->set_sectors(area.sectors());
  model->arm();
  if (startNow && model->state() == WipeModel::State::Waiting)
    model->start();
}

void WipeUI::select() { parts.select(); }

void WipeUI::deselect() { parts.deselect(); }

void WipeUI::state_changed(WipeModel::State) {
  const WipeModel::State state = model->state();
  const StateLook& look = look_of(state);
  // A control that turns insensitive below takes the window's focus with it, to nothing.
  GtkWindow* window = gtk::window_of(top.get());
  GtkWidget* focus = window != nullptr ? gtk_window_get_focus(window) : nullptr;
  const bool focusHere = focus != nullptr && gtk_widget_is_ancestor(focus, top.get());
  if (state != WipeModel::State::Waiting)
    armedAt = 0;
  if (state == WipeModel::State::Done)
    export_history();
  switch (state) {
  case WipeModel::State::Idle:
    // A wipe that was stopped on its way left the drive partly written: that is said until the
    // next wipe ends.
    status_changed(model->cancelled_status().empty() ? gettext("READY - Press [START] to run wipe")
                                                     : model->cancelled_status().c_str());
    break;
  case WipeModel::State::Wiping: gtk_label_set_text(message, statusText.c_str()); break;
  case WipeModel::State::Paused:
    gtk_label_set_text(message, (statusText + " (" + gettext("PAUSED") + ")").c_str());
    break;
  default: break;
  }
  gtk_button_set_label(startButton, gettext(look.startLabel));
  gtk::set_widget_name(GTK_WIDGET(startButton), look.startName);
  gtk_widget_set_sensitive(GTK_WIDGET(startButton), TRUE);
  gtk_button_set_label(stopButton, gettext(look.stopLabel));
  gtk::set_widget_name(GTK_WIDGET(stopButton), "cancel");
  gtk_widget_set_sensitive(GTK_WIDGET(stopButton), look.stopSensitive);
  set_light(look.light);
  gtk_widget_set_sensitive(GTK_WIDGET(areaCombo), look.editable);
  area.set_sensitive(look.editable);
  options.set_sensitive(look.editable);
  if (focusHere) {
    // Then it goes to CANCEL, where a key does no harm, or where CANCEL cannot be pressed to
    // the first button (CONTINUE after a wipe's end); START pressed by its key leaves it on
    // the control it was on, such as the method chooser, which arming freezes.
    focus = gtk_window_get_focus(window);
    if (focus == nullptr || !gtk_widget_is_sensitive(focus))
      gtk_widget_grab_focus(GTK_WIDGET(look.stopSensitive ? stopButton : startButton));
  }
  notifier.notify(look.sound);
  if (callback_ != nullptr)
    callback_->light_changed();
}

void WipeUI::export_history() {
  const Settings& settings = Settings::instance();
  const MainLog& history = MainLog::instance();
  std::string errors;
  if (!settings.export_csv().empty())
    export_to(settings.export_csv(), history.to_csv(), N_("Export CSV automatically (Wipe Log)"),
              errors);
  if (!settings.export_txt().empty())
    export_to(settings.export_txt(), history.to_text(), N_("Export TXT automatically (Wipe Log)"),
              errors);
  if (!errors.empty())
    gtk::message_box(gtk::MessageKind::Error, errors, gtk::window_of(parent));
}

void WipeUI::status_changed(const char* text) {
  // An engine's or a drive's message may hold any bytes.
  statusText = valid_utf8(text);
  gtk_label_set_text(message, statusText.c_str());
}

void WipeUI::percent_changed(int percent) {
  set_percent(percent);
  if (callback_ != nullptr)
    callback_->percent_changed();
}

void WipeUI::area_done(std::uint64_t lba, std::uint64_t sectors) {
  if (callback_ != nullptr)
    callback_->area_wiped(lba, sectors);
}

void WipeUI::start_refused(const char* reason) { tell_refusal(reason); }

void WipeUI::tell_refusal(const std::string& reason) {
  gtk::message_box(gtk::MessageKind::Error,
                   reason + "\n\n" + gettext("Close this task and open the drive's icon again."),
                   gtk::window_of(parent));
}

void WipeUI::changed(DriveAreaEngine&) { area_changed(); }

void WipeUI::area_changed() {
  // The item only follows the range here; choosing it again would set the same range.
  gtk::HandlerBlock hold(areaCombo, G_CALLBACK(on_area_changed), this);
  gtk_combo_box_set_active(areaCombo, drive_area_item(drive(), area.start(), area.sectors()));
}

void WipeUI::area_chosen() {
  std::uint64_t start = 0, sectors = 0;
  // "Custom area" changes nothing: the range stays as the operator last edited it.
  if (drive_area_range(drive(), gtk_combo_box_get_active(areaCombo), start, sectors))
    area.set(start, sectors);
}

void WipeUI::start_clicked() {
  switch (model->state()) {
  case WipeModel::State::Wiping: model->pause(); return;
  case WipeModel::State::Idle: break;
  case WipeModel::State::Paused: model->start(); return; // resume
  case WipeModel::State::Waiting:
    if (too_soon_after_arming())
      return; // the second press of a double-click on START
    [[fallthrough]];
  default:
    // CONTINUE: the question of the armed model, or the error or the end it answers, is over;
    // the next progress line fills the status.
    status_changed("");
    model->start();
    return;
  }
  if (!startRefusal.empty()) {
    tell_refusal(startRefusal);
    return;
  }
  WipeOptions chosen = model->options();
  if (!check_before_arming(chosen))
    return;
  model->set_options(chosen);
  arm(Arm::Only);
  if (model->state() == WipeModel::State::Waiting)
    armedAt = g_get_monotonic_time();
}

bool WipeUI::too_soon_after_arming() const {
  if (armedAt == 0)
    return false;
  switch (startPresses->last_since(armedAt)) {
  case ButtonPresses::Press::Deliberate: return false;
  case ButtonPresses::Press::Hurried: return true;
  case ButtonPresses::Press::None: break;
  }
  // A click without a press since the arming (an assistive tool's action) counts from now.
  gint doubleClick = 0;
  g_object_get(gtk_widget_get_settings(GTK_WIDGET(startButton)), "gtk-double-click-time",
               &doubleClick, nullptr);
  return g_get_monotonic_time() - armedAt < gint64{doubleClick} * 1000;
}

// The editor's check of the options, then the questions: a wipe history that cannot be written,
// a drive that stands in the wipe history, and a drive that carries a warning. Returns true when
// the wipe may be armed with `chosen`.
bool WipeUI::check_before_arming(WipeOptions& chosen) {
  if (!options.apply(chosen) || !confirm_unrecorded_wipe(parent))
    return false;
  const Drive& target = drive();
  if (const MainLog::Entry* entry = MainLog::instance().find(target.model(), target.serial())) {
    const std::string text = std::string(gettext("This drive was already wiped.")) + "\n\n" +
                             gettext("Wipe Log (last drive event):") + "\n" + entry->to_text() +
                             "\n\n" + gettext("Are you sure you want to continue?");
    if (gtk::message_box(gtk::MessageKind::Warning, text, gtk::window_of(parent),
                         gtk::DefaultButton::No) != gtk::answer_yes)
      return false;
  }
  if (!target.warning().empty() && !confirm_wipe("", drive_warning_text(target), parent))
    return false;
  return true;
}

void WipeUI::options_for_model() {
  WipeOptions chosen = model->options();
  if (options.apply(chosen))
    model->set_options(chosen);
}

void WipeUI::on_start(GtkButton*, gpointer self) {
  guarded("WipeUI.cpp(275)", "WipeUI.cpp(277)",
          [&] { static_cast<WipeUI*>(self)->start_clicked(); });
}

void WipeUI::on_stop(GtkButton*, gpointer self) {
  guarded("WipeUI.cpp(294)", "WipeUI.cpp(296)", [&] {
    auto* panel = static_cast<WipeUI*>(self);
    if (panel->model->state() != WipeModel::State::Idle)
      panel->model->stop();
    else if (panel->callback_ != nullptr)
      panel->callback_->close(); // the task closes, and this panel with it: nothing after this
  });
}

void WipeUI::on_wipe_all(GtkButton*, gpointer self) {
  guarded("WipeUI.cpp(310)", "WipeUI.cpp(312)", [&] {
    auto* panel = static_cast<WipeUI*>(self);
    if (panel->callback_ == nullptr)
      return;
    WipeOptions chosen = panel->model->options();
    if (panel->options.apply(chosen))
      panel->callback_->wipe_all(chosen);
  });
}

void WipeUI::on_area_changed(GtkComboBox*, gpointer self) {
  guarded("WipeUI.cpp(331)", "WipeUI.cpp(333)", [&] { static_cast<WipeUI*>(self)->area_chosen(); });
}

void WipeUI::on_ignore_toggled(GtkToggleButton*, gpointer self) {
  guarded("WipeUI.cpp(345)", "WipeUI.cpp(347)",
          [&] { static_cast<WipeUI*>(self)->options_for_model(); });
}

void WipeUI::on_log_file(GtkButton*, gpointer self) {
  guarded("WipeUI.cpp(357)", "WipeUI.cpp(359)", [&] {
    auto* panel = static_cast<WipeUI*>(self);
    GtkWindow* parent = gtk::window_of(panel->parent);
    LogUI window =
        gtk::telling_interface_errors(parent, [&] { return LogUI(panel->model->log(), parent); });
    window.run();
  });
}
