#pragma once
// File layer shared by the data set, the word lists and the label output: the per-thread last
// error code, error texts, read-only files, data-set path resolution and atomic writes.
#include <cstdint>
#include <string>
#include <type_traits>

// Last error code of the file layer, one per thread: 0 = success, a run-time I/O code, or one of
// the system's own (100, 1002, 1004, 1005 from the index engine; 201 label overflow; 10000 call not
// found).
int LastErrorCode();
void SetLastErrorCode(int code);

// Maps an errno value to the run-time I/O code the messages show (2 file not found, 5 access ...).
int IOCodeFromErrno(int err);

// English text of a run-time error code; empty for a code not in the table.
std::string RunErrorText(int code);
// Prefix of the error box of a failed command.
inline constexpr const char* kHandlingErrorPrefix = "Error during handling: ";
// "Error: " followed by the code in decimal.
std::string ErrorCodeText(int code);
// True for output file names that must be refused (base name empty, "aux" or "con").
bool IsDeviceFileName(const std::string& fileName);

// Joins a home directory and a relative data-set name written with "\" ("data\thedata.dat").
// Each component is matched case-insensitively when the exact name does not exist, since
// copied CD media are often upper case. Returns the path to use (the plain join when nothing
// matches, so the open fails with "file not found").
std::string ResolveDataPath(const std::string& homeDir, const std::string& relName);

// Ensures a non-empty directory path ends with "/" (the home directory form).
std::string WithTrailingSeparator(const std::string& dir);

// An owned file descriptor, closed exactly once (by Close or the destructor).
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd();
  TFd(TFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TFd& operator=(TFd&& other) noexcept;
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Closes the descriptor: 0, or the errno of close (EBADF when none was open).
  int Close();
  // Close that sets the last error code: 0, the I/O code, or 103 when none was open.
  bool CloseFile();
  // Before a positioned read or write: sets 103 (not open) or 156 (negative offset or count)
  // and fails.
  bool CheckPositioned(int64_t offset, int64_t count) const;

 private:
  int fd_ = -1;
};

// Reads up to count bytes at offset, going on after interrupted and short reads until count or
// the file end. Returns the number of bytes read, or -1 with errno set.
int64_t PreadFull(int fd, void* buffer, int64_t count, int64_t offset);
// Writes count bytes at offset, or at the file position when offset < 0, going on after
// interrupted and short writes. False with errno set on failure.
bool PwriteFull(int fd, const void* buffer, int64_t count, int64_t offset);

// A read-only file read by position. Every operation sets the last error code.
// Open(path, true) maps the whole file into memory as well: reads then copy from the mapping
// instead of asking the kernel each time (the same results and codes; the size is the size at
// opening). Without a mapping (mmap refused, empty file) it reads with pread. A mapped file cut
// short by another program while open (or on a medium that went away) makes the reads of the
// lost pages fail with code 100, as a read past the end does, instead of ending the program:
// every access to the mapping runs inside GuardMappedRead.
class TReadOnlyFile {
 public:
  TReadOnlyFile() = default;
  ~TReadOnlyFile();
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  bool Open(const std::string& path, bool mapped = false);
  bool Close();
  bool IsOpen() const { return fd_.IsOpen(); }
  bool IsMapped() const { return map_ != nullptr; }
  int64_t Size() const { return size_; }
  const std::string& Name() const { return name_; }
  // Reads up to count bytes at offset; got receives the number read (short only at the file end).
  // A failed read sets the I/O error's code; a read that returns no data at all sets 100.
  bool ReadAt(int64_t offset, void* buffer, int64_t count, int64_t& got);
  // Reads exactly count bytes; a short read sets code 100 and fails.
  bool ReadExact(int64_t offset, void* buffer, int64_t count);
  // The count bytes at offset in the mapping; nullptr when not mapped or not all inside the file
  // (the caller then reads). Sets no error code.
  const uint8_t* View(int64_t offset, int64_t count) const {
    if (!map_ || offset < 0 || count < 0 || offset > size_ || count > size_ - offset)
      return nullptr;
    return map_ + offset;
  }

 private:
  void Unmap();
  TFd fd_;
  int64_t size_ = 0;
  const uint8_t* map_ = nullptr;
  std::string name_;
};

// Runs read, which reads from a file mapping (TReadOnlyFile::View). When the mapping's pages are
// gone meanwhile (the file was cut short: SIGBUS), read is left where it was and the call
// returns false with code 100; otherwise true. read must own nothing it would leak when left.
bool RunMappedRead(void (*read)(void*), void* context);  // GuardMappedRead's body
template <class F>
bool GuardMappedRead(F&& read) {
  return RunMappedRead([](void* c) { (*static_cast<std::remove_reference_t<F>*>(c))(); },
                       static_cast<void*>(&read));
}

// Writes a whole file through a temporary in the same directory and a rename, so a crash never
// leaves it half-written. Returns false and sets the last error code on failure.
bool WriteFileAtomically(const std::string& path, const std::string& contents);
// Reads a whole file; false and the last error code when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& contents);
