#include "Compressed.h"

#include "Files.h"

#include <zlib.h>

#include <vector>

namespace {

void put_u32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t get_u32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

} // namespace

void chain_xor(unsigned char* b, std::size_t len) {
  for (std::size_t i = 0; i + 1 < len; ++i)
    b[i] ^= b[i + 1];
}

void chain_xor_inverse(unsigned char* b, std::size_t len) {
  for (std::size_t i = len; i-- > 1;)
    b[i - 1] ^= b[i];
}

bool save_compressed(const std::string& name, const void* data, std::uint32_t n) {
  // compressBound-style room; 64-bit arithmetic so that lengths near 4 GiB cannot wrap.
  const std::uint64_t room = std::uint64_t(n) + n / 1000 + 12;
  std::vector<unsigned char> buffer(room + 8);
  uLongf length = static_cast<uLongf>(room);
  if (compress2(buffer.data() + 8, &length, static_cast<const Bytef*>(data), n, 9) != Z_OK)
    return false;
  put_u32(buffer.data(), n);
  put_u32(buffer.data() + 4, n);
  chain_xor(buffer.data(), length + 8);
  return write_file(name, buffer.data(), length + 8);
}

bool load_compressed(const std::string& name, std::string& text) {
  std::string file;
  if (!read_file(name, file) || file.size() < 8)
    return false;
  std::vector<unsigned char> buffer(file.begin(), file.end());
  chain_xor_inverse(buffer.data(), buffer.size());
  const std::uint32_t n = get_u32(buffer.data());
  if (get_u32(buffer.data() + 4) != n)
    return false;
  // deflate never compresses better than about 1032:1; a larger claimed length is damage, and
  // must not make the reader allocate gigabytes.
  if (n / 1032 > buffer.size() - 8 + 1)
    return false;
  std::vector<unsigned char> out(n);
  uLongf produced = n;
  if (uncompress(out.data(), &produced, buffer.data() + 8, buffer.size() - 8) != Z_OK)
    return false;
  text.assign(reinterpret_cast<const char*>(out.data()), produced);
  return true;
}
