#pragma once
// The outcome of an operation of the callbook, ADIF, service and builder layers: ok, or what went
// wrong and a message for the user. "Not found" is an answer, not an error: a look-up that finds
// nothing returns ok with an empty value; TStatus::NotFound is for a file or a named thing the
// caller needed. Failures of one kind are worded one way: CannotRead / CannotWrite name the file
// and the reason ("cannot read data/thedata.dat: Disk read error").
//
// The older core (data set, index engine, word lists) reports through a success flag and the
// per-thread last error code (IOUtil.h); StatusFromLastError is where the two meet.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

enum class TStatusCode { Ok, NotFound, Corrupt, IOError, InvalidArgument };
enum class TFileAccess;

class TStatus {
 public:
  TStatus() = default;  // ok
  static TStatus Ok() { return {}; }
  static TStatus NotFound(std::string message) {
    return {TStatusCode::NotFound, std::move(message)};
  }
  static TStatus Corrupt(std::string message) { return {TStatusCode::Corrupt, std::move(message)}; }
  static TStatus InvalidArgument(std::string message) {
    return {TStatusCode::InvalidArgument, std::move(message)};
  }
  // A status of the given kind whose message is complete as it is (a layer's own wording).
  static TStatus WithMessage(TStatusCode code, std::string message) {
    return {code, std::move(message)};
  }
  // An operating-system failure: the message gets ": " and the errno text (strerror), err is kept.
  static TStatus IOError(std::string message, int err);

  // "cannot read <path>: <reason>" / "cannot write <path>: <reason>". The reason is the errno
  // text; a file that does not exist (ENOENT) gives NotFound, every other errno IOError.
  static TStatus CannotRead(std::string_view path, int err);
  static TStatus CannotWrite(std::string_view path, int err);
  // The same with a reason in words (a damaged file, a refused name): Corrupt for a read,
  // InvalidArgument for a write; an empty reason leaves ": <reason>" out.
  static TStatus CannotRead(std::string_view path, std::string_view reason);
  static TStatus CannotWrite(std::string_view path, std::string_view reason);

  bool ok() const { return code_ == TStatusCode::Ok; }
  bool IsNotFound() const { return code_ == TStatusCode::NotFound; }
  bool IsCorrupt() const { return code_ == TStatusCode::Corrupt; }
  bool IsIOError() const { return code_ == TStatusCode::IOError; }
  bool IsInvalidArgument() const { return code_ == TStatusCode::InvalidArgument; }
  TStatusCode Code() const { return code_; }
  // The errno of an IOError (or of a CannotRead/CannotWrite from one); 0 otherwise.
  int OsError() const { return osError_; }
  // The message for the user; empty when ok.
  const std::string& Message() const { return message_; }
  // The same status with "<context>: " put before the message (ok stays ok).
  TStatus WithContext(std::string_view context) const;

 private:
  friend TStatus StatusFromLastError(std::string_view path, int code, TFileAccess access);
  TStatus(TStatusCode code, std::string message, int osError = 0)
      : code_(code), osError_(osError), message_(std::move(message)) {}
  TStatusCode code_ = TStatusCode::Ok;
  int osError_ = 0;
  std::string message_;
};

// The older core's failure as a status: the last error code of the file layer (a run-time I/O
// code or one of the system's own) after a failed read (or write) of path. Code 2 gives
// NotFound, 100 (a read past the end: the file is shorter than its index says) Corrupt, every
// other IOError; the message is "cannot read <path>: " (or "cannot write") and the code's
// English text ("Disk read error"), or "Error: <code>" for a code without one.
enum class TFileAccess { Read, Write };
TStatus StatusFromLastError(std::string_view path, int code,
                            TFileAccess access = TFileAccess::Read);

// A data-set file name as the programs show it: the stored name with "/" ("data\thedata.dat"
// is shown "data/thedata.dat").
std::string ShownDataSetName(std::string_view relName);

// Thrown only where a status cannot be returned (a callback, a constructor): carries the status.
class EStatusError : public std::runtime_error {
 public:
  explicit EStatusError(TStatus status)
      : std::runtime_error(status.Message()), status_(std::move(status)) {}
  const TStatus& Status() const { return status_; }

 private:
  TStatus status_;
};

// A value, or the status that says why there is none.
template <class T>
class TResult {
 public:
  TResult(T value) : value_(std::move(value)) {}  // NOLINT: a value converts implicitly
  TResult(TStatus status) : status_(std::move(status)) {
    if (status_.ok()) throw std::logic_error("TResult made from an ok status without a value");
  }
  bool ok() const { return value_.has_value(); }
  const TStatus& Status() const { return status_; }
  // The value; asking a failed result for it is a broken contract.
  T& Value() & { return Check(), *value_; }
  const T& Value() const& { return Check(), *value_; }
  T&& Value() && { return Check(), std::move(*value_); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }
  T& operator*() & { return Value(); }
  const T& operator*() const& { return Value(); }

 private:
  void Check() const {
    if (!value_) throw std::logic_error("value of a failed result: " + status_.Message());
  }
  std::optional<T> value_;
  TStatus status_;
};
