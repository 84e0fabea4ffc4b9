#include "Compressed.h"

#include "Files.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace {

// Reads the file back without the code under test: undo the chain, check the header, inflate.
std::string independent_decode(const std::string& file) {
  std::vector<unsigned char> p(file.begin(), file.end());
  for (std::size_t i = p.size() - 1; i > 0; --i)
    p[i - 1] ^= p[i];
  auto le32 = [&](std::size_t at) {
    return std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 | std::uint32_t(p[at + 2]) << 16 |
           std::uint32_t(p[at + 3]) << 24;
  };
  EXPECT_EQ(le32(0), le32(4));
  std::vector<unsigned char> out(le32(0) + 1);
  uLongf n = out.size();
  EXPECT_EQ(uncompress(out.data(), &n, p.data() + 8, p.size() - 8), Z_OK);
  EXPECT_EQ(n, le32(0));
  return std::string(reinterpret_cast<char*>(out.data()), n);
}

} // namespace

TEST(Compressed, ChainXor) {
  unsigned char b[] = {0x01, 0x02, 0x03};
  chain_xor(b, 3);
  EXPECT_EQ(std::vector<unsigned char>(b, b + 3), (std::vector<unsigned char>{0x03, 0x01, 0x03}));
  chain_xor_inverse(b, 3);
  EXPECT_EQ(std::vector<unsigned char>(b, b + 3), (std::vector<unsigned char>{0x01, 0x02, 0x03}));
  unsigned char one[] = {0x7f};
  chain_xor(one, 1);
  chain_xor_inverse(one, 0);
  EXPECT_EQ(one[0], 0x7f);
}

TEST(Compressed, SavedFilesDecodeWithPlainZlib) {
  TempDir dir;
  std::string log;
  for (int i = 0; i < 5000; ++i)
    log += "Process.cpp(120): line " + std::to_string(i) + "\n";
  for (const std::string& text : {std::string(), std::string("a"), log}) {
    const std::string name = dir.file("CVW.dbg");
    ASSERT_TRUE(save_compressed(name, text.data(), static_cast<std::uint32_t>(text.size())));
    std::string file;
    ASSERT_TRUE(read_file(name, file));
    EXPECT_EQ(independent_decode(file), text);
    std::string back = "junk";
    ASSERT_TRUE(load_compressed(name, back));
    EXPECT_EQ(back, text);
  }
}

TEST(Compressed, DamagedFilesDoNotLoad) {
  TempDir dir;
  const std::string name = dir.file("CVW.dbg");
  const std::string text = "some debug text";
  ASSERT_TRUE(save_compressed(name, text.data(), static_cast<std::uint32_t>(text.size())));
  std::string good;
  ASSERT_TRUE(read_file(name, good));

  auto loads = [&](const std::string& content) {
    EXPECT_TRUE(write_file(name, content.data(), content.size()));
    std::string out = "unchanged";
    const bool ok = load_compressed(name, out);
    return ok;
  };
  // Changing a plain header byte: undo the chain, change, redo it.
  auto with_header_byte = [&](std::size_t at) {
    std::vector<unsigned char> p(good.begin(), good.end());
    chain_xor_inverse(p.data(), p.size());
    p[at] ^= 0x01;
    chain_xor(p.data(), p.size());
    return std::string(p.begin(), p.end());
  };
  EXPECT_FALSE(loads(with_header_byte(0)));
  EXPECT_FALSE(loads(with_header_byte(4)));
  EXPECT_FALSE(loads(good.substr(0, 7)));
  EXPECT_FALSE(loads(good.substr(0, good.size() - 3)));
  // A header that claims far more text than the body can hold is refused at once.
  std::vector<unsigned char> forged = {0xf0, 0xff, 0xff, 0xff, 0xf0, 0xff, 0xff, 0xff, 0x78, 0x9c};
  chain_xor(forged.data(), forged.size());
  EXPECT_FALSE(loads(std::string(forged.begin(), forged.end())));
  EXPECT_FALSE(load_compressed(dir.file("missing"), good));
  EXPECT_FALSE(save_compressed(dir.file("no/such/dir/x"), text.data(), 3));
}
