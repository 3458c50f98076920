// The folder of this run for fetched files: private, made anew, never writing or removing
// through a link, and gone after the clean-up.

#include "text/PrivateFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "support/Files.h"
#include "text/TextUtils.h"

namespace pelmar {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ReadFile;
using test::WriteFile;

// A scratch folder of the test's own (not the private folder itself).
class PrivateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = TemporaryFolder() + "pelmar-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Scratch = pattern + "/";
  }
  void TearDown() override { fs::remove_all(Scratch); }
  std::string Scratch;
};

TEST_F(PrivateFolderTest, ParentIsTheRuntimeFolderOnlyWhenItIsPrivate) {
  fs::create_directories(Scratch + "open");
  fs::create_directories(Scratch + "closed");
  ::chmod((Scratch + "open").c_str(), 0755);
  ::chmod((Scratch + "closed").c_str(), 0700);
  fs::create_symlink(Scratch + "closed", Scratch + "link");
  WriteFile(Scratch + "file", "");
  const struct {
    std::optional<std::string> Runtime;  // XDG_RUNTIME_DIR, when set
    std::string Parent;
  } cases[] = {
      {Scratch + "closed", Scratch + "closed/"},
      {std::nullopt, TemporaryFolder()},
      {"relative/run", TemporaryFolder()},
      {Scratch + "open", TemporaryFolder()},  // others may enter
      {Scratch + "link", TemporaryFolder()},
      {Scratch + "file", TemporaryFolder()},
      {Scratch + "missing", TemporaryFolder()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrivateFolderParent(c.Runtime ? c.Runtime->c_str() : nullptr), c.Parent)
        << c.Runtime.value_or("(unset)");
  }
}

TEST_F(PrivateFolderTest, PrivateNeverThroughALinkAndRemovedWithoutFollowingOne) {
  const std::string folder = PrivateFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(PrivateFolder(), folder) << "one folder for the run";
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_EQ(info.st_uid, ::geteuid());

  // Whatever stands where a fetched file goes and is not a file goes first, unfollowed.
  const std::string outsideFile = Scratch + "victim.txt";
  const std::string outsideFolder = Scratch + "keep/";
  WriteFile(outsideFile, "mine");
  fs::create_directories(outsideFolder);
  WriteFile(outsideFolder + "inner.txt", "inner");
  fs::create_symlink(outsideFile, folder + "readme.txt");
  fs::create_directories(folder + "notes.txt/deep");
  EXPECT_EQ(PrivateFilePath("readme.txt"), folder + "readme.txt");
  EXPECT_FALSE(fs::is_symlink(folder + "readme.txt"));
  EXPECT_EQ(PrivateFilePath("notes.txt"), folder + "notes.txt");
  EXPECT_FALSE(Exists(folder + "notes.txt"));
  WriteFile(folder + "kept.txt", "ours");
  EXPECT_EQ(PrivateFilePath("kept.txt"), folder + "kept.txt");
  EXPECT_EQ(ReadFile(folder + "kept.txt"), "ours") << "a file of ours stays to be replaced";
  fs::create_symlink(outsideFolder, folder + "viewer");
  EXPECT_EQ(PrivateFilePath("logo.gif", "viewer"), folder + "viewer/logo.gif");
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder + "viewer")));
  EXPECT_EQ(ReadFile(outsideFile), "mine");

  // The clean-up at exit: links inside are removed, what they lead to stays.
  fs::create_symlink(outsideFile, folder + "viewer/to-file");
  fs::create_symlink(outsideFolder, folder + "to-folder");
  WriteFile(folder + "viewer/logo.gif", "gif");
  RemovePrivateFolder();
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(ReadFile(outsideFile), "mine");
  EXPECT_EQ(ReadFile(outsideFolder + "inner.txt"), "inner");

  // The next one is a new folder, never the old name.
  const std::string next = PrivateFolder();
  EXPECT_NE(next, folder);
  EXPECT_TRUE(Exists(next));
  RemovePrivateFolder();
  EXPECT_FALSE(Exists(next));
}

}  // namespace
}  // namespace pelmar
