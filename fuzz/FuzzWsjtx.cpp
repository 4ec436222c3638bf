// Target of WSJT-X datagrams: read, handled by a session (a heartbeat's answer must read back),
// a decode's text read; the bytes also read as a message text.
#include "FuzzTargets.h"
#include "wsjtx/UWsjtxListener.h"
#include "wsjtx/UWsjtxProtocol.h"
#include "wsjtx/UWsjtxText.h"

namespace fuzz {

namespace {

void CheckText(std::string_view message) {
  const wsjtx::TMessageText m = wsjtx::ReadMessageText(message);
  if (!m.caller.empty() && !wsjtx::LooksLikeCall(m.caller)) Fail("caller is no call: " + m.caller);
  if (!m.called.empty() && !wsjtx::LooksLikeCall(m.called)) Fail("called is no call: " + m.called);
  if (!m.grid.empty() && !wsjtx::IsGridText(m.grid)) Fail("grid is no grid: " + m.grid);
  if (m.freeText && (!m.caller.empty() || !m.called.empty() || m.cq)) Fail("free text with calls");
}

}  // namespace

int FuzzWsjtx(const uint8_t* data, size_t size) {
  std::string error;
  const auto d = wsjtx::ReadDatagram(data, size, &error);
  if (!d && error.empty()) Fail("refused without a reason");
  if (d && std::holds_alternative<wsjtx::TDecode>(d->message))
    CheckText(std::get<wsjtx::TDecode>(d->message).message);
  wsjtx::TSession::THandlers h;
  h.decode = [](const wsjtx::TClient&, const wsjtx::TDecode& m) { CheckText(m.message); };
  wsjtx::TSession session(h);
  sockaddr_in from{};
  session.Handle(std::string_view(reinterpret_cast<const char*>(data), size), from,
                 [](std::string_view answer, const sockaddr_in&) {
                   const auto back = wsjtx::ReadDatagram(answer, nullptr);
                   if (!back || !std::holds_alternative<wsjtx::THeartbeat>(back->message))
                     Fail("the heartbeat answer does not read back");
                 });
  CheckText(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 200)));
  return 0;
}

}  // namespace fuzz
