// VirtualAlloc and VirtualFree over anonymous memory mappings.
//
// Implements just enough of kernel32's virtual memory calls for this project: new committed
// read-write blocks, released whole, in small or in large pages. Large pages are the kernel's
// transparent huge pages: a block asked for in them starts on a huge page boundary and is advised
// for them, so that its memory comes in runs of a huge page however and by whichever threads it
// is first touched; the kernel gives small pages where it has no huge ones at hand.
#include "Errno.h"
#include "Win32.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>

namespace {

// The kernel's huge page size; 0 for a kernel without transparent huge pages.
std::size_t huge_page_size() {
  static const std::size_t size = [] {
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size");
    unsigned long long bytes = 0;
    if (!(file >> bytes) || bytes == 0 || (bytes & (bytes - 1)) != 0)
      return std::size_t(0);
    return static_cast<std::size_t>(bytes);
  }();
  return size;
}

// A new mapping of `size` bytes, a multiple of `huge`, on a boundary of `huge` and advised for
// huge pages; MAP_FAILED with errno set when there is none.
void* map_huge(std::size_t size, std::size_t huge) {
  if (size > std::numeric_limits<std::size_t>::max() - huge) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  // A huge page more than asked for; what lies before the boundary and after the block goes
  // back at once.
  const std::size_t span = size + huge;
  void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED)
    return MAP_FAILED;
  const std::size_t head = (huge - reinterpret_cast<std::uintptr_t>(mapped) % huge) % huge;
  char* block = static_cast<char*>(mapped) + head;
  if (head > 0)
    munmap(mapped, head);
  munmap(block + size, span - head - size);
  if (madvise(block, size, MADV_HUGEPAGE) != 0) {
    const int error = errno;
    munmap(block, size);
    errno = error;
    return MAP_FAILED;
  }
  return block;
}

std::mutex blocks_mutex;
std::map<void*, std::size_t>& blocks() {
  static std::map<void*, std::size_t> sizes;
  return sizes;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  const bool large = (allocationType & MEM_LARGE_PAGES) != 0;
  const DWORD type = allocationType & ~(MEM_RESERVE | MEM_LARGE_PAGES);
  if (address != nullptr || size == 0 || type != MEM_COMMIT || protect != PAGE_READWRITE ||
      (large && (allocationType & MEM_RESERVE) == 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::size_t huge = huge_page_size();
  if (large && huge == 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (large && size % huge != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block =
      large ? map_huge(size, huge)
            : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY
                                 : platform::win32_error_from_errno(errno));
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(blocks_mutex);
  blocks()[block] = size;
  return block;
}

SIZE_T GetLargePageMinimum() { return huge_page_size(); }

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
