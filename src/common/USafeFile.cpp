#include "common/USafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/IOUtil.h"

namespace {

TSafeFileResult Fail(TSafeFileError e, std::string message) { return {e, std::move(message)}; }

TSafeFileResult SystemFail(const std::string& what, const std::string& path, int err) {
  return Fail(TSafeFileError::System, "cannot " + what + " " + path + ": " + std::strerror(err));
}

// What kind of file that is not regular the mode says, with the system's word for a directory.
std::string KindText(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

TSafeFileResult NotRegular(const std::string& path, mode_t mode) {
  return Fail(TSafeFileError::NotRegular, path + " is not a regular file (" + KindText(mode) + ")");
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash + 1);
}

// Whether this process may write the file: the permission bits say so (also for root, to whom
// the system grants every access) and the system agrees.
bool Writable(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  if (::geteuid() != 0) return ::access(path.c_str(), W_OK) == 0;
  return true;
}

}  // namespace

TSafeFileResult ReadRegularFile(const std::string& path, std::string& contents) {
  contents.clear();
  // Non-blocking, so a FIFO without a writer is not waited for; it is refused below.
  TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.IsOpen()) return SystemFail("read", path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return SystemFail("read", path, errno);
  if (!S_ISREG(st.st_mode)) return NotRegular(path, st.st_mode);
  contents.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  for (;;) {
    if (got == contents.size()) contents.resize(got + 65536);  // grown meanwhile
    const ssize_t n = ::read(fd.Get(), contents.data() + got, contents.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      contents.clear();
      return SystemFail("read", path, err);
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  contents.resize(got);
  return {};
}

std::string FollowLinks(const std::string& path, bool& ok) {
  ok = true;
  std::string p = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
    const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
    if (n < 0) return p;
    target.resize(static_cast<size_t>(n));
    p = !target.empty() && target[0] == '/' ? target : Folder(p) + target;
  }
  ok = false;
  return p;
}

std::string SafeTemporaryName(const std::string& target) {
  return target + ".tmp-" + std::to_string(::getpid());
}

TSafeFileResult WriteFileSafely(const std::string& path, const std::string& contents,
                                const TSafeWriteOptions& options) {
  bool followed = true;
  const std::string target = FollowLinks(path, followed);
  if (!followed) return SystemFail("write", path, ELOOP);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return SystemFail("write", path, errno);
  if (exists) {
    if (!S_ISREG(st.st_mode)) return NotRegular(path, st.st_mode);
    if (st.st_nlink > 1)
      return Fail(TSafeFileError::HardLinked,
                  path + " has " + std::to_string(st.st_nlink) +
                      " names (hard links); a new file would part them, so it is left as it is");
    if (!options.force && !Writable(target, st))
      return Fail(TSafeFileError::NotWritable, path + " is write-protected");
  }
  // The target's permissions from the start: the temporary never lets more people read it.
  const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
  const std::string tmp = SafeTemporaryName(target);
  TFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777));
  if (!fd.IsOpen() && errno == EEXIST) {
    // Named after this process: left by an earlier process of the same number.
    ::unlink(tmp.c_str());
    fd =
        TFd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777));
  }
  if (!fd.IsOpen()) return SystemFail("write", path, errno);
  int err = 0;
  if (exists) {
    // The umask may have taken bits away; the owner stays (where the system lets it).
    if (::fchmod(fd.Get(), mode) != 0) err = errno;
    if (err == 0 && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
      (void)::fchown(fd.Get(), st.st_uid, st.st_gid);
  }
  if (err == 0 &&
      (!PwriteFull(fd.Get(), contents.data(), static_cast<int64_t>(contents.size()), -1) ||
       ::fsync(fd.Get()) != 0))
    err = errno;
  if (const int closeErr = fd.Close(); err == 0) err = closeErr;
  if (err == 0 && ::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    return SystemFail("write", path, err);
  }
  // The rename is on disk once its folder is.
  const std::string folder = Folder(target);
  TFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.IsOpen()) (void)::fsync(dir.Get());
  RemoveStaleTemporaries(target);
  return {};
}
