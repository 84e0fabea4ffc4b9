#include "WipeGutmann.h"

#include "Passes.h"

#include "DebugLog.h"

#include <ostream>

namespace {

// The bytes of each pass, repeated from the start of every sector; no bytes: random data.
struct Pass {
  unsigned char length;
  unsigned char bytes[3];
};

constexpr Pass random{0, {}};
constexpr Pass one(unsigned char b) { return Pass{1, {b}}; }
constexpr Pass three(unsigned char a, unsigned char b, unsigned char c) {
  return Pass{3, {a, b, c}};
}

constexpr Pass passes[35] = {random,
                             random,
                             random,
                             random,
                             one(0x55),
                             one(0xAA),
                             three(0x92, 0x49, 0x24),
                             three(0x49, 0x24, 0x92),
                             three(0x24, 0x92, 0x49),
                             one(0x00),
                             one(0x11),
                             one(0x22),
                             one(0x33),
                             one(0x44),
                             one(0x55),
                             one(0x66),
                             one(0x77),
                             one(0x88),
                             one(0x99),
                             one(0xAA),
                             one(0xBB),
                             one(0xCC),
                             one(0xDD),
                             one(0xEE),
                             one(0xFF),
                             three(0x92, 0x49, 0x24),
                             three(0x49, 0x24, 0x92),
                             three(0x24, 0x92, 0x49),
                             three(0x6D, 0xB6, 0xDB),
                             three(0xB6, 0xDB, 0x6D),
                             three(0xDB, 0x6D, 0xB6),
                             random,
                             random,
                             random,
                             random};

} // namespace

void WipeGutmann::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeGutmann.cpp(20)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  copy.set("verify", false);
  timer().start(command.get_number("updatePeriod"));
  for (int pass = 1; pass <= 35; ++pass) {
    if (pass == 35)
      copy.set("verify", verify);
    const Pass& bytes = passes[pass - 1];
    if (bytes.length == 0) {
      run_random_pass(*this, copy, "pass", pass);
    } else {
      copy.set("pattern", std::string(reinterpret_cast<const char*>(bytes.bytes), bytes.length));
      run_pattern_pass(*this, copy, "pass", pass);
    }
  }
  reply_done(*this);
}
