#include "service/UService.h"

#include <signal.h>

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <charconv>
#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "service/UServiceHttp.h"

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using TErrorCode = boost::system::error_code;

namespace {

using TClock = std::chrono::steady_clock;

int64_t Now() { return TClock::now().time_since_epoch().count(); }
int64_t Later(int seconds) {
  return Now() +
         std::chrono::duration_cast<TClock::duration>(std::chrono::seconds(seconds)).count();
}

// A read goes straight into the connection's inbox: a request's worth while waiting for one,
// more while a body comes. (Reading is started with the buffer, so that the reactor reads when
// the socket becomes readable and no descriptor is re-armed per request.)
constexpr size_t kRequestReadChunk = 4 * 1024;
constexpr size_t kBodyReadChunk = 16 * 1024;
constexpr size_t kReadChunk = 64 * 1024;  // one read while draining, into the thread's buffer
constexpr size_t kMaxBatchedAnswers = 256 * 1024;  // pipelined answers written at once
constexpr size_t kMaxDrainBytes = 1024 * 1024;     // read and dropped after a refusal
constexpr int kDrainSeconds = 2;
constexpr auto kSweepPeriod = std::chrono::milliseconds(250);

class TSession;

// The open connections: at most maxAll, at most maxPerAddress from one address. When all places
// are taken the connection that has waited longest for its next request is closed.
class TConnectionTable {
 public:
  TConnectionTable(int maxAll, int maxPerAddress)
      : maxAll_(static_cast<size_t>(maxAll)), maxPerAddress_(maxPerAddress) {}
  bool Admit(const std::shared_ptr<TSession>& s, const std::string& address, uint64_t& id);
  void Remove(uint64_t id, const std::string& address);

 private:
  std::mutex mutex_;
  size_t maxAll_;
  int maxPerAddress_;
  std::unordered_map<uint64_t, std::weak_ptr<TSession>> open_;
  std::unordered_map<std::string, int> perAddress_;
  uint64_t next_ = 1;
};

// One thread's share of the connections, and its sweep of their deadlines.
struct TWorker {
  asio::io_context context{1};
  asio::steady_timer sweep{context};
  std::vector<std::weak_ptr<TSession>> sessions;
  void Sweep();
};

class TSession : public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket socket, TServiceRouter& router, const TServiceOptions& options,
           TConnectionTable& table, TWorker& worker)
      : socket_(std::move(socket)),
        router_(router),
        options_(options),
        table_(table),
        worker_(worker) {}
  ~TSession() {
    if (admitted_) table_.Remove(id_, address_);
  }
  void Admitted(uint64_t id, std::string address) {
    admitted_ = true;
    id_ = id;
    address_ = std::move(address);
  }
  // In the worker's thread.
  void Start();
  void Refuse(std::string_view why);
  // Since when the connection waits for a request (steady clock ticks); 0 while it is busy.
  int64_t IdleSince() const { return idleSince_.load(std::memory_order_relaxed); }
  // From any thread: closes the connection if it is still waiting (once).
  bool Evict();
  // The sweep: closes the connection when its deadline has passed.
  void CheckDeadline(int64_t now) {
    if (deadline_ != 0 && now >= deadline_) Close();
  }

 private:
  enum class TPhase { Idle, Header, Body, Write, Drain, Closed };
  void WaitRead();
  void OnRead(size_t had, const TErrorCode& ec, size_t n);
  void Process();
  void SetPhase(TPhase phase, int seconds);
  void Write();
  void AfterWrite();
  void Drain();
  void OnDrainReadable();
  void Close();

  tcp::socket socket_;
  TServiceRouter& router_;
  const TServiceOptions& options_;
  TConnectionTable& table_;
  TWorker& worker_;
  bool admitted_ = false;
  uint64_t id_ = 0;
  std::string address_;
  THttpRequestReader reader_;
  std::string inbox_, outbox_;
  size_t outboxAt_ = 0;
  bool closeAfterWrite_ = false, drainAfterWrite_ = false, continueSent_ = false;
  TPhase phase_ = TPhase::Idle;
  int64_t deadline_ = 0;
  size_t drained_ = 0;
  std::atomic<int64_t> idleSince_{0};
  std::atomic<bool> evicted_{false};
};

char* ThreadReadBuffer() {
  thread_local std::array<char, kReadChunk> buffer;
  return buffer.data();
}

void TWorker::Sweep() {
  const int64_t now = Now();
  size_t kept = 0;
  for (size_t i = 0; i < sessions.size(); ++i) {
    if (std::shared_ptr<TSession> s = sessions[i].lock()) {
      s->CheckDeadline(now);
      sessions[kept++] = sessions[i];
    }
  }
  sessions.resize(kept);
  sweep.expires_after(kSweepPeriod);
  sweep.async_wait([this](const TErrorCode& ec) {
    if (!ec) Sweep();
  });
}

bool TConnectionTable::Admit(const std::shared_ptr<TSession>& s, const std::string& address,
                             uint64_t& id) {
  // Sessions looked at are let go only after the lock: a last owner here runs the destructor,
  // which takes the lock again.
  std::vector<std::shared_ptr<TSession>> seen;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto forget = [this, &address] {
    const auto it = perAddress_.find(address);
    if (it != perAddress_.end() && it->second == 0) perAddress_.erase(it);
  };
  int& fromAddress = perAddress_[address];
  // This machine's own programs (127.0.0.1, ::1: loggers, scripts, a load generator) are the
  // user's; the limit is for clients elsewhere, and other loopback addresses standing for them.
  const bool local = address == "127.0.0.1" || address == "::1" || address == "::ffff:127.0.0.1";
  if (!local && fromAddress >= maxPerAddress_) return false;
  if (open_.size() >= maxAll_) {
    // Close the connection waiting longest for its next request; none waiting: refuse.
    seen.reserve(open_.size());
    TSession* oldest = nullptr;
    int64_t since = 0;
    for (const auto& [key, weak] : open_) {
      std::shared_ptr<TSession> other = weak.lock();
      if (!other) continue;
      const int64_t idle = other->IdleSince();
      if (idle != 0 && (!oldest || idle < since)) {
        oldest = other.get();
        since = idle;
      }
      seen.push_back(std::move(other));
    }
    if (!oldest || !oldest->Evict()) {
      forget();
      return false;
    }
  }
  ++fromAddress;
  id = next_++;
  open_.emplace(id, s);
  return true;
}

void TConnectionTable::Remove(uint64_t id, const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.erase(id);
  const auto it = perAddress_.find(address);
  if (it != perAddress_.end() && --it->second <= 0) perAddress_.erase(it);
}

void TSession::Start() {
  TErrorCode ec;
  socket_.non_blocking(true, ec);
  socket_.set_option(tcp::no_delay(true), ec);
  worker_.sessions.push_back(weak_from_this());
  SetPhase(TPhase::Idle, options_.idleSeconds);
  WaitRead();
}

void TSession::Refuse(std::string_view why) {
  TServiceResponse r;
  r.status = 503;
  r.body = std::string(why) + "\n";
  std::string out;
  AppendHttpAnswer(out, r, false, false, false);
  TErrorCode ec;
  socket_.non_blocking(true, ec);
  socket_.write_some(asio::buffer(out), ec);
  socket_.close(ec);
}

bool TSession::Evict() {
  if (evicted_.exchange(true)) return false;
  asio::post(socket_.get_executor(), [self = shared_from_this()] {
    if (self->phase_ == TPhase::Idle) self->Close();
  });
  return true;
}

void TSession::SetPhase(TPhase phase, int seconds) {
  if (phase_ == phase && phase != TPhase::Idle) return;
  phase_ = phase;
  deadline_ = seconds > 0 ? Later(seconds) : 0;
  idleSince_.store(phase == TPhase::Idle ? Now() : 0, std::memory_order_relaxed);
}

void TSession::WaitRead() {
  const size_t had = inbox_.size();
  const size_t chunk =
      reader_.State() == THttpRequestReader::TState::Body ? kBodyReadChunk : kRequestReadChunk;
  inbox_.resize(had + chunk);
  socket_.async_read_some(asio::buffer(inbox_.data() + had, chunk),
                          [self = shared_from_this(), had](const TErrorCode& ec, size_t n) {
                            self->OnRead(had, ec, n);
                          });
}

void TSession::OnRead(size_t had, const TErrorCode& ec, size_t n) {
  inbox_.resize(had + (ec ? 0 : n));
  if (phase_ == TPhase::Closed) return;
  if (ec || n == 0) return Close();
  Process();
}

void TSession::Process() {
  size_t at = 0;
  for (;;) {
    const THttpRequestReader::TState before = reader_.State();
    if (at == inbox_.size() && before == THttpRequestReader::TState::Empty) break;
    at += reader_.Feed(std::string_view(inbox_).substr(at));
    const THttpRequestReader::TState state = reader_.State();
    if (state == THttpRequestReader::TState::Done) {
      const TServiceResponse r = router_.Handle(reader_.Request());
      AppendHttpAnswer(outbox_, r, reader_.Head(), reader_.KeepAlive(), reader_.Http10());
      if (!reader_.KeepAlive()) {
        closeAfterWrite_ = true;
        break;
      }
      reader_.Reset();
      continueSent_ = false;
      if (outbox_.size() >= kMaxBatchedAnswers) break;
      continue;
    }
    if (state == THttpRequestReader::TState::Failed) {
      TServiceResponse r;
      r.status = reader_.ErrorStatus();
      r.body = reader_.ErrorText() + "\n";
      AppendHttpAnswer(outbox_, r, false, false, false);
      closeAfterWrite_ = drainAfterWrite_ = true;
      break;
    }
    break;  // more bytes needed
  }
  inbox_.erase(0, at);
  if (inbox_.empty() && inbox_.capacity() > 2 * kMaxHeaderBytes) inbox_.shrink_to_fit();
  if (!closeAfterWrite_) {
    switch (reader_.State()) {
      case THttpRequestReader::TState::Header:
        SetPhase(TPhase::Header, options_.headerSeconds);
        break;
      case THttpRequestReader::TState::Body:
        SetPhase(TPhase::Body, options_.bodySeconds);
        if (reader_.ExpectsContinue() && !continueSent_) {
          outbox_ += "HTTP/1.1 100 Continue\r\n\r\n";
          continueSent_ = true;
        }
        break;
      default:
        break;
    }
  }
  if (!outbox_.empty()) return Write();
  if (closeAfterWrite_) return Close();
  if (reader_.State() == THttpRequestReader::TState::Empty)
    SetPhase(TPhase::Idle, options_.idleSeconds);
  WaitRead();
}

void TSession::Write() {
  const TPhase was = phase_;
  while (outboxAt_ < outbox_.size()) {
    TErrorCode ec;
    const size_t n = socket_.write_some(
        asio::buffer(outbox_.data() + outboxAt_, outbox_.size() - outboxAt_), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      if (was != TPhase::Write) {
        phase_ = TPhase::Write;
        deadline_ = Later(options_.writeSeconds);
        idleSince_.store(0, std::memory_order_relaxed);
      }
      socket_.async_wait(tcp::socket::wait_write, [self = shared_from_this()](const TErrorCode& e) {
        if (!e && self->phase_ != TPhase::Closed) self->Write();
      });
      return;
    }
    if (ec) return Close();
    outboxAt_ += n;
  }
  outbox_.clear();
  outboxAt_ = 0;
  if (outbox_.capacity() > kMaxBatchedAnswers) outbox_.shrink_to_fit();
  AfterWrite();
}

void TSession::AfterWrite() {
  if (closeAfterWrite_) return drainAfterWrite_ ? Drain() : Close();
  Process();  // a body still to come after "100 Continue", or the next request
}

// After a refusal the client may still be sending: its bytes are read and dropped for a while,
// so that the answer reaches it before the connection closes.
void TSession::Drain() {
  TErrorCode ec;
  socket_.shutdown(tcp::socket::shutdown_send, ec);
  phase_ = TPhase::Drain;
  deadline_ = Later(kDrainSeconds);
  idleSince_.store(0, std::memory_order_relaxed);
  inbox_.clear();
  inbox_.shrink_to_fit();
  socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](const TErrorCode& e) {
    if (!e && self->phase_ != TPhase::Closed) self->OnDrainReadable();
  });
}

void TSession::OnDrainReadable() {
  TErrorCode ec;
  const size_t n = socket_.read_some(asio::buffer(ThreadReadBuffer(), kReadChunk), ec);
  if (ec == asio::error::would_block || ec == asio::error::try_again) {
  } else if (ec || n == 0 || (drained_ += n) > kMaxDrainBytes) {
    return Close();
  }
  socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](const TErrorCode& e) {
    if (!e && self->phase_ != TPhase::Closed) self->OnDrainReadable();
  });
}

void TSession::Close() {
  if (phase_ == TPhase::Closed) return;
  phase_ = TPhase::Closed;
  deadline_ = 0;
  idleSince_.store(0, std::memory_order_relaxed);
  TErrorCode ec;
  socket_.close(ec);
}

}  // namespace

TStatus ParseServeAddress(std::string_view text, std::string& address, int& port) {
  address = "127.0.0.1";
  std::string_view portText = text;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return TStatus::InvalidArgument("an IPv6 address is written [ADDRESS]:PORT");
    }
    address = std::string(text.substr(1, close - 1));
    portText = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    if (text.find(':') != colon) {
      return TStatus::InvalidArgument("an IPv6 address is written [ADDRESS]:PORT");
    }
    if (colon > 0) address = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
  }
  int p = -1;
  const auto r = std::from_chars(portText.data(), portText.data() + portText.size(), p);
  if (portText.empty() || r.ec != std::errc() || r.ptr != portText.data() + portText.size() ||
      p < 1 || p > 65535) {
    return TStatus::InvalidArgument("the port must be a number from 1 to 65535");
  }
  if (address.empty()) {
    return TStatus::InvalidArgument("empty address");
  }
  port = p;
  return TStatus::Ok();
}

struct TCallbookService::TImpl {
  TImpl(TServiceRouter& r, const TServiceOptions& o)
      : router(r), options(o), table(o.maxConnections, o.maxPerAddress) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t n = options.threads > 0 ? static_cast<size_t>(options.threads) : cores;
    for (size_t i = 0; i < n; ++i) workers.push_back(std::make_unique<TWorker>());
    acceptor.emplace(workers[0]->context);
  }
  void Accept();

  TServiceRouter& router;
  const TServiceOptions options;
  TConnectionTable table;  // outlives the sessions, which the workers' contexts hold
  std::vector<std::unique_ptr<TWorker>> workers;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> retry;
  size_t nextWorker = 0;
  std::atomic<bool> stopped{false};
};

void TCallbookService::TImpl::Accept() {
  TWorker& worker = *workers[nextWorker++ % workers.size()];
  acceptor->async_accept(worker.context, [this, &worker](const TErrorCode& ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || stopped) return;
    if (ec) {
      // Out of descriptors or memory: try again shortly rather than spin.
      retry.emplace(workers[0]->context, std::chrono::milliseconds(100));
      retry->async_wait([this](const TErrorCode& e) {
        if (!e) Accept();
      });
      return;
    }
    TErrorCode e;
    const tcp::endpoint peer = socket.remote_endpoint(e);
    auto session = std::make_shared<TSession>(std::move(socket), router, options, table, worker);
    uint64_t id = 0;
    const std::string address = e ? std::string() : peer.address().to_string();
    if (!table.Admit(session, address, id)) {
      session->Refuse("Service unavailable: too many connections");
    } else {
      session->Admitted(id, address);
      asio::post(worker.context, [session] { session->Start(); });
    }
    Accept();
  });
}

TCallbookService::TCallbookService(TServiceRouter& router, TServiceOptions options)
    : impl_(std::make_unique<TImpl>(router, options)), options_(std::move(options)) {}

TCallbookService::~TCallbookService() {
  Stop();
  // The sessions go with the workers' contexts, before the table they are listed in; the
  // acceptor and the timer before the context they use.
  if (!impl_) return;
  impl_->retry.reset();
  impl_->acceptor.reset();
  impl_->workers.clear();
}

TStatus TCallbookService::Bind() {
  TErrorCode ec;
  const asio::ip::address address = asio::ip::make_address(options_.address, ec);
  if (ec)
    return TStatus::InvalidArgument("cannot listen on " + options_.address + ": not an IP address");
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(options_.port));
  tcp::acceptor& a = *impl_->acceptor;
  a.open(endpoint.protocol(), ec);
  // Restarting while old connections linger is fine; sharing the port with another process is
  // not, so no SO_REUSEPORT.
  if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    const std::string where = options_.address.find(':') != std::string::npos
                                  ? "[" + options_.address + "]"
                                  : options_.address;
    std::string error = "cannot listen on " + where + ":" + std::to_string(options_.port) + ": ";
    if (ec == asio::error::address_in_use)
      error += "address already in use";
    else if (ec == asio::error::access_denied)
      error += "permission denied (ports below 1024 need a capability; see docs/service.md)";
    else
      error += ec.message();
    TErrorCode ignored;
    a.close(ignored);
    return TStatus::WithMessage(TStatusCode::IOError, error);
  }
  port_ = a.local_endpoint(ec).port();
  return TStatus::Ok();
}

void TCallbookService::Run() {
  TImpl& m = *impl_;
  if (m.stopped) return;
  for (auto& w : m.workers) {
    w->sweep.expires_after(kSweepPeriod);
    w->sweep.async_wait([worker = w.get()](const TErrorCode& ec) {
      if (!ec) worker->Sweep();
    });
  }
  asio::post(m.workers[0]->context, [&m] { m.Accept(); });
  std::vector<std::thread> threads;
  for (size_t i = 1; i < m.workers.size(); ++i)
    threads.emplace_back([w = m.workers[i].get()] { w->context.run(); });
  m.workers[0]->context.run();
  for (auto& t : threads) t.join();
}

void TCallbookService::Stop() {
  if (!impl_) return;
  impl_->stopped = true;
  for (auto& w : impl_->workers) w->context.stop();
}

TStatus RunCallbookService(TServiceRouter& router, const TServiceOptions& options,
                           const std::function<TStatus()>& reopen) {
  // The signals go to one thread that waits for them; every other thread has them blocked.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TCallbookService service(router, options);
  if (TStatus bound = service.Bind(); !bound.ok()) return bound;
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
        if (const TStatus reopened = reopen(); reopened.ok())
          std::cerr << "tellmark-lookup: edition reopened" << std::endl;
        else
          std::cerr << "tellmark-lookup: reopening the edition failed: " << reopened.Message()
                    << std::endl;
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
  return TStatus::Ok();
}
