#pragma once
// The HTTP side of the look-up service (cpp-httplib): a bounded pool of workers, keep-alive,
// timeouts and size limits; every request goes whole to TServiceRouter.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "service/UServiceRouter.h"

struct TServiceOptions {
  std::string address = "127.0.0.1";
  int port = 8073;              // 0: a free port (tests)
  int workers = 64;             // connections served at once
  int queuedConnections = 256;  // accepted connections waiting for a worker; then accept waits
  int timeoutSeconds = 3;       // idle keep-alive, read and write
  int keepAliveRequests = 1000;
};

// "[ADDRESS:]PORT": "8073", "127.0.0.1:80", "[::1]:8073", ":8073". False (error says why)
// for anything else.
bool ParseServeAddress(std::string_view text, std::string& address, int& port, std::string& error);

class TCallbookService {
 public:
  TCallbookService(TServiceRouter& router, TServiceOptions options);
  ~TCallbookService();
  TCallbookService(const TCallbookService&) = delete;
  TCallbookService& operator=(const TCallbookService&) = delete;

  // Binds the address; false (error says why) when it cannot.
  bool Bind(std::string& error);
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
// Messages go to standard error. Returns the exit status.
int RunCallbookService(TServiceRouter& router, const TServiceOptions& options,
                       const std::function<bool(std::string&)>& reopen);
