#include "Crt.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

struct stat status_of(const std::string& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status;
}

} // namespace

// The permissions and the owner are given to the file that stands at the path itself, one of
// its own. Whoever can write its folder may have put a link there, or another name of a file
// that is not theirs: neither is followed, and what they lead to keeps its permissions.
TEST(KeepFileAttributes, OnlyAFileOfItsOwnIsChanged) {
  TempDir dir;
  const std::string file = dir.file("log.cfg");
  const std::string other = dir.file("other");
  std::ofstream(file) << "x";
  std::ofstream(other) << "y";
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(other.c_str(), 0600), 0);
  const uid_t user = geteuid();
  const gid_t group = getegid();

  EXPECT_EQ(keep_file_attributes(file.c_str(), 0664, user, group), 0);
  EXPECT_EQ(status_of(file).st_mode & 07777, 0664u);

  std::filesystem::create_symlink(other, dir.file("link"));
  ASSERT_EQ(::link(other.c_str(), dir.file("second name").c_str()), 0);
  const struct {
    const char* name;
    int error;
  } refused[] = {{"link", ELOOP}, {"second name", EINVAL}, {".", EINVAL}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.name);
    errno = 0;
    EXPECT_EQ(keep_file_attributes(dir.file(r.name).c_str(), 0666, user, group), -1);
    EXPECT_EQ(errno, r.error);
  }
  EXPECT_EQ(status_of(other).st_mode & 07777, 0600u);
}

// A program that may not give a file away still sets its permissions, and says what it could
// not do. As root, the case runs in a child that has become an ordinary user.
TEST(KeepFileAttributesDeathTest, PermissionsAreSetWhereTheOwnerCannotBe) {
  TempDir dir;
  const std::string file = dir.file("log.cfg");
  std::ofstream(file) << "x";
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  }
  EXPECT_EXIT(
      {
        if (asRoot && (setgid(65534) != 0 || setuid(65534) != 0))
          std::_Exit(2);
        errno = 0;
        const int result = keep_file_attributes(file.c_str(), 0640, 0, 0);
        std::_Exit(result == -1 && errno == EPERM && (status_of(file).st_mode & 07777) == 0640 ? 0
                                                                                               : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
