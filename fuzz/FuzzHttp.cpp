// The service's HTTP request reader: requests arriving in pieces, pipelined, with any framing.
#include <algorithm>
#include <string>

#include "FuzzTargets.h"
#include "service/UServiceHttp.h"

namespace fuzz {

// Input: a byte giving the size of the pieces the bytes arrive in (1 to 256), then the bytes a
// connection receives. Every request read is checked against the layer's promises and its answer
// written; the rest of the bytes go on as the next (pipelined) request.
int FuzzHttp(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = static_cast<size_t>(data[0]) + 1;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  THttpRequestReader reader;
  std::string inbox;
  size_t given = 0;
  int requests = 0;
  while (given < all.size() || !inbox.empty()) {
    const size_t n = std::min(piece, all.size() - given);
    inbox.append(all.substr(given, n));
    given += n;
    const size_t used = reader.Feed(inbox);
    if (used > inbox.size()) Fail("used more bytes than given");
    inbox.erase(0, used);
    switch (reader.State()) {
      case THttpRequestReader::TState::Done: {
        const TServiceRequest& r = reader.Request();
        if (r.method.empty() || r.target.empty()) Fail("request without method or target");
        if (r.body.size() > kMaxBodyBytes) Fail("body over the limit taken");
        TServiceResponse answer;
        answer.body = r.target + "\n";
        std::string out;
        AppendHttpAnswer(out, answer, reader.Head(), reader.KeepAlive(), reader.Http10());
        if (out.rfind("HTTP/1.1 ", 0) != 0 || out.find("\r\n\r\n") == std::string::npos)
          Fail("answer without status line or head");
        ++requests;
        if (!reader.KeepAlive() || requests > 64) return 0;
        reader.Reset();
        break;
      }
      case THttpRequestReader::TState::Failed: {
        const int s = reader.ErrorStatus();
        if (s != 400 && s != 411 && s != 413 && s != 505) Fail("refused with " + std::to_string(s));
        if (reader.ErrorText().empty() || reader.ErrorText().find('\n') != std::string::npos)
          Fail("refusal text not one line");
        return 0;
      }
      case THttpRequestReader::TState::Header:
        // A header is refused once it passes the limit; it is never held longer.
        if (inbox.size() > kMaxHeaderBytes + 2) Fail("header held beyond its limit");
        break;
      default:
        break;
    }
    if (given == all.size() && used == 0 && reader.State() != THttpRequestReader::TState::Done)
      break;  // incomplete at the end of the input
  }
  return 0;
}

}  // namespace fuzz
