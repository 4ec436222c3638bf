#pragma once
// Listening to WSJT-X: the UDP socket (a unicast address, or a multicast group joined on the
// loopback interface and the default one), the clients it hears with their negotiated schema and
// last status, and tellmark-lookup --wsjtx, which writes every decode as an annotated JSON line.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "common/UStatus.h"
#include "wsjtx/UWsjtxAnnotate.h"
#include "wsjtx/UWsjtxProtocol.h"

namespace wsjtx {

inline constexpr const char* kDefaultAddress = "127.0.0.1";
inline constexpr int kDefaultPort = 2237;
// The id this side gives its own datagrams.
inline constexpr const char* kOwnId = "Tellmark";

struct TListenAddress {
  std::string address = kDefaultAddress;  // IPv4 dotted quad
  int port = kDefaultPort;
  bool Multicast() const;  // 224.0.0.0/4
};

// "[ADDRESS:]PORT": an IPv4 address (unicast or a multicast group) and a port 1..65535. False
// with the reason in error.
bool ParseListenAddress(std::string_view text, TListenAddress& out, std::string* error);

// A WSJT-X instance heard: its id and the address its datagrams come from.
struct TClient {
  std::string id;
  sockaddr_in from{};
  uint32_t schema = 2;  // negotiated; 2 until its heartbeat names more
  uint64_t dialFrequency = 0;
  std::string mode;  // of its last Status
  bool heardHeartbeat = false;
  uint64_t heard = 0;  // order of the last datagram from it
};

class TUdpSocket {
 public:
  TUdpSocket() = default;
  ~TUdpSocket();
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;
  // Binds (with address reuse, so several listeners can share a multicast port) and joins the
  // group of a multicast address. False with the reason in error.
  bool Open(const TListenAddress& where, std::string* error);
  void Close();
  int Fd() const { return fd_; }
  // One waiting datagram; false when none is waiting (the socket does not block).
  bool Receive(std::string& bytes, sockaddr_in& from);
  bool Send(std::string_view bytes, const sockaddr_in& to);

 private:
  int fd_ = -1;
};

// The clients heard and what their messages mean; what to do with them is the caller's.
class TSession {
 public:
  // Clients kept; a datagram from one more forgets the one heard least recently.
  static constexpr size_t kMaxClients = 32;
  struct THandlers {
    std::function<void(const TClient&, const TDecode&)> decode;
    std::function<void(const TClient&, const TStatus&)> status;
    std::function<void(const TClient&)> clear;  // its decodes are gone
    std::function<void(const TClient&)> close;
    std::function<void(const TClient&, const TQsoLogged&)> qsoLogged;
    std::function<void(const TClient&, const TLoggedAdif&)> loggedAdif;
    std::function<void(const std::string&)> refused;  // a datagram that is not read, and why
  };
  explicit TSession(THandlers h) : h_(std::move(h)) {}
  // Handles one datagram; answers a new client's heartbeat with the negotiated schema through
  // send.
  void Handle(std::string_view bytes, const sockaddr_in& from,
              const std::function<void(std::string_view, const sockaddr_in&)>& send);
  const std::map<std::string, TClient>& Clients() const { return clients_; }
  // The client of an id (the most recently heard when several share it); null when none.
  const TClient* Find(std::string_view id) const;
  size_t Refused() const { return refused_; }

 private:
  THandlers h_;
  std::map<std::string, TClient> clients_;  // by id and sender address
  size_t refused_ = 0;
  uint64_t heard_ = 0;
};

// The contact a QSO Logged message describes, fields filled from the directory.
TWorkedContact ContactOfLogged(const TQsoLogged& q, const TCallRecordSource& source);

struct TWsjtxRun {
  TListenAddress where;
  std::string logPath;    // empty: no flags
  std::string myLocator;  // empty: no distance
};

// tellmark-lookup --wsjtx: one JSON line per decode on out until SIGINT or SIGTERM; notices on
// err. Fails when the socket or the log cannot be opened.
::TStatus RunWsjtxListener(const TWsjtxRun& run, const TCallbook& callbook, std::ostream& out,
                           std::ostream& err);

}  // namespace wsjtx
