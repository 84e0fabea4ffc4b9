// A file whose requests fail at bad sectors, as a disk's do, for a loop device over it: the FUSE
// file system of faulty_disk.cpp, mounted in a folder of its own over an image there, for the
// life of the object. It needs root and /dev/fuse; `why_not` says why there is none, so that a
// test can skip. The loop device over it must go first (declare it after this object).
#pragma once

#include "TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class FaultyDisk {
public:
  // What fails, in sectors of `sector` bytes, as runs "first+count,first+count"; the byte
  // offsets "51400,1048777" that a request reaching past one of them stops short at, moving the
  // bytes before it (see faulty_disk.cpp); how long each request takes; whether the requests are
  // written down (log()).
  struct Faults {
    unsigned sector = 512;
    std::string badRead, badWrite, onceRead, onceWrite;
    std::string shortRead, shortWrite;
    unsigned delayMs = 0;
    bool logged = false;
  };

  FaultyDisk(std::uint64_t bytes, const Faults& faults) {
#ifndef CVW_FAULTY_DISK
    whyNot_ = "built without the FUSE file system";
    (void)bytes;
    (void)faults;
#else
    if (geteuid() != 0) {
      whyNot_ = "not root: mounting a FUSE file system and a loop device need root";
      return;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      whyNot_ = "no /dev/fuse here";
      return;
    }
    mkdir(mountPoint.c_str(), 0755);
    std::ofstream(image_, std::ios::binary).close();
    if (truncate(image_.c_str(), static_cast<off_t>(bytes)) != 0) {
      whyNot_ = "cannot make the image " + image_;
      return;
    }
    std::vector<std::string> arguments{CVW_FAULTY_DISK,
                                       "--image",
                                       image_,
                                       "--mount",
                                       mountPoint,
                                       "--sector",
                                       std::to_string(faults.sector)};
    const std::pair<const char*, const std::string*> runs[] = {
        {"--bad-read", &faults.badRead},     {"--bad-write", &faults.badWrite},
        {"--once-read", &faults.onceRead},   {"--once-write", &faults.onceWrite},
        {"--short-read", &faults.shortRead}, {"--short-write", &faults.shortWrite}};
    for (const auto& [option, list] : runs) {
      if (!list->empty()) {
        arguments.push_back(option);
        arguments.push_back(*list);
      }
    }
    if (faults.delayMs > 0) {
      arguments.push_back("--delay-ms");
      arguments.push_back(std::to_string(faults.delayMs));
    }
    if (faults.logged) {
      arguments.push_back("--log");
      arguments.push_back(log_);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawn(&server, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      server = -1;
      whyNot_ = "cannot start " + arguments[0];
      return;
    }
    // Up once the file shows in the mount with its size.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    struct stat status;
    while (!(stat(file().c_str(), &status) == 0 &&
             static_cast<std::uint64_t>(status.st_size) == bytes)) {
      int ended = 0;
      if (waitpid(server, &ended, WNOHANG) == server) {
        server = -1;
        whyNot_ = "the FUSE file system did not come up: " + text_of(output);
        return;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        whyNot_ = "the FUSE file system did not come up in time: " + text_of(output);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
#endif
  }

  ~FaultyDisk() {
    if (server <= 0)
      return;
    if (umount2(mountPoint.c_str(), 0) != 0)
      umount2(mountPoint.c_str(), MNT_DETACH);
    // The server ends with its mount; one that does not is made to.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(server, &status, WNOHANG) != server) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(server, SIGKILL);
        waitpid(server, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  FaultyDisk(const FaultyDisk&) = delete;
  FaultyDisk& operator=(const FaultyDisk&) = delete;

  // Empty when the file is there; else why it is not.
  const std::string& why_not() const { return whyNot_; }
  // The file in the mount, for the loop device.
  std::string file() const { return mountPoint + "/disk"; }
  // The image behind it, as the requests that went well left it.
  const std::string& image() const { return image_; }
  // The requests so far, one a line (see faulty_disk.cpp), when they are written down.
  std::string log() const { return text_of(log_); }

private:
  static std::string text_of(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
  }

  TempDir folder;
  std::string mountPoint = folder.file("mnt");
  std::string image_ = folder.file("disk.img");
  std::string log_ = folder.file("requests.txt");
  std::string output = folder.file("server.txt");
  std::string whyNot_;
  pid_t server = -1;
};
