#include "wsjtx/UWsjtxListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace wsjtx {

namespace {

volatile sig_atomic_t gStop = 0;
void OnStopSignal(int) { gStop = 1; }

std::string ClientKey(std::string_view id, const sockaddr_in& from) {
  char addr[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
  return std::string(id) + '\x1f' + addr + ':' + std::to_string(ntohs(from.sin_port));
}

}  // namespace

bool TListenAddress::Multicast() const {
  in_addr a{};
  if (::inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 28) == 0xe;
}

bool ParseListenAddress(std::string_view text, TListenAddress& out, std::string* error) {
  const auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  TListenAddress r;
  std::string_view port = text;
  if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    r.address = std::string(text.substr(0, colon));
    port = text.substr(colon + 1);
    in_addr a{};
    if (::inet_pton(AF_INET, r.address.c_str(), &a) != 1)
      return fail("not an IPv4 address: \"" + r.address + "\"");
  }
  int p = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
  if (port.empty() || ec != std::errc() || end != port.data() + port.size() || p < 1 || p > 65535)
    return fail("not a port 1-65535: \"" + std::string(port) + "\"");
  r.port = p;
  out = std::move(r);
  return true;
}

TUdpSocket::~TUdpSocket() { Close(); }

void TUdpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TUdpSocket::Open(const TListenAddress& where, std::string* error) {
  Close();
  const auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    Close();
    return false;
  };
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return fail("cannot make a UDP socket");
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const bool multicast = where.Multicast();
  if (multicast) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  // A fast burst of decodes must not be dropped by a small buffer.
  const int buffer = 4 << 20;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(where.port));
  ::inet_pton(AF_INET, where.address.c_str(), &addr.sin_addr);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
    return fail("cannot listen on " + where.address + ":" + std::to_string(where.port));
  if (multicast) {
    // WSJT-X sends to the group on the interfaces its settings name, the loopback one by
    // default: join there, and on the default interface when there is one.
    ip_mreq m{};
    m.imr_multiaddr = addr.sin_addr;
    m.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    if (::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0)
      return fail("cannot join " + where.address + " on the loopback interface");
    m.imr_interface.s_addr = htonl(INADDR_ANY);
    ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);  // none: loopback only
    const unsigned char loop = 1;
    ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
  }
  return true;
}

bool TUdpSocket::Receive(std::string& bytes, sockaddr_in& from) {
  bytes.resize(kMaxDatagram);
  socklen_t len = sizeof from;
  const ssize_t n = ::recvfrom(fd_, bytes.data(), bytes.size(), MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &len);
  if (n < 0) {
    bytes.clear();
    return false;
  }
  // A datagram larger than the buffer is cut: keep it one byte short so it is refused as such.
  bytes.resize(static_cast<size_t>(n) > kMaxDatagram ? 0 : static_cast<size_t>(n));
  return true;
}

bool TUdpSocket::Send(std::string_view bytes, const sockaddr_in& to) {
  return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(bytes.size());
}

const TClient* TSession::Find(std::string_view id) const {
  for (const auto& [key, c] : clients_)
    if (c.id == id) return &c;
  return nullptr;
}

void TSession::Handle(std::string_view bytes, const sockaddr_in& from,
                      const std::function<void(std::string_view, const sockaddr_in&)>& send) {
  std::string why;
  std::optional<TDatagram> d = ReadDatagram(bytes, &why);
  if (!d) {
    ++refused_;
    if (h_.refused) h_.refused(why);
    return;
  }
  const std::string& id = MessageId(d->message);
  const std::string key = ClientKey(id, from);
  auto it = clients_.find(key);
  if (it == clients_.end()) {
    if (clients_.size() >= kMaxClients) {
      auto oldest = clients_.begin();
      for (auto i = clients_.begin(); i != clients_.end(); ++i)
        if (i->second.heard < oldest->second.heard) oldest = i;
      clients_.erase(oldest);
    }
    TClient c;
    c.id = id;
    c.from = from;
    it = clients_.emplace(key, std::move(c)).first;
  }
  TClient& c = it->second;
  c.heard = ++heard_;
  std::visit(
      [&](auto& m) {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, THeartbeat>) {
          const uint32_t schema = NegotiatedSchema(m.maxSchema);
          // Tell the client the schema to use when it is new or its offer changed.
          if (!c.heardHeartbeat || schema != c.schema) {
            c.schema = schema;
            if (send)
              send(WriteHeartbeat(schema, id, kSchema, "Tellmark " TELLMARK_VERSION, ""), from);
          }
          c.heardHeartbeat = true;
        } else if constexpr (std::is_same_v<T, TStatus>) {
          c.dialFrequency = m.dialFrequency;
          c.mode = m.mode;
          if (h_.status) h_.status(c, m);
        } else if constexpr (std::is_same_v<T, TDecode>) {
          if (h_.decode) h_.decode(c, m);
        } else if constexpr (std::is_same_v<T, TClear>) {
          if (h_.clear) h_.clear(c);
        } else if constexpr (std::is_same_v<T, TClose>) {
          const TClient gone = c;
          clients_.erase(it);
          if (h_.close) h_.close(gone);
        } else if constexpr (std::is_same_v<T, TQsoLogged>) {
          if (h_.qsoLogged) h_.qsoLogged(c, m);
        } else if constexpr (std::is_same_v<T, TLoggedAdif>) {
          if (h_.loggedAdif) h_.loggedAdif(c, m);
        }
      },
      d->message);
}

TWorkedContact ContactOfLogged(const TQsoLogged& q, const TCallRecordSource& source) {
  std::optional<TWorkedContact> c = TWorkedLog::ContactOf(
      q.dxCall, BandOfFrequency(q.txFrequency), {}, q.mode, {}, {}, {}, {}, q.dxGrid, {}, source);
  return c ? *c : TWorkedContact{};
}

::TStatus RunWsjtxListener(const TWsjtxRun& run, const TCallbook& callbook, std::ostream& out,
                           std::ostream& err) {
  const TAnnotator annotator(callbook);
  const TCallRecordSource source = annotator.Source();
  TWorkedLog log;
  std::string why;
  if (!run.logPath.empty() && !log.Load(run.logPath, source, &why))
    return ::TStatus::WithMessage(TStatusCode::IOError, why);
  TUdpSocket socket;
  if (!socket.Open(run.where, &why)) return ::TStatus::WithMessage(TStatusCode::IOError, why);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  struct sigaction oldInt {
  }, oldTerm{};
  ::sigaction(SIGINT, &sa, &oldInt);
  ::sigaction(SIGTERM, &sa, &oldTerm);
  gStop = 0;
  err << "tellmark-lookup: listening for WSJT-X on " << run.where.address << ":" << run.where.port
      << (run.where.Multicast() ? " (multicast group)" : "") << "\n";
  err.flush();

  TSession::THandlers h;
  h.decode = [&](const TClient& c, const TDecode& d) {
    if (!run.logPath.empty()) {
      std::string e;
      if (log.ReloadIfChanged(source, &e) == false && !e.empty())
        err << "tellmark-lookup: " << e << "\n";
    }
    TDecodeContext ctx;
    ctx.dialFrequency = c.dialFrequency;
    ctx.statusMode = c.mode;
    ctx.myLocator = run.myLocator;
    ctx.log = run.logPath.empty() ? nullptr : &log;
    out << DecodeJson(d, annotator.Annotate(d, ctx), ctx)
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
        << "\n";
    out.flush();
  };
  h.qsoLogged = [&](const TClient&, const TQsoLogged& q) {
    if (!run.logPath.empty()) log.Add(ContactOfLogged(q, source));
  };
  h.refused = [&](const std::string& reason) {
    err << "tellmark-lookup: datagram refused: " << reason << "\n";
  };
  TSession session(std::move(h));
  const auto send = [&socket](std::string_view bytes, const sockaddr_in& to) {
    socket.Send(bytes, to);
  };
  std::string bytes;
  sockaddr_in from{};
  while (!gStop) {
    pollfd p{socket.Fd(), POLLIN, 0};
    const int n = ::poll(&p, 1, 500);
    if (n < 0 && errno != EINTR) break;
    while (!gStop && socket.Receive(bytes, from)) session.Handle(bytes, from, send);
  }
  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGTERM, &oldTerm, nullptr);
  return ::TStatus::Ok();
}

}  // namespace wsjtx
