#pragma once
// Reading and replacing a user's file (a log) without harming it: only regular files are read or
// replaced; a symbolic link is followed and stays a link; a file with more than one name (hard
// links) or one that is write-protected is left alone unless forced; the new contents go to a
// temporary file beside the target, created with the target's mode, and take its place by a
// rename, so the target is always either the old or the new file. Messages carry the system's
// own reason ("Is a directory", "No space left on device").
#include <string>

enum class TSafeFileError {
  None,
  NotRegular,   // a directory, FIFO, device or socket
  HardLinked,   // the target has more than one name: a rename would part them
  NotWritable,  // write-protected (refused unless forced)
  System,       // the operating system's error
};

struct TSafeFileResult {
  TSafeFileError error = TSafeFileError::None;
  std::string message;  // "log.adi is not a regular file (Is a directory)"; empty when ok
  explicit operator bool() const { return error == TSafeFileError::None; }
};

// The whole contents of a regular file. A FIFO or device is refused without opening it for a
// blocking read.
TSafeFileResult ReadRegularFile(const std::string& path, std::string& contents);

// The file a path names after following symbolic links (at most 40), relative links taken from
// the link's folder; the path itself when it is no link or does not exist. ELOOP is reported
// through ok = false.
std::string FollowLinks(const std::string& path, bool& ok);

struct TSafeWriteOptions {
  // Replace a write-protected target (its mode stays).
  bool force = false;
};

// Replaces the file path names (after its links) by contents, or creates it. The temporary file
// "<target>.tmp-<pid>" is removed on every failure; temporaries of killed writers beside the
// target are removed after a success.
TSafeFileResult WriteFileSafely(const std::string& path, const std::string& contents,
                                const TSafeWriteOptions& options = {});

// Removes "<name>.tmp-<pid>" files beside path whose writer process is gone: a program killed
// while writing leaves its temporary behind, and the next write clears it away. (In IOUtil.cpp,
// beside WriteFileAtomically, which uses it too.)
void RemoveStaleTemporaries(const std::string& path);

// The temporary file name WriteFileSafely uses for a target in this process.
std::string SafeTemporaryName(const std::string& target);
