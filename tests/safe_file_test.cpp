// Replacing a user's file: links followed, only regular files, modes kept, temporaries gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestDir.h"
#include "common/USafeFile.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

size_t Temporaries(const std::string& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().find(".tmp-") != std::string::npos) ++n;
  return n;
}

}  // namespace

// A target that is not a regular file is refused, as input and as output, with the same words.
struct TNotRegularCase {
  const char* name;
  const char* kind;  // in the message
};
class SafeFileNotRegular : public ::testing::TestWithParam<TNotRegularCase> {};

TEST_P(SafeFileNotRegular, RefusedAsInputAndOutput) {
  TestDir dir;
  std::string path;
  const std::string name = GetParam().name;
  if (name == "fifo") {
    path = dir.file("log.adi");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  } else if (name == "device") {
    path = "/dev/null";
  } else {
    path = dir.file("logs");
    fs::create_directory(path);
  }
  std::string text;
  const TSafeFileResult in = ReadRegularFile(path, text);
  EXPECT_EQ(in.error, TSafeFileError::NotRegular);
  EXPECT_EQ(in.message, path + " is not a regular file (" + GetParam().kind + ")");
  const TSafeFileResult out = WriteFileSafely(path, "x", {true});
  EXPECT_EQ(out.error, TSafeFileError::NotRegular);
  EXPECT_EQ(out.message, in.message);
  // Through a link as well.
  const std::string link = dir.file("link.adi");
  fs::create_symlink(path, link);
  EXPECT_EQ(WriteFileSafely(link, "x").error, TSafeFileError::NotRegular);
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_FALSE(S_ISREG(st.st_mode));  // still what it was
  EXPECT_EQ(Temporaries(dir.path()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SafeFileNotRegular,
                         ::testing::Values(TNotRegularCase{"fifo", "a FIFO"},
                                           TNotRegularCase{"device", "a device"},
                                           TNotRegularCase{"directory", "Is a directory"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SafeFile, SymbolicLinksAreFollowedAndStay) {
  TestDir dir;
  fs::create_directory(dir.file("real"));
  const std::string target = dir.file("real/log.adi");
  Write(target, "old");
  // A relative link to a relative link.
  fs::create_symlink("real/log.adi", dir.file("one.adi"));
  fs::create_symlink("one.adi", dir.file("two.adi"));
  ASSERT_TRUE(WriteFileSafely(dir.file("two.adi"), "new"));
  EXPECT_EQ(Read(target), "new");
  EXPECT_TRUE(fs::is_symlink(dir.file("two.adi")));
  EXPECT_TRUE(fs::is_symlink(dir.file("one.adi")));
  EXPECT_EQ(fs::read_symlink(dir.file("two.adi")), "one.adi");
  // A dangling link: its file is made.
  fs::create_symlink("real/new.adi", dir.file("dangling.adi"));
  ASSERT_TRUE(WriteFileSafely(dir.file("dangling.adi"), "made"));
  EXPECT_EQ(Read(dir.file("real/new.adi")), "made");
  EXPECT_TRUE(fs::is_symlink(dir.file("dangling.adi")));
  // A loop.
  fs::create_symlink("loop2", dir.file("loop1"));
  fs::create_symlink("loop1", dir.file("loop2"));
  const TSafeFileResult loop = WriteFileSafely(dir.file("loop1"), "x");
  EXPECT_EQ(loop.message,
            "cannot write " + dir.file("loop1") + ": Too many levels of symbolic links");
  EXPECT_EQ(Temporaries(dir.path()) + Temporaries(dir.file("real")), 0u);
}

TEST(SafeFile, HardLinkedAndWriteProtectedFilesAreLeftAlone) {
  TestDir dir;
  const std::string log = dir.file("log.adi");
  Write(log, "old");
  fs::create_hard_link(log, dir.file("copy.adi"));
  const TSafeFileResult linked = WriteFileSafely(log, "new", {true});
  EXPECT_EQ(linked.error, TSafeFileError::HardLinked);
  EXPECT_EQ(linked.message,
            log + " has 2 names (hard links); a new file would part them, so it is left as it is");
  EXPECT_EQ(Read(dir.file("copy.adi")), "old");
  fs::remove(dir.file("copy.adi"));

  ASSERT_EQ(::chmod(log.c_str(), 0444), 0);
  const TSafeFileResult prot = WriteFileSafely(log, "new");
  EXPECT_EQ(prot.error, TSafeFileError::NotWritable);
  EXPECT_EQ(prot.message, log + " is write-protected");
  EXPECT_EQ(Read(log), "old");
  ASSERT_TRUE(WriteFileSafely(log, "new", {true}));
  EXPECT_EQ(Read(log), "new");
  EXPECT_EQ(Mode(log), 0444u);
  EXPECT_EQ(Temporaries(dir.path()), 0u);
}

// The replaced file keeps its mode whatever the umask; a new one gets the umask's.
struct TModeCase {
  mode_t mode, umask;
};
class SafeFileMode : public ::testing::TestWithParam<TModeCase> {};

TEST_P(SafeFileMode, ModeKept) {
  TestDir dir;
  const std::string log = dir.file("log.adi");
  Write(log, "old");
  ASSERT_EQ(::chmod(log.c_str(), GetParam().mode), 0);
  const mode_t before = ::umask(GetParam().umask);
  const bool ok = static_cast<bool>(WriteFileSafely(log, "new", {true}));
  ASSERT_TRUE(WriteFileSafely(dir.file("fresh.adi"), "x"));
  ::umask(before);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Mode(log), GetParam().mode);
  EXPECT_EQ(Mode(dir.file("fresh.adi")), 0666u & ~GetParam().umask);
}

INSTANTIATE_TEST_SUITE_P(Modes, SafeFileMode,
                         ::testing::Values(TModeCase{0600, 022}, TModeCase{0664, 022},
                                           TModeCase{0640, 077}, TModeCase{0755, 002},
                                           TModeCase{0400, 022}));

// A write that fails half-way leaves the old file and no temporary, and says why in the
// system's words.
TEST(SafeFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
  TestDir dir;
  const std::string log = dir.file("log.adi");
  Write(log, "old");
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old);
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 1000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const TSafeFileResult r = WriteFileSafely(log, std::string(5000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_EQ(r.error, TSafeFileError::System);
  EXPECT_EQ(r.message, "cannot write " + log + ": File too large");
  EXPECT_EQ(Read(log), "old");
  EXPECT_EQ(Temporaries(dir.path()), 0u);
  // No folder: "cannot write nowhere/x.adi: No such file or directory".
  EXPECT_EQ(WriteFileSafely(dir.file("nowhere/x.adi"), "x").message,
            "cannot write " + dir.file("nowhere/x.adi") + ": No such file or directory");
  std::string text;
  EXPECT_EQ(ReadRegularFile(dir.file("none.adi"), text).message,
            "cannot read " + dir.file("none.adi") + ": No such file or directory");
}

// A bare name (no folder): the temporary lies in the working folder, and one left by a killed
// writer is removed by the next write.
TEST(SafeFile, BareNameTemporaryOfAKilledWriterIsRemoved) {
  TestDir dir;
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  Write("log.adi", "old");
  // A process number no process has: a writer that is gone.
  Write("log.adi.tmp-999999999", "half");
  Write("log.adi.tmp-" + std::to_string(::getpid()), "stale");
  const bool ok = static_cast<bool>(WriteFileSafely("log.adi", "new"));
  const size_t left = Temporaries(".");
  fs::current_path(cwd);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Read(dir.file("log.adi")), "new");
  EXPECT_EQ(left, 0u);
}
