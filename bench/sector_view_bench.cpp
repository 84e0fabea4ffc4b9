// The sector view while the operator drags its slider over a 1 GiB disk of a simulated machine,
// read through the real engine: how many sectors are read and shown per second, how many slider
// positions were passed over, and how long the last position takes to show once the slider
// stops. Then the panel steps through sectors one by one as fast as they are shown (the Down key
// held on the last line), beside the view model alone doing the same without a panel: the
// difference is what the panel costs per sector.
#include "GuiBench.h"

#include "LogRedirect.h"
#include "ProgramConfig.h"
#include "TestMachine.h"
#include "ViewUI/ViewUI.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>

namespace {

constexpr std::uint64_t disk_bytes = std::uint64_t{1} << 30;
constexpr std::uint64_t sectors = disk_bytes / 512;

// A panel that counts the sectors it shows.
class CountingViewUI : public ViewUI {
public:
  using ViewUI::ViewUI;
  void show(std::uint64_t lba, const std::string& text) override {
    ++shown;
    const auto start = std::chrono::steady_clock::now();
    ViewUI::show(lba, text);
    showing += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  int shown = 0;
  double showing = 0; // seconds spent in show
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the main loop until `done` holds or `limit` seconds have passed; false then.
template <typename Done> bool run_until(Done done, double limit = 30) {
  const auto start = std::chrono::steady_clock::now();
  // Wakes the blocking iterations up now and then, so that the limit is seen.
  const guint tick = g_timeout_add(
      100, [](gpointer) -> gboolean { return TRUE; }, nullptr);
  bool reached = true;
  while (!done()) {
    if (seconds_since(start) > limit) {
      reached = false;
      break;
    }
    gtk_main_iteration_do(TRUE);
  }
  g_source_remove(tick);
  return reached;
}

void sweep(CountingViewUI& panel, GtkRange* slider, double duration) {
  const int before = panel.shown;
  int moves = 0;
  const auto start = std::chrono::steady_clock::now();
  double elapsed = 0;
  // The slider moves about every millisecond, evenly over the whole disk.
  while ((elapsed = seconds_since(start)) < duration) {
    const auto lba = static_cast<std::uint64_t>(elapsed / duration * double(sectors - 1));
    gtk_range_set_value(slider, double(lba));
    ++moves;
    handle_events();
    g_usleep(1000);
  }
  gtk_range_set_value(slider, double(sectors - 1));
  const auto stopped = std::chrono::steady_clock::now();
  if (!run_until([&] { return panel.shown_lba() == sectors - 1; })) {
    std::printf("the last sector was not shown\n");
    return;
  }
  const double settle = seconds_since(stopped);
  const int shown = panel.shown - before;
  std::printf("sweep over %llu sectors in %.0f s: %d slider positions, %d sectors read and "
              "shown, %.0f per second; the last position showed %.1f ms after the slider "
              "stopped\n",
              static_cast<unsigned long long>(sectors), duration, moves, shown,
              shown / (duration + settle), settle * 1000);
}

void step(CountingViewUI& panel, int count) {
  const std::uint64_t first = panel.shown_lba();
  const int before = panel.shown;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= count; ++i) {
    panel.request(first + std::uint64_t(i), ViewUI::Read::IfOther);
    if (!run_until([&] { return panel.shown_lba() == first + std::uint64_t(i); })) {
      std::printf("sector %d was not shown\n", i);
      return;
    }
  }
  const double seconds = seconds_since(start);
  std::printf("(show: %.3f ms each) ", panel.showing * 1000 / panel.shown);
  std::printf("stepping sector by sector: %d sectors shown in %.2f s, %.0f per second, "
              "%.2f ms each\n",
              panel.shown - before, seconds, count / seconds, seconds * 1000 / count);
}

// The view model alone reads `count` consecutive sectors, each asked for once the one before is
// shown.
void model_alone(ViewModelFactory& factory, const Drive& drive, int count) {
  struct Reader : ViewModel::View {
    void show(std::uint64_t lba, const std::string&) override {
      last = lba;
      ++shown;
    }
    std::uint64_t last = ViewUI::none;
    int shown = 0;
  } reader;
  std::unique_ptr<ViewModel> model(factory.create(drive));
  model->set_view(&reader);
  model->read(0); // starts the engine
  run_until([&] { return reader.shown == 1; });
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= count; ++i) {
    model->read(std::uint64_t(i));
    if (!run_until([&] { return reader.shown == i + 1; })) {
      std::printf("sector %d was not read\n", i);
      return;
    }
  }
  const double seconds = seconds_since(start);
  std::printf("the view model alone: %d sectors read in %.2f s, %.0f per second, %.2f ms each\n",
              count, seconds, count / seconds, seconds * 1000 / count);
}

} // namespace

int main(int argc, char** argv) {
  if (!start_gui(argc, argv))
    return 0;
  // The engine's debug lines reach the program's log; they are not figures.
  const LogRedirect quiet(LogRedirect::Lines::Discarded);
  TestMachine machine(R"("drives": [ { "number": 0, "size": 1073741824, "image": "disk0.img" } ])");
  program_config() = config::Value(config::Value::Object);
  program_config().set("Driver", CVWDRV_PATH);
  ViewModelFactoryImpl factory(program_config());
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(sectors);
  drive.set_sector_size(512);
  drive.set_model("CVW Bench Disk");
  drive.set_serial("BENCH0001");

  CountingViewUI panel(factory, drive, 0, sectors);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), panel.widget());
  gtk_widget_show(window);
  panel.select();
  if (!run_until([&] { return panel.shown_lba() == 0; })) {
    std::printf("the engine did not show sector 0\n");
    return 1;
  }
  GtkRange* slider = nullptr;
  // The slider is the panel's only range.
  std::function<void(GtkWidget*)> find = [&](GtkWidget* widget) {
    if (GTK_IS_RANGE(widget) && GTK_IS_SCALE(widget))
      slider = GTK_RANGE(widget);
    if (GTK_IS_CONTAINER(widget))
      gtk_container_forall(
          GTK_CONTAINER(widget),
          [](GtkWidget* child, gpointer data) {
            (*static_cast<std::function<void(GtkWidget*)>*>(data))(child);
          },
          &find);
  };
  find(panel.widget());
  if (slider == nullptr) {
    std::printf("no slider\n");
    return 1;
  }
  for (const double duration : {2.0, 10.0})
    sweep(panel, slider, duration);
  gtk_range_set_value(slider, 0);
  run_until([&] { return panel.shown_lba() == 0; });
  step(panel, 2000);
  model_alone(factory, drive, 2000);
  gtk_widget_destroy(window);
  return 0;
}
