#include "WipeInteractive.h"

#include "methods/WipeAFSSI.h"
#include "methods/WipeAR.h"
#include "methods/WipeDOD.h"
#include "methods/WipeGutmann.h"
#include "methods/WipeNAVSO.h"
#include "methods/WipeStandard.h"

#include "DebugLog.h"

#include <ostream>
#include <stdexcept>
#include <string>

namespace {

// Runs `operation` of a method made fresh on the channel; the method's context, and with it the
// device, goes when the operation returns or throws.
template <typename Method>
void run_method(ProcessClient* client, void (Method::*operation)(const config::Value&),
                const config::Value& command) {
  Method method(client);
  (method.*operation)(command);
}

} // namespace

void WipeInteractive::execute(const config::Value& command) {
  const std::string mode = command.get_string("mode");
  if (mode == "forward" || mode == "reverse")
    return run_method(client(), &WipeStandard::run, command);
  if (mode == "dod_c")
    return run_method(client(), &WipeDOD::run_c, command);
  if (mode == "dod_d" || mode == "dod_e")
    return run_method(client(), &WipeDOD::run_de, command);
  if (mode == "dod_h")
    return run_method(client(), &WipeDOD::run_h, command);
  if (mode == "ar_380_19")
    return run_method(client(), &WipeAR::run, command);
  if (mode == "afssi_5020")
    return run_method(client(), &WipeAFSSI::run, command);
  if (mode == "navso_p_5239_26" || mode == "ncsc_tg_025")
    return run_method(client(), &WipeNAVSO::run, command);
  if (mode == "gutmann")
    return run_method(client(), &WipeGutmann::run, command);
  debug_log() << "Wipe.cpp(169): " << mode << "\n";
  throw std::runtime_error("Wipe.cpp(170)");
}
