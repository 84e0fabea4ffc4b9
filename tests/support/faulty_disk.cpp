// A small FUSE file system with one file, "disk", over an image file, for a loop device whose
// requests fail as a real disk's do: every request that the loop device makes of it (the kernel
// merges the transfers in flight into such requests) fails whole when it touches a bad sector.
// Tests mount it, put a loop device over the file and wipe that.
//
//   cvw_faulty_disk --image PATH --mount FOLDER [--sector BYTES]
//       [--bad-read RUNS] [--bad-write RUNS] [--once-read RUNS] [--once-write RUNS]
//       [--short-read BYTES] [--short-write BYTES] [--delay-ms N] [--log PATH]
//
// RUNS is a list of first+count sector runs ("1000+1,1500+2"), counted in sectors of --sector
// bytes (512 unless given). A run given with --once-* fails the first request that touches it,
// then works. BYTES is a list of byte offsets ("51400,1048777"): a request that begins before one
// of them and reaches past it moves only the bytes before it and answers with their count, as a
// file system served over a network may; the bad runs count only for the bytes it moves, and the
// request for the rest, which begins at that byte, moves them all. Each request takes --delay-ms
// milliseconds, one at a time, and is appended to the --log file: the steady clock's nanoseconds
// when it began and ended, "read" or "write", its first sector, its sector count, "ok", "short"
// or "failed". Transfers go straight to the image (direct input and output, no cache of the
// file's pages), and the server runs in the foreground until it is unmounted or ended.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Run {
  std::uint64_t first;
  std::uint64_t count;
};

struct Disk {
  int image = -1;
  std::uint64_t size = 0;
  std::uint64_t sector = 512;
  std::vector<Run> badRead, badWrite, onceRead, onceWrite;
  std::vector<std::uint64_t> shortRead, shortWrite; // byte offsets
  unsigned delayMs = 0;
  int log = -1;
  std::mutex mutex;
};

Disk disk;

const char* const name = "/disk";

bool parse_runs(const char* text, std::vector<Run>& runs) {
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const std::size_t plus = item.find('+');
    if (plus == std::string::npos)
      return false;
    runs.push_back({std::strtoull(item.c_str(), nullptr, 10),
                    std::strtoull(item.c_str() + plus + 1, nullptr, 10)});
  }
  return true;
}

bool parse_bytes(const char* text, std::vector<std::uint64_t>& bytes) {
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    char* end = nullptr;
    bytes.push_back(std::strtoull(item.c_str(), &end, 10));
    if (end == item.c_str() || *end != '\0')
      return false;
  }
  return true;
}

// The bytes of a request of `length` bytes at `offset` that are moved: those before the first
// short byte that lies inside it after its first byte.
std::size_t moved_length(bool write, std::uint64_t offset, std::size_t length) {
  std::size_t moved = length;
  for (const std::uint64_t at : write ? disk.shortWrite : disk.shortRead)
    if (offset < at && at - offset < moved)
      moved = static_cast<std::size_t>(at - offset);
  return moved;
}

bool touches(const Run& run, std::uint64_t offset, std::uint64_t length) {
  const std::uint64_t first = offset / disk.sector;
  const std::uint64_t end = (offset + length + disk.sector - 1) / disk.sector;
  return length > 0 && run.first < end && first < run.first + run.count;
}

// Whether a request of `length` bytes at `offset` fails; runs that fail once are used up.
bool fails(bool write, std::uint64_t offset, std::uint64_t length) {
  for (const Run& run : write ? disk.badWrite : disk.badRead)
    if (touches(run, offset, length))
      return true;
  std::vector<Run>& once = write ? disk.onceWrite : disk.onceRead;
  bool failed = false;
  for (auto it = once.begin(); it != once.end();) {
    if (touches(*it, offset, length)) {
      failed = true;
      it = once.erase(it);
    } else {
      ++it;
    }
  }
  return failed;
}

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One request: its delay, its failure or its bytes, its line in the log. Returns what FUSE
// expects: the bytes moved, or minus an errno.
int request(bool write, char* buffer, std::size_t length, off_t offset) {
  std::lock_guard<std::mutex> lock(disk.mutex);
  const long long began = now_ns();
  if (disk.delayMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(disk.delayMs));
  int result = -EIO;
  const std::size_t moved = moved_length(write, static_cast<std::uint64_t>(offset), length);
  if (!fails(write, static_cast<std::uint64_t>(offset), moved)) {
    const ssize_t n = write ? pwrite(disk.image, buffer, moved, offset)
                            : pread(disk.image, buffer, moved, offset);
    result = n < 0 ? -errno : static_cast<int>(n);
  }
  if (disk.log >= 0) {
    char line[160];
    const int n = std::snprintf(line, sizeof line, "%lld %lld %s %llu %llu %s\n", began, now_ns(),
                                write ? "write" : "read",
                                static_cast<unsigned long long>(offset) / disk.sector,
                                static_cast<unsigned long long>(length) / disk.sector,
                                result < 0                           ? "failed"
                                : result == static_cast<int>(length) ? "ok"
                                                                     : "short");
    if (n > 0 && ::write(disk.log, line, static_cast<std::size_t>(n)) < 0) {
      // The log is for the tests; the request is served all the same.
    }
  }
  return result;
}

void* on_init(fuse_conn_info* conn, fuse_config* config) {
  // One request of the file system for each request of the loop device (at most 1 MiB).
  conn->max_write = 1u << 20;
  config->direct_io = 1;
  config->kernel_cache = 0;
  return nullptr;
}

int on_getattr(const char* path, struct stat* status, fuse_file_info*) {
  std::memset(status, 0, sizeof *status);
  if (std::strcmp(path, "/") == 0) {
    status->st_mode = S_IFDIR | 0755;
    status->st_nlink = 2;
    return 0;
  }
  if (std::strcmp(path, name) != 0)
    return -ENOENT;
  status->st_mode = S_IFREG | 0600;
  status->st_nlink = 1;
  status->st_size = static_cast<off_t>(disk.size);
  return 0;
}

int on_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0)
    return -ENOENT;
  fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
  fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
  fill(buffer, name + 1, nullptr, 0, fuse_fill_dir_flags{});
  return 0;
}

int on_open(const char* path, fuse_file_info* file) {
  if (std::strcmp(path, name) != 0)
    return -ENOENT;
  file->direct_io = 1;
  return 0;
}

int on_read(const char*, char* buffer, std::size_t length, off_t offset, fuse_file_info*) {
  if (static_cast<std::uint64_t>(offset) >= disk.size)
    return 0;
  length = std::min<std::uint64_t>(length, disk.size - static_cast<std::uint64_t>(offset));
  return request(false, buffer, length, offset);
}

int on_write(const char*, const char* data, std::size_t length, off_t offset, fuse_file_info*) {
  if (static_cast<std::uint64_t>(offset) + length > disk.size)
    return -ENOSPC;
  return request(true, const_cast<char*>(data), length, offset);
}

int on_fsync(const char*, int, fuse_file_info*) { return fdatasync(disk.image) == 0 ? 0 : -errno; }

int on_truncate(const char*, off_t size, fuse_file_info*) {
  return static_cast<std::uint64_t>(size) == disk.size ? 0 : -EPERM;
}

} // namespace

int main(int argc, char** argv) {
  const char* image = nullptr;
  const char* mount = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    bool ok = true;
    if (option == "--image")
      image = value;
    else if (option == "--mount")
      mount = value;
    else if (option == "--sector")
      disk.sector = std::max<std::uint64_t>(std::strtoull(value, nullptr, 10), 1);
    else if (option == "--bad-read")
      ok = parse_runs(value, disk.badRead);
    else if (option == "--bad-write")
      ok = parse_runs(value, disk.badWrite);
    else if (option == "--once-read")
      ok = parse_runs(value, disk.onceRead);
    else if (option == "--once-write")
      ok = parse_runs(value, disk.onceWrite);
    else if (option == "--short-read")
      ok = parse_bytes(value, disk.shortRead);
    else if (option == "--short-write")
      ok = parse_bytes(value, disk.shortWrite);
    else if (option == "--delay-ms")
      disk.delayMs = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
    else if (option == "--log")
      disk.log = ::open(value, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    else
      ok = false;
    if (!ok) {
      std::fprintf(stderr, "cvw_faulty_disk: cannot take %s %s\n", option.c_str(), value);
      return 2;
    }
  }
  if (image == nullptr || mount == nullptr) {
    std::fprintf(stderr, "cvw_faulty_disk: --image and --mount are needed\n");
    return 2;
  }
  disk.image = ::open(image, O_RDWR | O_CLOEXEC);
  struct stat status;
  if (disk.image < 0 || fstat(disk.image, &status) != 0) {
    std::fprintf(stderr, "cvw_faulty_disk: cannot open %s: %s\n", image, std::strerror(errno));
    return 1;
  }
  disk.size = static_cast<std::uint64_t>(status.st_size);
  fuse_operations operations{};
  operations.init = on_init;
  operations.getattr = on_getattr;
  operations.readdir = on_readdir;
  operations.open = on_open;
  operations.read = on_read;
  operations.write = on_write;
  operations.fsync = on_fsync;
  operations.truncate = on_truncate;
  // In the foreground, one request at a time.
  char program[] = "cvw_faulty_disk";
  char foreground[] = "-f";
  char single[] = "-s";
  std::vector<char*> arguments{program, foreground, single, const_cast<char*>(mount), nullptr};
  return fuse_main(static_cast<int>(arguments.size() - 1), arguments.data(), &operations, nullptr);
}
