#include "common/IOUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/StrUtil.h"
#include "common/USafeFile.h"

namespace {
thread_local int t_lastErrorCode = 0;

struct ErrorTextRow {
  int code;
  const char* text;
};

constexpr ErrorTextRow kRunErrorTexts[] = {
    {1, "Invalid DOS function code"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {12, "Invalid file access code"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {100, "Disk read error"},
    {101, "Disk write error"},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {120, "File already open"},
    {150, "Disk is write protected"},
    {151, "Unknown Unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "Hardware failure"},
    {200, "Division by zero"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay manager not installed"},
    {209, "Overlay file read error"},
    {210, "Object not installed"},
    {211, "Too many nested scopes"},
};

bool PathExists(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

// The entry of dir whose name equals name ignoring ASCII case; empty when there is none.
std::string FindCaseInsensitive(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string found;
  const std::string want = AsciiLower(name);
  while (dirent* e = ::readdir(d)) {
    if (AsciiLower(e->d_name) == want) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}
}  // namespace

int LastErrorCode() { return t_lastErrorCode; }
void SetLastErrorCode(int code) { t_lastErrorCode = code; }

int IOCodeFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case ENOENT:
      return 2;
    case ENOTDIR:
      return 3;
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EAGAIN:
      return 5;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case EINVAL:
      return 12;
    case EROFS:
      return 150;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return 101;
    case EIO:
      return 100;
    default:
      return 100;
  }
}

std::string RunErrorText(int code) {
  for (const auto& row : kRunErrorTexts)
    if (row.code == code) return row.text;
  return {};
}

std::string ErrorCodeText(int code) { return "Error: " + std::to_string(code); }

bool IsDeviceFileName(const std::string& fileName) {
  std::string base = fileName;
  const auto slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base.erase(0, slash + 1);
  const auto dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  std::string squeezed;
  for (char c : LowerCaseOEM(base))
    if (c != ' ') squeezed += c;
  return squeezed.empty() || squeezed == "aux" || squeezed == "con";
}

std::string WithTrailingSeparator(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

std::string ResolveDataPath(const std::string& homeDir, const std::string& relName) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : relName) {
    if (c == '\\' || c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);

  std::string plain = homeDir;
  for (const auto& part : parts) plain = WithTrailingSeparator(plain) + part;
  if (PathExists(plain)) return plain;

  std::string path = homeDir;
  for (const auto& part : parts) {
    std::string next = WithTrailingSeparator(path) + part;
    if (!PathExists(next)) {
      const std::string match = FindCaseInsensitive(path, part);
      if (match.empty()) return plain;
      next = WithTrailingSeparator(path) + match;
    }
    path = next;
  }
  return path;
}

TFd::~TFd() {
  if (fd_ >= 0) ::close(fd_);
}

TFd& TFd::operator=(TFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int TFd::Close() {
  if (fd_ < 0) return EBADF;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0 ? 0 : errno;
}

bool TFd::CloseFile() {
  if (fd_ < 0) {
    SetLastErrorCode(103);
    return false;
  }
  const int err = Close();
  SetLastErrorCode(IOCodeFromErrno(err));
  return err == 0;
}

bool TFd::CheckPositioned(int64_t offset, int64_t count) const {
  if (fd_ < 0) {
    SetLastErrorCode(103);
    return false;
  }
  if (offset < 0 || count < 0) {
    SetLastErrorCode(156);
    return false;
  }
  return true;
}

int64_t PreadFull(int fd, void* buffer, int64_t count, int64_t offset) {
  auto* out = static_cast<char*>(buffer);
  int64_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, out + got, static_cast<size_t>(count - got), offset + got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool PwriteFull(int fd, const void* buffer, int64_t count, int64_t offset) {
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(count - done);
    const ssize_t n =
        offset < 0 ? ::write(fd, in + done, want) : ::pwrite(fd, in + done, want, offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += n;
  }
  return true;
}

TReadOnlyFile::~TReadOnlyFile() { Unmap(); }

namespace {

// The innermost GuardMappedRead of this thread; the SIGBUS handler jumps back to it.
thread_local sigjmp_buf* t_mappedRead = nullptr;

void OnBusError(int sig, siginfo_t*, void*) {
  if (sigjmp_buf* env = t_mappedRead) siglongjmp(*env, 1);
  // Not a mapped read of ours: the default action, as if there were no handler.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void InstallBusHandler() {
  static const bool installed = [] {
    struct sigaction sa {};
    sa.sa_sigaction = OnBusError;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;  // not blocked after the jump, so no mask to restore
    sigemptyset(&sa.sa_mask);
    return ::sigaction(SIGBUS, &sa, nullptr) == 0;
  }();
  (void)installed;
}

}  // namespace

bool RunMappedRead(void (*read)(void*), void* context) {
  sigjmp_buf env;
  sigjmp_buf* const outer = t_mappedRead;
  if (sigsetjmp(env, 0) != 0) {
    t_mappedRead = outer;
    SetLastErrorCode(100);
    return false;
  }
  t_mappedRead = &env;
  read(context);
  t_mappedRead = outer;
  return true;
}

void TReadOnlyFile::Unmap() {
  if (map_) ::munmap(const_cast<uint8_t*>(map_), static_cast<size_t>(size_));
  map_ = nullptr;
}

bool TReadOnlyFile::Open(const std::string& path, bool mapped) {
  if (fd_.IsOpen()) Close();
  name_ = path;
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen()) {
    SetLastErrorCode(IOCodeFromErrno(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) {
    SetLastErrorCode(IOCodeFromErrno(S_ISDIR(st.st_mode) ? EISDIR : errno));
    return false;
  }
  fd_ = std::move(fd);
  size_ = st.st_size;
  if (mapped && S_ISREG(st.st_mode) && size_ > 0 &&
      static_cast<uint64_t>(size_) <= static_cast<uint64_t>(SIZE_MAX)) {
    void* m = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_SHARED, fd_.Get(), 0);
    if (m != MAP_FAILED) {  // else read with pread
      InstallBusHandler();
      map_ = static_cast<const uint8_t*>(m);
      // Look-ups touch a page here and there: a fault reads that page, not a window around it
      // (which made a cold start read several times more from the disk).
      ::madvise(m, static_cast<size_t>(size_), MADV_RANDOM);
    }
  }
  SetLastErrorCode(0);
  return true;
}

bool TReadOnlyFile::Close() {
  Unmap();
  return fd_.CloseFile();
}

bool TReadOnlyFile::ReadAt(int64_t offset, void* buffer, int64_t count, int64_t& got) {
  got = 0;
  if (!fd_.CheckPositioned(offset, count)) return false;
  int64_t n = 0;
  if (map_) {
    n = offset >= size_ ? 0 : std::min(count, size_ - offset);
    if (n > 0 &&
        !GuardMappedRead([&] { std::memcpy(buffer, map_ + offset, static_cast<size_t>(n)); }))
      return false;
  } else {
    n = PreadFull(fd_.Get(), buffer, count, offset);
    if (n < 0) {
      SetLastErrorCode(IOCodeFromErrno(errno));
      return false;
    }
  }
  got = n;
  if (got == 0 && count > 0) {
    SetLastErrorCode(100);
    return false;
  }
  SetLastErrorCode(0);
  return true;
}

bool TReadOnlyFile::ReadExact(int64_t offset, void* buffer, int64_t count) {
  int64_t got = 0;
  if (!ReadAt(offset, buffer, count, got)) return false;
  if (got != count) {
    SetLastErrorCode(100);
    return false;
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& path) {
  const size_t slash = path.rfind('/');
  // A bare name lies in the working folder: "./" so that the removal joins it right.
  const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
      ::unlink((dir + name).c_str());
  }
  ::closedir(d);
}

bool WriteFileAtomically(const std::string& path, const std::string& contents) {
  const std::string tmp = path + ".tmp-" + std::to_string(::getpid());
  TFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.IsOpen()) {
    SetLastErrorCode(IOCodeFromErrno(errno));
    return false;
  }
  int err = 0;
  if (!PwriteFull(fd.Get(), contents.data(), static_cast<int64_t>(contents.size()), -1) ||
      ::fsync(fd.Get()) != 0)
    err = errno;
  if (const int closeErr = fd.Close(); err == 0) err = closeErr;
  if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    SetLastErrorCode(IOCodeFromErrno(err));
    return false;
  }
  RemoveStaleTemporaries(path);
  SetLastErrorCode(0);
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  TReadOnlyFile f;
  contents.clear();
  if (!f.Open(path)) return false;
  contents.resize(static_cast<size_t>(f.Size()));
  if (contents.empty()) return true;
  return f.ReadExact(0, contents.data(), f.Size());
}
