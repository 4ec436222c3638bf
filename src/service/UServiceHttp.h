#pragma once
// HTTP/1.x requests read from a byte stream without sockets: the connection feeds what arrived,
// the reader says whether a request is whole, still incomplete, or refused (with the status and
// the one-line reason to answer). The header and the body are limited while they are read,
// whatever their framing (Content-Length, chunked); a body without a length, duplicate or
// malformed lengths and control bytes in header lines are refused. Also the answer's bytes.
#include <memory>
#include <string>
#include <string_view>

#include "service/UServiceRouter.h"

inline constexpr size_t kMaxHeaderBytes = 8 * 1024;  // request line and header lines

class THttpRequestReader {
 public:
  enum class TState {
    Empty,   // no byte of a request yet
    Header,  // the header is incomplete
    Body,    // the header was accepted; the body is incomplete
    Done,    // request() is whole
    Failed   // errorStatus()/errorText() say why; the connection answers them and closes
  };

  THttpRequestReader();
  ~THttpRequestReader();
  THttpRequestReader(const THttpRequestReader&) = delete;
  THttpRequestReader& operator=(const THttpRequestReader&) = delete;

  // Forgets the last request; the next Feed starts a new one.
  void Reset();
  // Reads from the start of data, which holds every byte received after the previous request
  // (bytes not used by an earlier call must be given again, with more appended). Returns the
  // number of bytes used: those belong to this request and are not given again.
  size_t Feed(std::string_view data);
  TState State() const { return state_; }

  // With State() Done.
  const TServiceRequest& Request() const { return request_; }
  bool KeepAlive() const { return keepAlive_; }
  bool Http10() const { return http10_; }
  bool Head() const { return request_.method == "HEAD"; }
  // The client waits for "100 Continue" before sending the body (State() Body).
  bool ExpectsContinue() const { return expectContinue_; }

  // With State() Failed.
  int ErrorStatus() const { return errorStatus_; }
  const std::string& ErrorText() const { return errorText_; }

 private:
  void Fail(int status, std::string text);
  bool CheckHeader();
  void Finish();

  struct TParser;
  std::unique_ptr<TParser> parser_;
  TState state_ = TState::Empty;
  size_t headerBytes_ = 0;  // of the header taken by the parser so far
  TServiceRequest request_;
  bool keepAlive_ = false, expectContinue_ = false, http10_ = false;
  int errorStatus_ = 0;
  std::string errorText_;
};

// Appends an answer: status line, Content-Type, Content-Length, Date, Connection when it closes
// (or an HTTP/1.0 client keeps it), then the body unless head.
void AppendHttpAnswer(std::string& out, const TServiceResponse& r, bool head, bool keepAlive,
                      bool http10);
// The reason phrase of a status ("Not Found").
std::string_view HttpReason(int status);
