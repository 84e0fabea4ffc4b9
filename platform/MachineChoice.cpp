// Which machine the calls serve: the simulated machine of the file that CVW_MACHINE names, or
// the real one. wipedesk and the cvwdrv processes it starts inherit the variable, so they
// serve the same machine.
#include "LinuxMachine.h"
#include "Machine.h"
#include "SimulatedMachine.h"

#include "DebugLog.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <ostream>

namespace platform {

namespace {

// A machine file that cannot be used: every call fails with ERROR_NOT_READY, so that nothing
// falls back to the real devices by mistake, and logs the line that names the fault. Each call
// logs it anew: the call that read the file may have run while the log was silenced (the engine
// looks at a device quietly before it opens it for good), and a failure far from that first
// call must still say why.
class UnusableMachine : public Machine {
public:
  explicit UnusableMachine(std::string fault) : fault(std::move(fault)) {}

  std::unique_ptr<Device> open(const std::string&, DWORD, DWORD) override {
    fail();
    return nullptr;
  }
  bool volume_names(std::vector<std::string>&) override { return fail(); }
  bool volume_information(const std::string&, VolumeInformation&) override { return fail(); }
  DWORD logical_drives() override {
    fail();
    return 0;
  }
  bool delete_mount_point(char) override { return fail(); }
  bool volume_path_name(const std::string&, std::string&) override { return fail(); }
  bool system_name(DWORD, std::string&) override { return fail(); }
  bool volume_path_names(const std::string&, std::vector<std::string>&) override { return fail(); }

private:
  bool fail() const {
    debug_log() << fault << "\n";
    SetLastError(ERROR_NOT_READY);
    return false;
  }

  std::string fault;
};

} // namespace

bool simulated_machine_chosen() {
  const char* file = std::getenv("CVW_MACHINE");
  return file != nullptr && *file != '\0';
}

std::shared_ptr<Machine> current_machine() {
  static std::mutex mutex;
  static std::string chosen;
  static std::shared_ptr<Machine> machine;
  const char* file = std::getenv("CVW_MACHINE");
  std::string key = "linux";
  if (file != nullptr && *file != '\0') {
    // The file's change time and size are part of the choice, so that a rewritten machine
    // file is read again.
    struct stat status;
    key = std::string("file:") + file;
    if (stat(file, &status) == 0)
      key += ":" + std::to_string(status.st_mtim.tv_sec) + "." +
             std::to_string(status.st_mtim.tv_nsec) + ":" + std::to_string(status.st_size);
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (machine == nullptr || key != chosen) {
    if (key == "linux") {
      static std::shared_ptr<Machine> real = std::make_shared<LinuxMachine>();
      machine = real;
    } else {
      std::string fault;
      std::shared_ptr<Machine> simulated = SimulatedMachine::load(file, fault);
      machine = simulated != nullptr ? simulated : std::make_shared<UnusableMachine>(fault);
    }
    chosen = key;
  }
  return machine;
}

} // namespace platform
