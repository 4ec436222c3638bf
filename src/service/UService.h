#pragma once
// The HTTP side of the look-up service, event-driven (Asio): a fixed pool of threads, one per
// core, each running its own share of the connections; any number of requests on a connection,
// pipelined ones answered in order. A request's header must be whole within headerSeconds of its
// first byte and its body within bodySeconds; a connection waiting for its next request is
// closed after idleSeconds, and the oldest waiting one first when maxConnections are open. Every
// whole request goes to TServiceRouter.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/UStatus.h"
#include "service/UServiceRouter.h"

struct TServiceOptions {
  std::string address = "127.0.0.1";
  int port = 8073;  // 0: a free port (tests)
  int threads = 0;  // 0: one per core
  int maxConnections = 1024;
  int maxPerAddress = 64;  // connections open from one client address (127.0.0.1 and ::1: no limit)
  int headerSeconds = 5;   // from the first byte of a request to the end of its header
  int bodySeconds = 10;    // from the end of the header to the end of the body
  int idleSeconds = 15;    // waiting for the next request on a kept-alive connection
  int writeSeconds = 10;   // for an answer to be taken by the client
};

// "[ADDRESS:]PORT": "8073", "127.0.0.1:80", "[::1]:8073", ":8073"; invalid argument (saying
// why) for anything else.
TStatus ParseServeAddress(std::string_view text, std::string& address, int& port);

class TCallbookService {
 public:
  TCallbookService(TServiceRouter& router, TServiceOptions options);
  ~TCallbookService();
  TCallbookService(const TCallbookService&) = delete;
  TCallbookService& operator=(const TCallbookService&) = delete;

  // Binds the address; I/O error (or invalid argument for a malformed address) when it cannot.
  TStatus Bind();
  int Port() const { return port_; }
  // Serves until Stop (from another thread or a signal thread).
  void Run();
  void Stop();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  TServiceOptions options_;
  int port_ = 0;
};

// --serve: serves until SIGINT or SIGTERM; SIGHUP calls reopen (the edition, after a rebuild).
// Notices go to standard error. Fails when the address cannot be bound.
TStatus RunCallbookService(TServiceRouter& router, const TServiceOptions& options,
                           const std::function<TStatus()>& reopen);
