#include "ViewModel.h"

#include "BootSector.h"
#include "DriverModel.h"
#include "Format.h"
#include "SectorDump.h"

#include <libintl.h>

#include <optional>

void ViewModel::show(std::uint64_t lba, const std::string& text) {
  if (view != nullptr)
    view->show(lba, text);
}

namespace {

class ViewModelImpl : public ViewModel {
public:
  ViewModelImpl(const config::Value& configuration, const Drive& drive)
      : driver(configuration.get_string("Driver"), drive), driverView(*this) {
    driver.add_view(&driverView);
  }

  void read(std::uint64_t lba) override;

private:
  class View : public DriverControl::View {
  public:
    explicit View(ViewModelImpl& owner) : owner(owner) {}
    void on_state_changed() override;
    void on_done(const config::Value& reply) override;
    void on_error(const config::Value& reply) override;
    void on_failure(const std::string& text) override;

  private:
    ViewModelImpl& owner;
  };

  // Sends the read wished for, unless one is in flight.
  void send_wish();
  // No engine runs or starts, or it is ready for a command: nothing can be in flight.
  bool engine_idle() const {
    return driver.state() == DriverControl::EngineState::Ready ||
           (driver.state() == DriverControl::EngineState::Stopped && !driver.starting());
  }

  // The engine waits for one line after "done" and "error": it gets it before anything is
  // shown. The read is then over: the next line the engine reads is its next command, so that
  // the view may send its next read from show.
  void acknowledge_reply() {
    if (driver.state() == DriverControl::EngineState::Finished) {
      driver.acknowledge();
      inFlight = false;
    }
  }
  // Shows the error line, then sends the read wished for meanwhile.
  void show_error(std::uint64_t lba, const std::string& text);

  DriverModel driver;
  View driverView;
  // A read was sent and its reply has not been answered yet. A second "read sectors" written
  // meanwhile would be taken as the first one's answer, and the answer then as a command that
  // ends the engine: reads go out one at a time.
  bool inFlight = false;
  // The newest read asked for while one was in flight; older wishes are dropped.
  std::optional<std::uint64_t> wish;
};

void ViewModelImpl::read(std::uint64_t lba) {
  wish = lba;
  send_wish();
}

void ViewModelImpl::send_wish() {
  if (inFlight || !wish)
    return;
  const std::uint64_t lba = *wish;
  wish.reset();
  inFlight = true;
  config::Value command(config::Value::Object);
  command.set("command", "read sectors");
  config::Value& device = command["device"];
  device.set("type", driver.device_type());
  device.set("id", driver.device_id());
  device.set("sectorSize", static_cast<unsigned long long>(driver.sector_size()));
  command.set("lba", static_cast<unsigned long long>(lba));
  command.set("sectors", 1);
  driver.send(command);
}

void ViewModelImpl::View::on_state_changed() {
  if (owner.inFlight && owner.engine_idle()) {
    owner.inFlight = false;
    owner.send_wish();
  }
}

void ViewModelImpl::View::on_failure(const std::string& text) {
  // An engine that cannot be started leaves nothing in flight, and no state change tells so.
  if (owner.engine_idle())
    owner.inFlight = false;
  owner.show_error(0, text);
}

void ViewModelImpl::View::on_done(const config::Value& reply) {
  const auto lba = static_cast<std::uint64_t>(reply.get_number("lba"));
  const std::string& data = reply.get_string("data");
  std::string text = ::format(gettext("*** LBA: %1 ***"), std::to_string(lba)) + "\n";
  switch (owner.format()) {
  case FormatFat16: text += decode_boot_sector(data, 0); break;
  case FormatFat32: text += decode_boot_sector(data, 1); break;
  case FormatNtfs: text += decode_boot_sector(data, 2); break;
  default: text += sector_hex_dump(data); break;
  }
  if (!text.empty() && text.back() == '\n')
    text.pop_back();
  owner.acknowledge_reply();
  owner.show(lba, text);
  owner.send_wish();
}

void ViewModelImpl::View::on_error(const config::Value& reply) {
  const std::string& message = reply.get_string("message");
  if (message == "init failed") {
    owner.show_error(0, gettext("Init failed"));
  } else if (message == "read failed") {
    const auto lba = static_cast<std::uint64_t>(reply.get_number("lba"));
    const std::int64_t sectors = reply.get_number("sectors");
    owner.show_error(lba, ::format(gettext("Read failed (LBA: %1, sectors: %2)"),
                                   std::to_string(lba), std::to_string(sectors)));
  } else {
    owner.show_error(0, message);
  }
}

void ViewModelImpl::show_error(std::uint64_t lba, const std::string& text) {
  acknowledge_reply();
  show(lba, ::format(gettext("*** ERROR: %1 ***"), text));
  send_wish();
}

} // namespace

ViewModel* ViewModelFactoryImpl::create(const Drive& drive) {
  return new ViewModelImpl(configuration, drive);
}
