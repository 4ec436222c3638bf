#include "service/UService.h"

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Workers take accepted connections from a bounded queue; when it is full the listening thread
// waits, so the number of connections held stays bounded (the rest wait in the kernel's backlog).
class TBoundedPool : public httplib::TaskQueue {
 public:
  TBoundedPool(int workers, int queued) : limit_(static_cast<size_t>(queued)) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~TBoundedPool() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [this] { return jobs_.size() < limit_ || stopping_; });
    if (stopping_) return;  // the job's socket is closed with the server
    jobs_.push_back(std::move(fn));
    ready_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ && threads_.empty()) return;
      stopping_ = true;
    }
    ready_.notify_all();
    space_.notify_all();
    for (auto& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
        if (jobs_.empty()) return;  // stopping, nothing left
        job = std::move(jobs_.front());
        jobs_.pop_front();
        space_.notify_one();
      }
      job();
    }
  }

  size_t limit_;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

TServiceRequest MakeRequest(const httplib::Request& req) {
  TServiceRequest r;
  r.method = req.method;
  r.target = req.target;
  r.body = req.body;
  r.contentType = req.get_header_value("Content-Type");
  return r;
}

void Answer(TServiceRouter& router, const httplib::Request& req, httplib::Response& res) {
  // The library keeps each header line under 8 KiB; the whole head is held to that too.
  size_t headBytes = req.method.size() + req.target.size() + req.version.size() + 4;
  for (const auto& [k, v] : req.headers) headBytes += k.size() + v.size() + 4;
  TServiceResponse out = headBytes > kMaxTargetBytes
                             ? BadRequest("request line and headers larger than 8 KiB")
                             : router.Handle(MakeRequest(req));
  res.status = out.status;
  res.set_content(std::move(out.body), out.contentType.c_str());
}

}  // namespace

bool ParseServeAddress(std::string_view text, std::string& address, int& port, std::string& error) {
  address = "127.0.0.1";
  std::string_view portText = text;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      error = "an IPv6 address is written [ADDRESS]:PORT";
      return false;
    }
    address = std::string(text.substr(1, close - 1));
    portText = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    if (text.find(':') != colon) {
      error = "an IPv6 address is written [ADDRESS]:PORT";
      return false;
    }
    if (colon > 0) address = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
  }
  int p = -1;
  const auto r = std::from_chars(portText.data(), portText.data() + portText.size(), p);
  if (portText.empty() || r.ec != std::errc() || r.ptr != portText.data() + portText.size() ||
      p < 1 || p > 65535) {
    error = "the port must be a number from 1 to 65535";
    return false;
  }
  if (address.empty()) {
    error = "empty address";
    return false;
  }
  port = p;
  return true;
}

struct TCallbookService::TImpl {
  httplib::Server server;
};

TCallbookService::TCallbookService(TServiceRouter& router, TServiceOptions options)
    : impl_(std::make_unique<TImpl>()), options_(std::move(options)) {
  httplib::Server& s = impl_->server;
  const int workers = options_.workers, queued = options_.queuedConnections;
  s.new_task_queue = [workers, queued] { return new TBoundedPool(workers, queued); };
  s.set_read_timeout(options_.timeoutSeconds, 0);
  s.set_write_timeout(options_.timeoutSeconds, 0);
  s.set_keep_alive_timeout(options_.timeoutSeconds);
  s.set_keep_alive_max_count(static_cast<size_t>(options_.keepAliveRequests));
  s.set_payload_max_length(kMaxBodyBytes);
  s.set_tcp_nodelay(true);
  // GET and HEAD have no body: answered before the library looks for a route. A POST comes
  // with its body to the handler below; other methods get 405 from the router.
  s.set_pre_routing_handler([&router](const httplib::Request& req, httplib::Response& res) {
    if (req.method == "POST") return httplib::Server::HandlerResponse::Unhandled;
    Answer(router, req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  s.Post(".*", [&router](const httplib::Request& req, httplib::Response& res) {
    Answer(router, req, res);
  });
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    const char* reason = res.status == 413   ? "Bad request: body larger than 64 KiB\n"
                         : res.status == 414 ? "Bad request: request target longer than 8 KiB\n"
                         : res.status == 400 ? "Bad request: malformed request\n"
                                             : "Error\n";
    res.set_content(reason, "text/plain; charset=utf-8");
  });
}

TCallbookService::~TCallbookService() { Stop(); }

bool TCallbookService::Bind(std::string& error) {
  httplib::Server& s = impl_->server;
  if (options_.port == 0) {
    port_ = s.bind_to_any_port(options_.address.c_str());
    if (port_ <= 0) {
      error = "cannot listen on " + options_.address;
      return false;
    }
    return true;
  }
  if (!s.bind_to_port(options_.address.c_str(), options_.port)) {
    error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) +
            (options_.port < 1024 ? " (ports below 1024 need a capability; see docs/service.md)"
                                  : " (in use?)");
    return false;
  }
  port_ = options_.port;
  return true;
}

void TCallbookService::Run() { impl_->server.listen_after_bind(); }

void TCallbookService::Stop() {
  if (impl_) impl_->server.stop();
}

int RunCallbookService(TServiceRouter& router, const TServiceOptions& options,
                       const std::function<bool(std::string&)>& reopen) {
  // The signals go to one thread that waits for them; every other thread has them blocked.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TCallbookService service(router, options);
  std::string error;
  if (!service.Bind(error)) {
    std::cerr << "tellmark-lookup: " << error << "\n";
    return 2;
  }
  std::cerr << "tellmark-lookup: serving on http://"
            << (options.address.find(':') != std::string::npos ? "[" + options.address + "]"
                                                               : options.address)
            << ":" << service.Port() << "/" << std::endl;
  std::atomic<bool> stopping{false};
  std::thread waiter([&] {
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      if (sig == SIGHUP) {
        std::string why;
        if (reopen(why))
          std::cerr << "tellmark-lookup: edition reopened" << std::endl;
        else
          std::cerr << "tellmark-lookup: reopening the edition failed: " << why << std::endl;
        continue;
      }
      if (stopping.exchange(true)) return;
      std::cerr << "tellmark-lookup: stopping" << std::endl;
      service.Stop();
      return;
    }
  });
  service.Run();
  // Run ends only through Stop from the waiter, or a listening failure: wake the waiter then.
  if (!stopping.exchange(true)) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return 0;
}
