// VirtualAlloc and VirtualFree over anonymous memory mappings.
//
// Implements just enough of kernel32's virtual memory calls for this project: new committed
// read-write blocks, released whole.
#include "Errno.h"
#include "Win32.h"

#include <sys/mman.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace {

std::mutex blocks_mutex;
std::map<void*, std::size_t>& blocks() {
  static std::map<void*, std::size_t> sizes;
  return sizes;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  const DWORD type = allocationType & ~MEM_RESERVE;
  if (address != nullptr || size == 0 || type != MEM_COMMIT || protect != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY
                                 : platform::win32_error_from_errno(errno));
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(blocks_mutex);
  blocks()[block] = size;
  return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  if (freeType != MEM_RELEASE || size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::size_t length = 0;
  {
    std::lock_guard<std::mutex> lock(blocks_mutex);
    auto found = blocks().find(address);
    if (found == blocks().end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    length = found->second;
    blocks().erase(found);
  }
  if (munmap(address, length) != 0) {
    platform::set_last_error_from_errno(errno);
    return FALSE;
  }
  return TRUE;
}
