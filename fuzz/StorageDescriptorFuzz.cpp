// Feeds arbitrary bytes to the storage descriptor parser, as a device's whole answer (in a
// buffer of exactly its size, so that any read past it is caught) and as discovery hands it
// over (the first 1024 bytes over a buffer filled with 0xA5). A record either parses into texts
// without NUL bytes or is refused with the parser's own error.
#include "LogRedirect.h"
#include "StorageDeviceDescriptor.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

void parse(const unsigned char* bytes, std::uint32_t length) {
  try {
    const StorageDeviceDescriptor descriptor(bytes, length);
    // The model joins two texts, which may be one and the same.
    if (descriptor.model().size() > 2 * std::size_t(length) ||
        descriptor.serial().size() > length || descriptor.revision().size() > length)
      std::abort();
    for (const std::string* text :
         {&descriptor.model(), &descriptor.serial(), &descriptor.revision()})
      if (text->find('\0') != std::string::npos)
        std::abort();
  } catch (const std::runtime_error& error) {
    if (std::strncmp(error.what(), "StorageDeviceDescriptor.cpp(", 28) != 0)
      std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const LogRedirect quiet(LogRedirect::Lines::Discarded);

  const std::size_t length = size < 4096 ? size : 4096;
  std::unique_ptr<unsigned char[]> exact(new unsigned char[length == 0 ? 1 : length]);
  std::memcpy(exact.get(), data, length);
  parse(exact.get(), static_cast<std::uint32_t>(length));

  unsigned char buffer[1024];
  std::memset(buffer, 0xA5, sizeof buffer);
  std::memcpy(buffer, data, size < sizeof buffer ? size : sizeof buffer);
  parse(buffer, sizeof buffer);
  return 0;
}
