#pragma once
// Helpers of the look-up service tests: a server on a free port of 127.0.0.1 in the test, plain
// socket requests with a time limit, and XML read with a real parser (QXmlStreamReader).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>
#include <QXmlStreamReader>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "service/UService.h"
#include "service/UServiceData.h"

namespace servicetest {

// The data source and router of --serve over the edition of the home folder (SetHomeDir).
struct TServedEdition {
  explicit TServedEdition(std::string myLocator = "")
      : source(std::move(myLocator)), router(source) {}
  ::testing::AssertionResult Open() {
    const TStatus opened = source.Open();
    if (opened.ok()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << opened.Message();
  }
  TDataSetSource source;
  TServiceRouter router;
};

// A service on a free port, served by a thread of the test.
class TRunningService {
 public:
  explicit TRunningService(TServiceRouter& router, TServiceOptions options = {}) {
    options.address = "127.0.0.1";
    options.port = 0;
    service_ = std::make_unique<TCallbookService>(router, options);
    if (const TStatus bound = service_->Bind(); !bound.ok())
      throw std::runtime_error(bound.Message());
    thread_ = std::thread([this] { service_->Run(); });
  }
  ~TRunningService() {
    service_->Stop();
    thread_.join();
  }
  int Port() const { return service_->Port(); }

 private:
  std::unique_ptr<TCallbookService> service_;
  std::thread thread_;
};

// A source's router served on 127.0.0.1, for a suite of tests.
class TServedSource {
 public:
  explicit TServedSource(TServiceSource& source) : router_(source), service_(router_) {}
  int Port() const { return service_.Port(); }

 private:
  TServiceRouter router_;
  TRunningService service_;
};

struct THttpAnswer {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
};

// A free port of 127.0.0.1, as the kernel hands them out.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// A TCP connection to 127.0.0.1:port from the loopback address 127.0.0.<source> (any address
// of 127/8 is this machine: several sources stand for several clients). -1 when it fails.
inline int ConnectFrom(int port, int source = 1, int timeoutSeconds = 10) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  timeval tv{timeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(0x7F000000u | static_cast<uint32_t>(source));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Sends raw bytes to 127.0.0.1:port and reads until the server closes (at most 10 s).
inline std::string RawExchange(int port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string got;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return got;
}

// One kept-alive connection: requests one after the other, each answer read by its length.
class TConnection {
 public:
  explicit TConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~TConnection() { ::close(fd_); }
  // The status of the answer to GET target; 0 when the connection failed or closed.
  int Get(const std::string& target, std::string& body) {
    const std::string req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (!ok_ ||
        ::send(fd_, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size()))
      return 0;
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return 0;
    const std::string head = buffer_.substr(0, end);
    size_t length = 0;
    for (const char* name : {"Content-Length: ", "content-length: "})
      if (const size_t at = head.find(name); at != std::string::npos)
        length = std::stoul(head.substr(at + 16));
    while (buffer_.size() < end + 4 + length)
      if (!Fill()) return 0;
    body = buffer_.substr(end + 4, length);
    buffer_.erase(0, end + 4 + length);
    return head.size() > 12 ? std::atoi(head.substr(9, 3).c_str()) : 0;
  }

 private:
  bool Fill() {
    char buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
    return true;
  }
  int fd_ = -1;
  bool ok_ = false;
  std::string buffer_;
};

// The first answer of a raw exchange, split.
inline THttpAnswer SplitAnswer(const std::string& raw) {
  THttpAnswer a;
  const size_t end = raw.find("\r\n\r\n");
  a.head = raw.substr(0, end);
  a.body = end == std::string::npos ? "" : raw.substr(end + 4);
  if (raw.size() > 12) a.status = std::atoi(raw.substr(9, 3).c_str());
  return a;
}

// Reads one answer (head, and a body of its Content-Length unless head) from fd, keeping what
// follows in pending. Status 0 when the connection closed or timed out first.
inline THttpAnswer ReadAnswer(int fd, std::string& pending, bool head = false) {
  const auto fill = [&] {
    char buf[65536];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
    return true;
  };
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos)
    if (!fill()) return {};
  THttpAnswer a;
  a.head = pending.substr(0, end);
  size_t length = 0;
  std::string lower = a.head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (const size_t at = lower.find("\r\ncontent-length: "); at != std::string::npos)
    length = std::stoul(lower.substr(at + 18));
  if (head) length = 0;
  while (pending.size() < end + 4 + length)
    if (!fill()) return {};
  a.body = pending.substr(end + 4, length);
  pending.erase(0, end + 4 + length);
  a.status = a.head.size() > 12 ? std::atoi(a.head.substr(9, 3).c_str()) : 0;
  return a;
}

// One HTTP/1.1 request on its own connection ("Connection: close").
inline THttpAnswer Request(int port, const std::string& method, const std::string& target,
                           const std::string& body = {},
                           const std::string& contentType = "application/json") {
  std::string req = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (method == "POST")
    req += "Content-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n";
  req += "\r\n" + body;
  return SplitAnswer(RawExchange(port, req));
}
inline THttpAnswer Get(int port, const std::string& target) { return Request(port, "GET", target); }

// The elements of an XML text as (path, text) in document order, path from below the root
// ("search/callsign"); the root's name in root. Fails the test on a parse error.
struct TXmlDoc {
  std::string root;
  std::vector<std::pair<std::string, std::string>> leaves;
  std::string Text(const std::string& path) const {
    for (const auto& [p, t] : leaves)
      if (p == path) return t;
    return "<absent>";
  }
  bool Has(const std::string& path) const { return Text(path) != "<absent>"; }
  std::vector<std::string> Children(const std::string& parent) const {
    std::vector<std::string> names;
    for (const auto& [p, t] : leaves)
      if (p.rfind(parent + "/", 0) == 0 && p.find('/', parent.size() + 1) == std::string::npos)
        names.push_back(p.substr(parent.size() + 1));
    return names;
  }
};

inline TXmlDoc ParseXml(const std::string& xml) {
  TXmlDoc doc;
  QXmlStreamReader reader(QString::fromStdString(xml));
  std::vector<std::string> path;
  std::string text;
  while (!reader.atEnd()) {
    reader.readNext();
    if (reader.isStartElement()) {
      const std::string name = reader.name().toString().toStdString();
      if (doc.root.empty()) {
        doc.root = name;
        path.push_back("");
        continue;
      }
      path.push_back(path.back().empty() ? name : path.back() + "/" + name);
      doc.leaves.emplace_back(path.back(), "");
      text.clear();
    } else if (reader.isCharacters()) {
      text += reader.text().toString().toStdString();
    } else if (reader.isEndElement()) {
      for (auto it = doc.leaves.rbegin(); it != doc.leaves.rend(); ++it)
        if (it->first == path.back()) {
          if (text.find_first_not_of(" \n") != std::string::npos) it->second = text;
          break;
        }
      text.clear();
      path.pop_back();
    }
  }
  EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << xml;
  return doc;
}

}  // namespace servicetest
