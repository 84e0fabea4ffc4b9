// The calls' own rules, alike on every machine: path forms, handles, positions, transfers,
// memory and messages. They run on the simulated machine.
#include "Bytes.h"
#include "DevicePath.h"
#include "TestMachine.h"
#include "Win32.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const char* const disk0 = R"(\\.\PhysicalDrive0)";
const char* const disk1 = R"(\\.\PhysicalDrive1)";

} // namespace

TEST(DevicePath, ReadsTheDeviceForms) {
  struct Case {
    const char* path;
    platform::DevicePath::Kind kind;
    DWORD number;
    char letter;
    const char* guid;
  };
  using P = platform::DevicePath;
  const Case cases[] = {
      {R"(\\.\PhysicalDrive0)", P::Drive, 0, 0, ""},
      {R"(\\?\physicaldrive31)", P::Drive, 31, 0, ""},
      {R"(\\.\PhysicalDrive4294967295)", P::Drive, 4294967295u, 0, ""},
      {R"(\\.\PhysicalDrive4294967296)", P::Other, 0, 0, ""},
      {R"(\\.\PhysicalDrive01)", P::Other, 0, 0, ""},
      {R"(\\.\PhysicalDrive)", P::Other, 0, 0, ""},
      {R"(\\.\PhysicalDrive1x)", P::Other, 0, 0, ""},
      {R"(\\.\d:)", P::Letter, 0, 'D', ""},
      {R"(\\.\D:\)", P::Other, 0, 0, ""},
      {R"(\\.\1:)", P::Other, 0, 0, ""},
      {R"(\\?\Volume{0123ABCD-0000-4000-8000-00000000000f})", P::Volume, 0, 0,
       "0123abcd-0000-4000-8000-00000000000f"},
      {R"(\\?\Volume{0123ABCD-0000-4000-8000-00000000000f}\)", P::Other, 0, 0, ""},
      {R"(\\?\Volume{0123ABCD-0000-4000-8000-00000000000g})", P::Other, 0, 0, ""},
      {R"(\\?\Volume{0123ABCD00000-4000-8000-00000000000f})", P::Other, 0, 0, ""},
      {R"(D:)", P::Other, 0, 0, ""},
      {"/dev/sda", P::Other, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const platform::DevicePath parsed = platform::parse_device_path(c.path);
    EXPECT_EQ(parsed.kind, c.kind);
    EXPECT_EQ(parsed.number, c.number);
    EXPECT_EQ(parsed.letter, c.letter);
    EXPECT_EQ(parsed.guid, c.guid);
  }
  EXPECT_EQ(platform::parse_root_path(R"(E:\)").letter, 'E');
  EXPECT_EQ(platform::parse_root_path(R"(\\.\e:\)").letter, 'E');
  EXPECT_EQ(platform::parse_root_path(R"(\\?\Volume{0123abcd-0000-4000-8000-00000000000f}\)").kind,
            P::Volume);
  EXPECT_EQ(platform::parse_root_path(R"(E:)").kind, P::Other);
  EXPECT_EQ(platform::parse_root_path(R"(\\.\PhysicalDrive0\)").kind, P::Other);
}

TEST(DeviceCalls, OpenChecksItsArguments) {
  TestMachine machine(machine_file("two-disks.cfg"));
  struct Case {
    const char* what;
    DWORD access, share, creation, flags;
    DWORD error;
  };
  const Case cases[] = {
      {"queries only", 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0},
      {"unbuffered write-through", GENERIC_READ | GENERIC_WRITE, 7, OPEN_EXISTING,
       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, 0},
      {"creating", GENERIC_READ, 3, CREATE_ALWAYS, 0, ERROR_NOT_SUPPORTED},
      {"overlapped", GENERIC_READ, 3, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0},
      {"all access", 0x10000000, 3, OPEN_EXISTING, 0, ERROR_NOT_SUPPORTED},
      {"unknown sharing", GENERIC_READ, 8, OPEN_EXISTING, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Win32Handle handle(
        CreateFileA(disk0, c.access, c.share, nullptr, c.creation, c.flags, nullptr));
    EXPECT_EQ(handle.valid(), c.error == 0);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST(DeviceCalls, HandlesAreNeverReused) {
  TestMachine machine(machine_file("two-disks.cfg"));
  HANDLE first = CreateFileA(disk0, GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_FALSE(CloseHandle(first));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  Win32Handle second = Win32Handle::open(disk0);
  EXPECT_NE(second.get(), first);

  char buffer[512];
  DWORD count = 7;
  EXPECT_FALSE(ReadFile(first, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // A device handle is no volume walk.
  EXPECT_FALSE(FindVolumeClose(second.get()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(DeviceCalls, SetFilePointerKeepsThePosition) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk0);
  ASSERT_TRUE(disk.valid());
  auto where = [&] {
    LONG high = 0;
    const DWORD low = SetFilePointer(disk.get(), 0, &high, FILE_CURRENT);
    return (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  };

  SetLastError(ERROR_GEN_FAILURE);
  EXPECT_EQ(SetFilePointer(disk.get(), 512, nullptr, FILE_BEGIN), 512u);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  EXPECT_EQ(SetFilePointer(disk.get(), -1024, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(where(), 512u);
  EXPECT_EQ(SetFilePointer(disk.get(), 0, nullptr, FILE_END), 67108864u);
  EXPECT_EQ(SetFilePointer(disk.get(), 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Both halves: 4 GiB lies past the end, which is no error.
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(disk.get(), 0, &high, FILE_BEGIN), 0u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(where(), 0x100000000ull);
  // Without the high half the new position must fit in 32 bits.
  EXPECT_EQ(SetFilePointer(disk.get(), 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(where(), 0x100000000ull);
  // A low half of all ones is a position, told apart from a failure by the last error.
  high = 0;
  EXPECT_EQ(SetFilePointer(disk.get(), -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  EXPECT_EQ(where(), 0xFFFFFFFFull);

  LARGE_INTEGER distance, moved;
  distance.QuadPart = -4096;
  ASSERT_TRUE(SetFilePointerEx(disk.get(), distance, &moved, FILE_END));
  EXPECT_EQ(moved.QuadPart, 67108864 - 4096);
  distance.QuadPart = -67108865;
  EXPECT_FALSE(SetFilePointerEx(disk.get(), distance, &moved, FILE_END));
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
}

TEST(DeviceCalls, TransfersAreWholeSectorsInsideTheDevice) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
  Win32Handle stick = Win32Handle::open(disk1, GENERIC_READ | GENERIC_WRITE);
  Win32Handle readOnly = Win32Handle::open(disk0, GENERIC_READ);
  Win32Handle queries = Win32Handle::open(disk0, 0);
  ASSERT_TRUE(disk.valid() && stick.valid() && readOnly.valid() && queries.valid());
  std::vector<char> buffer(8192, 'x');
  DWORD count = 0;
  struct Case {
    const char* what;
    HANDLE handle;
    bool write;
    std::int64_t position;
    DWORD length;
    BOOL result;
    DWORD error;
    DWORD count;
  };
  const std::int64_t end = 67108864;
  const Case cases[] = {
      {"a whole sector", disk.get(), false, 0, 512, TRUE, 0, 512},
      {"part of a sector", disk.get(), false, 0, 100, FALSE, ERROR_INVALID_PARAMETER, 0},
      {"at a position inside a sector", disk.get(), false, 100, 512, FALSE, ERROR_INVALID_PARAMETER,
       0},
      {"512 bytes of a 4096-byte-sector disk", stick.get(), true, 0, 512, FALSE,
       ERROR_INVALID_PARAMETER, 0},
      {"at the end", disk.get(), false, end, 512, TRUE, 0, 0},
      {"past the end", disk.get(), false, end + 4096, 512, TRUE, 0, 0},
      {"across the end", disk.get(), false, end - 512, 2048, TRUE, 0, 512},
      {"a write across the end", disk.get(), true, end - 512, 1024, FALSE, ERROR_SECTOR_NOT_FOUND,
       0},
      {"a write at the end", disk.get(), true, end, 512, FALSE, ERROR_SECTOR_NOT_FOUND, 0},
      {"nothing", disk.get(), true, end, 0, TRUE, 0, 0},
      {"a write without write access", readOnly.get(), true, 0, 512, FALSE, ERROR_ACCESS_DENIED, 0},
      {"a read with query access", queries.get(), false, 0, 512, FALSE, ERROR_ACCESS_DENIED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LARGE_INTEGER to;
    to.QuadPart = c.position;
    ASSERT_TRUE(SetFilePointerEx(c.handle, to, nullptr, FILE_BEGIN));
    count = 99;
    const BOOL result = c.write ? WriteFile(c.handle, buffer.data(), c.length, &count, nullptr)
                                : ReadFile(c.handle, buffer.data(), c.length, &count, nullptr);
    EXPECT_EQ(result, c.result);
    if (!result) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(count, c.count);
  }
  // The position moves on by what was moved.
  LARGE_INTEGER to, now;
  to.QuadPart = 1024;
  ASSERT_TRUE(SetFilePointerEx(disk.get(), to, nullptr, FILE_BEGIN));
  ASSERT_TRUE(ReadFile(disk.get(), buffer.data(), 1024, &count, nullptr));
  to.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(disk.get(), to, &now, FILE_CURRENT));
  EXPECT_EQ(now.QuadPart, 2048);
}

TEST(DeviceCalls, UnbufferedTransfersNeedAlignedBuffers) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk1, GENERIC_READ | GENERIC_WRITE,
                                       FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH);
  ASSERT_TRUE(disk.valid());
  char* page = static_cast<char*>(VirtualAlloc(nullptr, 3 * 4096, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(page, nullptr);
  DWORD count = 0;
  std::memset(page, 'u', 4096);
  EXPECT_TRUE(WriteFile(disk.get(), page, 4096, &count, nullptr));
  EXPECT_FALSE(WriteFile(disk.get(), page + 512, 4096, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetFilePointer(disk.get(), 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_TRUE(ReadFile(disk.get(), page + 4096, 4096, &count, nullptr));
  EXPECT_EQ(count, 4096u);
  EXPECT_EQ(std::memcmp(page, page + 4096, 4096), 0);
  EXPECT_TRUE(FlushFileBuffers(disk.get()));
  EXPECT_TRUE(VirtualFree(page, 0, MEM_RELEASE));
}

// Overlapped transfers: several in flight, each ending through its own record with the outcome
// the device gives it (here a sector that cannot be written), asked for in any order and again;
// records in use, missing or unknown are refused, and the handle's position stays.
TEST(DeviceCalls, OverlappedTransfersEndThroughTheirRecords) {
  TestMachine machine(R"("drives": [{ "number": 0, "size": 1048576, "unwritable": [[16, 1]] }])");
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(disk.valid());
  constexpr DWORD chunk = 4096; // 8 sectors: the third chunk holds sector 16
  std::vector<char> data(4 * chunk);
  OVERLAPPED records[4];
  std::memset(records, 0, sizeof records);
  for (DWORD i = 0; i < 4; ++i) {
    std::memset(data.data() + i * chunk, 'a' + static_cast<int>(i), chunk);
    records[i].Offset = i * chunk;
    EXPECT_FALSE(WriteFile(disk.get(), data.data() + i * chunk, chunk, nullptr, &records[i]));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  }
  EXPECT_FALSE(WriteFile(disk.get(), data.data(), chunk, nullptr, &records[0]));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "a record in flight is not free";
  for (int round = 0; round < 2; ++round) {
    for (int i = 3; i >= 0; --i) {
      SCOPED_TRACE(i);
      DWORD count = 99;
      const BOOL ok = GetOverlappedResult(disk.get(), &records[i], &count, round == 0);
      EXPECT_EQ(ok, i != 2);
      EXPECT_EQ(count, i != 2 ? chunk : 0u);
      if (i == 2) {
        EXPECT_EQ(GetLastError(), ERROR_WRITE_FAULT);
      }
    }
  }
  std::string expected = std::string(chunk, 'a') + std::string(chunk, 'b') +
                         std::string(chunk, '\0') + std::string(chunk, 'd');
  std::ifstream image(machine.image("disk0.img"), std::ios::binary);
  std::string written(4 * chunk, '\0');
  image.read(written.data(), static_cast<std::streamsize>(written.size()));
  EXPECT_EQ(first_difference(written, expected), "");

  OVERLAPPED unknown;
  std::memset(&unknown, 0, sizeof unknown);
  unknown.Internal = 0x103;
  DWORD count = 0;
  EXPECT_FALSE(GetOverlappedResult(disk.get(), &unknown, &count, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadFile(disk.get(), data.data(), chunk, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "an overlapped handle needs a record";
  unknown.hEvent = disk.get();
  EXPECT_FALSE(ReadFile(disk.get(), data.data(), chunk, &count, &unknown));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "events are not implemented";
  EXPECT_EQ(SetFilePointer(disk.get(), 0, nullptr, FILE_CURRENT), 0u);

  // A read in flight when the handle is closed ends before the close does.
  std::vector<char> into(chunk);
  OVERLAPPED read;
  std::memset(&read, 0, sizeof read);
  read.Offset = chunk;
  EXPECT_FALSE(ReadFile(disk.get(), into.data(), chunk, nullptr, &read));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  disk.reset();
  EXPECT_EQ(read.Internal, 0u);
  EXPECT_EQ(read.InternalHigh, chunk);
  EXPECT_EQ(std::string(into.data(), chunk), std::string(chunk, 'b'));
}

TEST(DeviceCalls, VirtualAllocGivesZeroedPages) {
  char* block = static_cast<char*>(VirtualAlloc(nullptr, 65536 * 512, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[65536 * 512 - 1], 0);
  block[12345] = 1;
  EXPECT_FALSE(VirtualFree(block, 4096, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);

  char somewhere = 0;
  EXPECT_EQ(VirtualAlloc(&somewhere, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  EXPECT_NE(reserved, nullptr);
  EXPECT_TRUE(VirtualFree(reserved, 0, MEM_RELEASE));
}

// The flags of the mapping of this process that holds `address`, as /proc/self/smaps gives them,
// with a blank after each ("VmFlags: rd wr mr mw me ac hg "); empty when none holds it.
std::string mapping_flags(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
        (head >> std::hex >> from >> dash >> to) && dash == '-')
      inside = from <= at && at < to;
    else if (inside && line.rfind("VmFlags:", 0) == 0)
      return line + " ";
  }
  return std::string();
}

// Large pages are the kernel's transparent huge pages: blocks of whole ones, each on a boundary
// of one and advised for them, whatever was allocated before; other blocks are small pages.
TEST(DeviceCalls, VirtualAllocGivesLargePagesAsWindowsDoes) {
  const std::size_t huge = GetLargePageMinimum();
  if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage")) {
    EXPECT_EQ(huge, 0u);
    EXPECT_EQ(
        VirtualAlloc(nullptr, 2 << 20, MEM_COMMIT | MEM_RESERVE | MEM_LARGE_PAGES, PAGE_READWRITE),
        nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    GTEST_SKIP() << "this kernel has no transparent huge pages";
  }
  ASSERT_GE(huge, 2u << 20);
  ASSERT_EQ(huge & (huge - 1), 0u);
  const DWORD large = MEM_COMMIT | MEM_RESERVE | MEM_LARGE_PAGES;
  void* small = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE); // moves the next ones
  ASSERT_NE(small, nullptr);
  for (const std::size_t size : {huge, 3 * huge, 16 * huge}) {
    char* block = static_cast<char*>(VirtualAlloc(nullptr, size, large, PAGE_READWRITE));
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % huge, 0u) << size;
    EXPECT_NE(mapping_flags(block).find(" hg "), std::string::npos) << mapping_flags(block);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[size - 1], 0);
    block[size - 1] = 1;
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE)) << size;
    EXPECT_EQ(mapping_flags(block).find(" hg "), std::string::npos) << "still mapped";
  }
  char* plain = static_cast<char*>(VirtualAlloc(nullptr, 2 * huge, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(mapping_flags(plain).find(" hg "), std::string::npos) << mapping_flags(plain);
  EXPECT_TRUE(VirtualFree(plain, 0, MEM_RELEASE));
  // As on Windows: whole large pages, reserved and committed at once.
  EXPECT_EQ(VirtualAlloc(nullptr, huge + 4096, large, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualAlloc(nullptr, huge, MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(VirtualFree(small, 0, MEM_RELEASE));
}

TEST(DeviceCalls, ErrorModeIsKept) {
  const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(SetErrorMode(before), SEM_FAILCRITICALERRORS);
}

TEST(DeviceCalls, NewErrorCodesHaveTexts) {
  for (DWORD code : {ERROR_NO_MORE_FILES, ERROR_SECTOR_NOT_FOUND, ERROR_FILENAME_EXCED_RANGE,
                     ERROR_INVALID_ADDRESS, ERROR_UNRECOGNIZED_VOLUME, ERROR_MORE_DATA}) {
    char* text = nullptr;
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr),
              2u)
        << code;
    LocalFree(text);
  }
}
