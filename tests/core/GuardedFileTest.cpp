#include "GuardedFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string text_of(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

// Whether a save can succeed is told before it is tried, with the reason when not; asking
// leaves nothing behind. A link at the name can be replaced (it is never followed); what is no
// regular file cannot.
TEST(GuardedFile, CanReplaceSaysWhyNot) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  ASSERT_EQ(mkfifo((top + "/pipe").c_str(), 0600), 0);
  fs::create_symlink(top + "/pipe", top + "/link");
  std::ofstream(top + "/file") << "x";
  fs::create_directory(top + "/theirs");
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    ASSERT_EQ(chown((top + "/theirs").c_str(), 65534, 65534), 0);
  }
  const struct {
    const char* name;
    GuardedFile file;
    std::string why; // empty: it can be replaced
  } cases[] = {
      {"a file", GuardedFile::in_folder(top, "file"), ""},
      {"nothing yet", GuardedFile::in_folder(top, "new"), ""},
      {"a link", GuardedFile::in_folder(top, "link"), ""},
      {"a pipe", GuardedFile::in_folder(top, "pipe"), "it is not a regular file"},
      {"a missing folder", GuardedFile::in_folder(top + "/missing", "file"), g_strerror(ENOENT)},
      {"a missing folder, guarded", GuardedFile::guarded(top + "/missing/file", Trust::ProgramsOwn),
       g_strerror(ENOENT)},
      {"another user's folder", GuardedFile::guarded(top + "/theirs/file", Trust::ProgramsOwn),
       asRoot ? "another user may change the folder " + top + "/theirs" : ""},
      {"refused", GuardedFile::refused(top + "/file", "it is not wanted"), "it is not wanted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    EXPECT_EQ(c.file.can_replace(why), c.why.empty());
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(c.file.has_folder(), c.why.empty() || c.why == "it is not a regular file");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(top), fs::directory_iterator()), 4);
  EXPECT_TRUE(fs::is_fifo(top + "/pipe"));
}

// Reading takes only a regular file at the name, never what a link there leads to; a rename
// moves what stands at the name as it is, and never onto a name that is taken.
TEST(GuardedFile, ReadsAndRenamesWhatStandsAtTheName) {
  TempDir dir;
  const std::string top = fs::canonical(dir.path()).string();
  std::ofstream(top + "/file") << "text";
  fs::create_symlink(top + "/file", top + "/link");
  const GuardedFile file = GuardedFile::in_folder(top, "file");
  const GuardedFile link = GuardedFile::in_folder(top, "link");
  std::string text = "unchanged";
  EXPECT_TRUE(file.read(text));
  EXPECT_EQ(text, "text");
  text = "unchanged";
  EXPECT_FALSE(link.read(text));
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(link.standing(), Standing::Link);
  EXPECT_EQ(GuardedFile().standing(), Standing::Other);

  EXPECT_TRUE(link.rename("link.bad"));
  EXPECT_TRUE(fs::is_symlink(top + "/link.bad"));
  EXPECT_EQ(link.standing(), Standing::Nothing);
  EXPECT_FALSE(file.rename("link.bad"));
  EXPECT_EQ(text_of(top + "/file"), "text");

  // The folder opened is the one written, whatever its path leads to now.
  fs::rename(top, top + ".moved");
  fs::create_directory(top);
  ASSERT_TRUE(file.replace("new", 3, Ownership::Kept));
  EXPECT_EQ(text_of(top + ".moved/file"), "new");
  EXPECT_FALSE(fs::exists(top + "/file"));
  fs::remove_all(top + ".moved");
}
