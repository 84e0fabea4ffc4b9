// Files named in a folder opened once, and the guarded walk that finds the folder: the program
// runs as root, and no user but root, its own and the operator may turn a path elsewhere.
#include "Crt.h"

#include "ElevatedOperator.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Another user than root and the tests' own: the one that setpriv-based tests use too.
constexpr uid_t other_user = 65534;

struct stat status_of(const std::string& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status;
}

std::string text_of(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void make_folder(const std::string& path, mode_t mode, uid_t owner = 0) {
  fs::create_directories(path);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
  ASSERT_EQ(::chown(path.c_str(), owner, owner), 0) << path;
}

// A descriptor closed when it goes.
class Folder {
public:
  explicit Folder(int fd) : fd(fd) {}
  ~Folder() {
    if (fd >= 0)
      ::close(fd);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int get() const { return fd; }

private:
  int fd;
};

// The real path of the folder open at `fd`.
std::string path_of(int fd) { return fs::read_symlink("/proc/self/fd/" + std::to_string(fd)); }

} // namespace

// Each step of a path must be one that only root and the program's own user may change: the
// folder holding it theirs, and nobody else may write it, unless it is sticky and the step is
// theirs. A link on the way is followed where it stands so. Whose folders count is asked as
// root, which alone can hand folders to another user.
TEST(GuardedWalk, OnlyAWayNoOtherUserMayChangeIsOpened) {
  if (geteuid() != 0)
    GTEST_SKIP() << "folders of another user need root";
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  ASSERT_EQ(::chmod(top.c_str(), 0755), 0);
  make_folder(top + "/root", 0755);
  make_folder(top + "/theirs", 0755, other_user);
  make_folder(top + "/theirs/inner", 0755);
  make_folder(top + "/open", 0777);
  make_folder(top + "/group", 0775);
  make_folder(top + "/sticky", 01777);
  std::ofstream(top + "/sticky/mine.cfg") << "x";
  std::ofstream(top + "/sticky/their.cfg") << "x";
  ASSERT_EQ(::chown((top + "/sticky/their.cfg").c_str(), other_user, other_user), 0);
  fs::create_directory_symlink(top + "/root", top + "/to root");
  fs::create_directory_symlink("root", top + "/relative");
  fs::create_directory_symlink(top + "/root", top + "/theirs/to root");
  fs::create_directory_symlink(top + "/circle b", top + "/circle a");
  fs::create_directory_symlink(top + "/circle a", top + "/circle b");

  const struct {
    const char* name;
    std::string path;
    std::string opened; // the folder opened; empty: refused
    int error;
    std::string changeable;
  } cases[] = {
      {"a folder of root's", top + "/root/log.cfg", top + "/root", 0, ""},
      {"a folder of another user's", top + "/theirs/log.cfg", "", EPERM, top + "/theirs"},
      {"a folder below one of another user's", top + "/theirs/inner/log.cfg", "", EPERM,
       top + "/theirs"},
      {"a folder anyone may write", top + "/open/log.cfg", "", EPERM, top + "/open"},
      {"a folder its group may write", top + "/group/log.cfg", "", EPERM, top + "/group"},
      {"a sticky folder, no file yet", top + "/sticky/new.cfg", top + "/sticky", 0, ""},
      {"a sticky folder, root's file", top + "/sticky/mine.cfg", top + "/sticky", 0, ""},
      {"a sticky folder, another user's file", top + "/sticky/their.cfg", "", EPERM,
       top + "/sticky"},
      {"a link on the way", top + "/to root/log.cfg", top + "/root", 0, ""},
      {"a relative link on the way", top + "/relative/log.cfg", top + "/root", 0, ""},
      {"a link in another user's folder", top + "/theirs/to root/log.cfg", "", EPERM,
       top + "/theirs"},
      {"up and down again", top + "/theirs/../root/./log.cfg", top + "/root", 0, ""},
      {"links in a circle", top + "/circle a/log.cfg", "", ELOOP, ""},
      {"no file name", top + "/root/", "", EISDIR, ""},
      {"a missing folder", top + "/missing/log.cfg", "", ENOENT, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string changeable;
    errno = 0;
    const Folder folder(open_guarded_folder(c.path.c_str(), Trust::ProgramsOwn, changeable));
    if (c.opened.empty()) {
      EXPECT_EQ(folder.get(), -1);
      EXPECT_EQ(errno, c.error) << std::strerror(errno);
    } else {
      ASSERT_NE(folder.get(), -1) << std::strerror(errno);
      EXPECT_EQ(path_of(folder.get()), c.opened);
    }
    EXPECT_EQ(changeable, c.changeable);
  }

  // The operator's folders are trusted where the walk says so, and only there.
  ElevatedOperator operatorAccount(other_user, other_user);
  std::string changeable;
  const Folder theirs(
      open_guarded_folder((top + "/theirs/log.cfg").c_str(), Trust::Operator, changeable));
  EXPECT_EQ(path_of(theirs.get()), top + "/theirs");
  const Folder notTheirs(
      open_guarded_folder((top + "/theirs/log.cfg").c_str(), Trust::ProgramsOwn, changeable));
  EXPECT_EQ(notTheirs.get(), -1);
}

// A relative path is walked from the working folder, which is part of the way too.
TEST(GuardedWalk, ARelativePathStartsAtTheWorkingFolder) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  fs::create_directory(top + "/here");
  const fs::path before = fs::current_path();
  fs::current_path(top);
  std::string changeable;
  const Folder folder(open_guarded_folder("here/log.cfg", Trust::ProgramsOwn, changeable));
  fs::current_path(before);
  ASSERT_NE(folder.get(), -1) << std::strerror(errno);
  EXPECT_EQ(path_of(folder.get()), top + "/here");
}

// The folder once opened is the folder written: a link or another folder put in place of its
// path afterwards leads nothing elsewhere.
TEST(ReplaceFileAt, TheFolderOpenedIsTheFolderWritten) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  fs::create_directory(top + "/share");
  fs::create_directory(top + "/private");
  std::ofstream(top + "/private/victim") << "secret";
  std::string changeable;
  const Folder share(
      open_guarded_folder((top + "/share/log.cfg").c_str(), Trust::ProgramsOwn, changeable));
  ASSERT_NE(share.get(), -1);
  fs::rename(top + "/share", top + "/share.moved");
  fs::create_directory_symlink(top + "/private", top + "/share");
  // A link at the file's name too, to a file and to a name not made yet.
  fs::create_symlink(top + "/private/victim", top + "/share.moved/log.cfg");
  fs::create_symlink(top + "/private/new", top + "/share.moved/other.cfg");

  for (const char* name : {"log.cfg", "other.cfg"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(replace_file_at(share.get(), name, "history", 7, Ownership::Kept), 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(top + "/share.moved/" + name)));
    EXPECT_EQ(text_of(top + "/share.moved/" + name), "history");
  }
  EXPECT_EQ(text_of(top + "/private/victim"), "secret");
  EXPECT_FALSE(fs::exists(top + "/private/new"));
  EXPECT_EQ(std::distance(fs::directory_iterator(top + "/private"), fs::directory_iterator()), 1);
}

// A new file takes the permissions of a new file; one kept takes those of the file it replaces
// (without a set-user or set-group bit) and, for root, its user and group. A replace that
// fails leaves the old file and nothing beside it.
TEST(ReplaceFileAt, OwnershipIsGivenThroughTheNewFile) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  const Folder folder(open_folder(top.c_str()));
  const bool asRoot = geteuid() == 0;
  const uid_t user = asRoot ? other_user : geteuid();
  const gid_t group = asRoot ? other_user : getegid();
  for (const char* name : {"kept.cfg", "new.cfg"}) {
    std::ofstream(top + "/" + name) << "old";
    ASSERT_EQ(::chmod((top + "/" + name).c_str(), 02640), 0);
    ASSERT_EQ(::chown((top + "/" + name).c_str(), user, group), 0);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);

  ASSERT_EQ(replace_file_at(folder.get(), "kept.cfg", "new", 3, Ownership::Kept), 0);
  struct stat kept = status_of(top + "/kept.cfg");
  EXPECT_EQ(kept.st_mode & 07777, 0640u);
  EXPECT_EQ(kept.st_uid, user);
  EXPECT_EQ(kept.st_gid, group);
  EXPECT_EQ(text_of(top + "/kept.cfg"), "new");

  ASSERT_EQ(replace_file_at(folder.get(), "new.cfg", "new", 3, Ownership::New), 0);
  struct stat made = status_of(top + "/new.cfg");
  EXPECT_EQ(made.st_mode & 07777, 0666u & ~mask);
  EXPECT_EQ(made.st_uid, geteuid());

  fs::create_directory(top + "/a folder");
  errno = 0;
  EXPECT_EQ(replace_file_at(folder.get(), "a folder", "x", 1, Ownership::Kept), -1);
  EXPECT_NE(errno, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(top), fs::directory_iterator()), 3);
}

// A program that may not give the file away still gives it the permissions. As root, the case
// runs in a child that has become an ordinary user.
TEST(ReplaceFileAtDeathTest, PermissionsAreGivenWhereTheOwnerCannotBe) {
  TempDir dir;
  const std::string file = dir.file("log.cfg");
  std::ofstream(file) << "x";
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  }
  EXPECT_EXIT(
      {
        if (asRoot && (setgid(other_user) != 0 || setuid(other_user) != 0))
          std::_Exit(2);
        const int folder = open_folder(dir.path().c_str());
        const int result = replace_file_at(folder, "log.cfg", "y", 1, Ownership::Kept);
        const struct stat status = status_of(file);
        std::_Exit(
            result == 0 && (status.st_mode & 07777) == 0640 && status.st_uid == geteuid() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// What stands at a name is told without following a link; a file is opened for writing only
// when it is a regular file, emptied, or made anew.
TEST(FilesAt, LinksAndOddFilesAreToldNotFollowed) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  const Folder folder(open_folder(top.c_str()));
  std::ofstream(top + "/file") << "old text";
  std::ofstream(top + "/target") << "target";
  fs::create_symlink(top + "/target", top + "/link");
  fs::create_directory(top + "/folder");
  ASSERT_EQ(mkfifo((top + "/pipe").c_str(), 0600), 0);
  const struct {
    const char* name;
    Standing standing;
    int writing; // 0: opened for writing, else errno
    std::string link;
  } cases[] = {
      {"file", Standing::RegularFile, 0, ""},
      {"missing", Standing::Nothing, 0, ""},
      {"link", Standing::Link, ELOOP, top + "/target"},
      {"folder", Standing::Other, EINVAL, ""},
      {"pipe", Standing::Other, EINVAL, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Standing standing = Standing::Other;
    ASSERT_EQ(standing_at(folder.get(), c.name, standing), 0);
    EXPECT_EQ(standing, c.standing);
    std::string target;
    EXPECT_EQ(read_link_at(folder.get(), c.name, target), c.link.empty() ? -1 : 0);
    EXPECT_EQ(target, c.link);
    errno = 0;
    const int fd = open_at_for_writing(folder.get(), c.name);
    if (c.writing != 0) {
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, c.writing);
      continue;
    }
    ASSERT_NE(fd, -1) << std::strerror(errno);
    EXPECT_EQ(::write(fd, "new", 3), 3);
    ::close(fd);
    EXPECT_EQ(text_of(top + "/" + c.name), "new");
  }
  EXPECT_EQ(text_of(top + "/target"), "target");

  // Renamed as it stands, never onto a name that is taken.
  EXPECT_EQ(rename_at(folder.get(), "link", "link.bad"), 0);
  EXPECT_TRUE(fs::is_symlink(top + "/link.bad"));
  errno = 0;
  EXPECT_EQ(rename_at(folder.get(), "file", "target"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(text_of(top + "/target"), "target");
}
