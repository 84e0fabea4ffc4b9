// The compressed debug file: two little-endian copies of the text's length, then the text
// compressed by zlib at level 9, the whole image passed through chain_xor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes `n` bytes at `data` to the file `name` in the compressed form. Returns false, writing
// nothing, when compression fails, and false when the file cannot be written.
bool save_compressed(const std::string& name, const void* data, std::uint32_t n);

// Reads a file written by save_compressed back into `text`. Returns false for a file shorter
// than its header, a header whose two lengths differ, or a body that does not decompress.
bool load_compressed(const std::string& name, std::string& text);

// b[i] ^= b[i+1] for every byte but the last, in increasing order.
void chain_xor(unsigned char* b, std::size_t len);
// Undoes chain_xor.
void chain_xor_inverse(unsigned char* b, std::size_t len);
