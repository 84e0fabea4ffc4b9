#include "ViewModel.h"

#include "BootSector.h"
#include "DriverModel.h"
#include "Format.h"
#include "SectorDump.h"

#include <libintl.h>

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
    void on_done(const config::Value& reply) override;
    void on_error(const config::Value& reply) override;
    void on_failure(const std::string& text) override { owner.show_error(0, text); }

  private:
    ViewModelImpl& owner;
  };

  // The engine waits for one line after "done" and "error": it gets it before anything is
  // shown, so that the view may send its next read from show.
  void acknowledge_reply() {
    if (driver.state() == DriverControl::EngineFinished)
      driver.acknowledge();
  }
  void show_error(std::uint64_t lba, const std::string& text);

  DriverModel driver;
  View driverView;
};

void ViewModelImpl::read(std::uint64_t lba) {
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
}

} // namespace

ViewModel* ViewModelFactoryImpl::create(const Drive& drive) {
  return new ViewModelImpl(configuration, drive);
}
