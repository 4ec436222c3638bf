// The WSJT-X link: datagrams written here byte for byte as the program's network message
// description lays them out (hex made by hand from that layout), the message texts of its
// message types, the flags of a log, and tellmark-lookup --wsjtx under a burst of decodes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "TestDir.h"
#include "callbook/UCallbook.h"
#include "callbook/UCallbookWriters.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "wsjtx/UWsjtxAnnotate.h"
#include "wsjtx/UWsjtxListener.h"
#include "wsjtx/UWsjtxProtocol.h"
#include "wsjtx/UWsjtxText.h"

using namespace wsjtx;
using json = nlohmann::json;

namespace {

// ---- Datagrams as WSJT-X writes them (magic, schema, type, id "WSJT-X", then the fields) ----

// Heartbeat, schema 3: max schema 3, version "2.6.1", revision "".
const std::string kHeartbeat = Unhex(
    "adbccbda 00000003 00000000 00000006 57534a542d58"
    "00000003 00000005 322e362e31 00000000");
// Heartbeat of an older sender: no fields after the id.
const std::string kHeartbeatOld = Unhex("adbccbda 00000002 00000000 00000006 57534a542d58");
// Status: dial 14074000, "FT8", DX call "W1AW", report "-12", Tx mode "FT8", Tx enabled no,
// transmitting no, decoding yes, Rx DF 1500, Tx DF 1234, DE call "K5DRC", DE grid "EM12kq",
// DX grid "FN31", watchdog no, sub-mode null, fast no, special 0, tolerance none, T/R 15,
// configuration "Default", Tx message "W1AW K5DRC -12".
const std::string kStatus = Unhex(
    "adbccbda 00000002 00000001 00000006 57534a542d58"
    "0000000000d6c090 00000003 465438 00000004 57314157 00000003 2d3132 00000003 465438"
    "00 00 01 000005dc 000004d2 00000005 4b35445243 00000006 454d31326b71 00000004 464e3331"
    "00 ffffffff 00 00 ffffffff 0000000f 00000007 44656661756c74"
    "0000000e 57314157204b35445243202d3132");
// Decode: new, 12:34:45.000 (45285000 ms), snr -12, dt 0.2, df 1234, mode "~",
// "CQ K5DRC EM12", low confidence no, off air yes.
const std::string kDecode = Unhex(
    "adbccbda 00000002 00000002 00000006 57534a542d58"
    "01 02b2fe88 fffffff4 3fc999999999999a 000004d2 00000001 7e"
    "0000000d 4351204b3544524320454d3132 00 01");
const std::string kClear = Unhex("adbccbda 00000002 00000003 00000006 57534a542d58");
// QSO Logged: off 2026-12-09 (JD 2461019) 12:34:45 UTC, K5DRC EM12, 14075234 Hz, FT8, sent
// "-12", received "-05", power "100", comments and name empty, on 12:33:45 UTC, operator "",
// my call W1AW, my grid FN31, exchanges and propagation empty.
const std::string kQsoLogged = Unhex(
    "adbccbda 00000003 00000005 00000006 57534a542d58"
    "0000000000258d5b 02b2fe88 01 00000005 4b35445243 00000004 454d3132 0000000000d6c562"
    "00000003 465438 00000003 2d3132 00000003 2d3035 00000003 313030 00000000 00000000"
    "0000000000258d5b 02b21428 01 00000000 00000004 57314157 00000004 464e3331"
    "00000000 00000000 00000000");
const std::string kClose = Unhex("adbccbda 00000002 00000006 00000006 57534a542d58");
const std::string kLoggedAdif = Unhex(
    "adbccbda 00000003 0000000c 00000006 57534a542d58 0000006b"
    "0a3c616469665f7665723a353e332e312e300a3c70726f6772616d69643a363e57534a542d580a3c454f"
    "483e0a3c63616c6c3a353e4b35445243203c677269647371756172653a343e454d3132203c6d6f64653a"
    "333e465438203c62616e643a333e32306d203c454f523e");
// WSPR decode: a type not read here.
const std::string kWspr = Unhex(
    "adbccbda 00000003 0000000a 00000006 57534a542d58"
    "01 02b2fe88 ffffffec 3fe0000000000000 0000000000d71acc 00000000 00000005 4b31414243"
    "00000004 464e3432 00000025 00");

template <typename T>
T Read(const std::string& bytes, uint32_t schema) {
  std::string error;
  const std::optional<TDatagram> d = ReadDatagram(bytes, &error);
  EXPECT_TRUE(d) << error;
  if (!d) return T{};
  EXPECT_EQ(d->schema, schema);
  EXPECT_TRUE(std::holds_alternative<T>(d->message));
  return std::holds_alternative<T>(d->message) ? std::get<T>(d->message) : T{};
}

TEST(WsjtxRead, Heartbeats) {
  const THeartbeat h = Read<THeartbeat>(kHeartbeat, 3);
  EXPECT_EQ(h.id, "WSJT-X");
  EXPECT_EQ(h.maxSchema, 3u);
  EXPECT_EQ(h.version, "2.6.1");
  EXPECT_EQ(h.revision, "");
  // Without the schema field the sender speaks schema 2.
  EXPECT_EQ(Read<THeartbeat>(kHeartbeatOld, 2).maxSchema, 2u);
}

TEST(WsjtxRead, Status) {
  const wsjtx::TStatus s = Read<wsjtx::TStatus>(kStatus, 2);
  EXPECT_EQ(s.dialFrequency, 14074000u);
  EXPECT_EQ(s.mode, "FT8");
  EXPECT_EQ(s.dxCall, "W1AW");
  EXPECT_EQ(s.report, "-12");
  EXPECT_FALSE(s.txEnabled);
  EXPECT_TRUE(s.decoding);
  EXPECT_EQ(s.rxDf, 1500u);
  EXPECT_EQ(s.txDf, 1234u);
  EXPECT_EQ(s.deCall, "K5DRC");
  EXPECT_EQ(s.deGrid, "EM12kq");
  EXPECT_EQ(s.dxGrid, "FN31");
  EXPECT_EQ(s.subMode, "");  // null
  EXPECT_EQ(s.frequencyTolerance, 0xffffffffu);
  EXPECT_EQ(s.trPeriod, 15u);
  EXPECT_EQ(s.configurationName, "Default");
  EXPECT_EQ(s.txMessage, "W1AW K5DRC -12");
}

TEST(WsjtxRead, Decode) {
  const TDecode d = Read<TDecode>(kDecode, 2);
  EXPECT_EQ(d.id, "WSJT-X");
  EXPECT_TRUE(d.isNew);
  EXPECT_EQ(d.time, 45285000u);
  EXPECT_EQ(TimeText(d.time), "12:34:45");
  EXPECT_EQ(d.snr, -12);
  EXPECT_DOUBLE_EQ(d.deltaTime, 0.2);
  EXPECT_EQ(d.deltaFrequency, 1234u);
  EXPECT_EQ(d.mode, "~");
  EXPECT_EQ(d.message, "CQ K5DRC EM12");
  EXPECT_FALSE(d.lowConfidence);
  EXPECT_TRUE(d.offAir);
  // An older sender ends after the message; a newer one may add fields, which are ignored.
  EXPECT_FALSE(Read<TDecode>(kDecode.substr(0, kDecode.size() - 2), 2).offAir);
  EXPECT_EQ(Read<TDecode>(kDecode + Unhex("0000002a 01"), 2).message, "CQ K5DRC EM12");
}

TEST(WsjtxRead, ClearCloseLoggedAndOthers) {
  EXPECT_FALSE(Read<TClear>(kClear, 2).window);
  EXPECT_EQ(Read<TClose>(kClose, 2).id, "WSJT-X");
  const TQsoLogged q = Read<TQsoLogged>(kQsoLogged, 3);
  EXPECT_EQ(q.timeOff.julianDay, 2461019);
  EXPECT_EQ(q.timeOff.ms, 45285000u);
  EXPECT_EQ(q.timeOff.spec, 1);
  EXPECT_EQ(q.dxCall, "K5DRC");
  EXPECT_EQ(q.dxGrid, "EM12");
  EXPECT_EQ(q.txFrequency, 14075234u);
  EXPECT_EQ(q.mode, "FT8");
  EXPECT_EQ(q.reportSent, "-12");
  EXPECT_EQ(q.reportReceived, "-05");
  EXPECT_EQ(q.txPower, "100");
  EXPECT_EQ(q.timeOn.ms, 45225000u);
  EXPECT_EQ(q.myCall, "W1AW");
  EXPECT_EQ(q.myGrid, "FN31");
  const TLoggedAdif a = Read<TLoggedAdif>(kLoggedAdif, 3);
  EXPECT_NE(a.adif.find("<call:5>K5DRC"), std::string::npos);
  const TOther w = Read<TOther>(kWspr, 3);
  EXPECT_EQ(w.type, TType::WsprDecode);
  // A time spec with an offset carries it.
  std::string offset = kQsoLogged;
  const size_t spec = 22 + 8 + 4;  // after the header, the Julian day and the time
  offset[spec] = 2;
  offset.insert(spec + 1, Unhex("00000e10"));
  const TQsoLogged o = Read<TQsoLogged>(offset, 3);
  EXPECT_EQ(o.timeOff.spec, 2);
  EXPECT_EQ(o.timeOff.offset, 3600);
  EXPECT_EQ(o.dxCall, "K5DRC");
}

struct THostile {
  const char* name;
  std::string bytes;
  const char* reason;  // part of the error
};

class WsjtxHostile : public ::testing::TestWithParam<THostile> {};

TEST_P(WsjtxHostile, RefusedWithReason) {
  std::string error;
  EXPECT_FALSE(ReadDatagram(GetParam().bytes, &error));
  EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

std::string Patched(std::string s, size_t at, const std::string& bytes) {
  s.replace(at, bytes.size(), bytes);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, WsjtxHostile,
    ::testing::Values(
        THostile{"Empty", "", "shorter than its header"},
        THostile{"ElevenBytes", kDecode.substr(0, 11), "shorter than its header"},
        THostile{"WrongMagic", Patched(kDecode, 0, Unhex("adbccbdb")), "wrong magic number"},
        THostile{"SchemaZero", Patched(kDecode, 4, Unhex("00000000")), "unknown schema 0"},
        THostile{"SchemaFour", Patched(kDecode, 4, Unhex("00000004")), "unknown schema 4"},
        THostile{"UnknownType", Patched(kDecode, 8, Unhex("00000063")), "unknown message type 99"},
        THostile{"IdPastEnd", Patched(kClose, 12, Unhex("00000007")), "Id runs past the end"},
        THostile{"HugeId", Patched(kClose, 12, Unhex("7fffffff")), "Id runs past the end"},
        THostile{"NoId", kClose.substr(0, 14), "Id runs past the end"},
        // The message's length (at 22 + 1 + 4 + 4 + 8 + 4 + 5 = 48) says one byte more than
        // the 13 of the text and the 2 of the flags after it.
        THostile{"MessagePastEnd", Patched(kDecode, 48, Unhex("00000010")),
                 "Decode: field Message runs past the end"},
        THostile{"HugeMessage", Patched(kDecode, 48, Unhex("fffffffe")),
                 "Decode: field Message runs past the end"},
        THostile{"DecodeCutInDouble", kDecode.substr(0, 35), "field Delta time runs past"},
        THostile{"DecodeCutBeforeMessage", kDecode.substr(0, 52), "field Message runs past"},
        THostile{"StatusCutInMode", kStatus.substr(0, 33), "Status: field Mode runs past"},
        THostile{"QsoTimeZoneSpec", Patched(kQsoLogged, 34, Unhex("03")), "time spec 3"},
        THostile{"QsoCutInName", kQsoLogged.substr(0, 120), "QSO Logged: field"},
        THostile{"AdifPastEnd", Patched(kLoggedAdif, 22, Unhex("0000006c")),
                 "Logged ADIF: field ADIF text runs past the end"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every cut of every datagram is either refused or read; a cut inside a field the message
// always has is refused; nothing is read past the cut (the bytes after it are poison).
TEST(WsjtxHostileCuts, EveryPrefixOfEveryDatagram) {
  for (const std::string* full :
       {&kHeartbeat, &kStatus, &kDecode, &kQsoLogged, &kLoggedAdif, &kWspr, &kClear, &kClose}) {
    for (size_t n = 0; n < full->size(); ++n) {
      std::vector<uint8_t> cut(full->begin(), full->begin() + static_cast<ptrdiff_t>(n));
      std::string error;
      const auto d = ReadDatagram(cut.data(), cut.size(), &error);
      if (full == &kDecode && n < kDecode.size() - 2) {
        EXPECT_FALSE(d) << "a decode cut at " << n << " is read";
      }
      if (d && full == &kDecode) {
        EXPECT_EQ(std::get<TDecode>(d->message).message, "CQ K5DRC EM12");
      }
    }
  }
}

TEST(WsjtxRead, NullStringsAreEmptyAndMarked) {
  // Decode with a null mode and a null message.
  const std::string bytes = Unhex(
      "adbccbda 00000003 00000002 00000006 57534a542d58"
      "00 ffffffff 00000000 0000000000000000 00000000 ffffffff ffffffff");
  const TDecode d = Read<TDecode>(bytes, 3);
  EXPECT_EQ(d.message, "");
  EXPECT_FALSE(d.isNew);
  EXPECT_EQ(d.time, 0xffffffffu);
  EXPECT_EQ(TimeText(d.time), "");
}

// ---- Datagrams written: the bytes WSJT-X reads ----

struct TWritten {
  const char* name;
  std::string made;
  std::string expected;
};

class WsjtxWrite : public ::testing::TestWithParam<TWritten> {};

TEST_P(WsjtxWrite, ByteForByte) {
  EXPECT_EQ(::testing::PrintToString(GetParam().made),
            ::testing::PrintToString(GetParam().expected));
}

TDecode DecodeOf(const std::string& bytes) {
  const auto d = ReadDatagram(bytes, nullptr);
  return d ? std::get<TDecode>(d->message) : TDecode{};
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, WsjtxWrite,
    ::testing::Values(
        TWritten{"Heartbeat", WriteHeartbeat(3, "WSJT-X", 3, "Tellmark 1.0.0", ""),
                 Unhex("adbccbda 00000003 00000000 00000006 57534a542d58 00000003"
                       "0000000e 54656c6c6d61726b20312e302e30 00000000")},
        // Reply: time, snr, dt, df, mode, message, low confidence, modifiers.
        TWritten{"Reply", WriteReply(3, "WSJT-X", DecodeOf(kDecode)),
                 Unhex("adbccbda 00000003 00000004 00000006 57534a542d58 02b2fe88 fffffff4"
                       "3fc999999999999a 000004d2 00000001 7e 0000000d 4351204b3544524320454d3132"
                       "00 00")},
        // Highlight: call, background QColor (spec 1, alpha, red, green, blue, pad, 16 bits
        // each), foreground, highlight last.
        TWritten{"Highlight",
                 WriteHighlightCallsign(3, "WSJT-X", "K5DRC", TColor::Rgb(0xff, 0x50, 0x50),
                                        TColor::Rgb(0, 0, 0), false),
                 Unhex("adbccbda 00000003 0000000d 00000006 57534a542d58 00000005 4b35445243"
                       "01 ffff ffff 5050 5050 0000  01 ffff 0000 0000 0000 0000  00")},
        // An invalid QColor (spec 0, alpha 0xffff) clears the highlight.
        TWritten{"HighlightClear",
                 WriteHighlightCallsign(2, "WSJT-X", "K5DRC", TColor{}, TColor{}, true),
                 Unhex("adbccbda 00000002 0000000d 00000006 57534a542d58 00000005 4b35445243"
                       "00 ffff 0000 0000 0000 0000  00 ffff 0000 0000 0000 0000  01")},
        TWritten{"HaltTx", WriteHaltTx(3, "WSJT-X", true),
                 Unhex("adbccbda 00000003 00000008 00000006 57534a542d58 01")},
        TWritten{"FreeText", WriteFreeText(3, "WSJT-X", "TNX 73 GL", false),
                 Unhex("adbccbda 00000003 00000009 00000006 57534a542d58 00000009"
                       "544e58203733 20474c 00")},
        TWritten{"Replay", WriteReplay(2, "WSJT-X"),
                 Unhex("adbccbda 00000002 00000007 00000006 57534a542d58")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WsjtxSession, NegotiatesSchemaAsTheReferenceServer) {
  struct TCase {
    std::string heartbeat;
    uint32_t expected;
  };
  // A client offering 3 gets 3; one that names no schema gets 2; an offer above 3 gets 3.
  const std::vector<TCase> cases = {
      {kHeartbeat, 3}, {kHeartbeatOld, 2}, {Patched(kHeartbeat, 22, Unhex("00000009")), 3}};
  for (const TCase& c : cases) {
    std::vector<std::string> sent;
    TSession session({});
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(50000);
    const auto send = [&](std::string_view b, const sockaddr_in&) { sent.emplace_back(b); };
    session.Handle(c.heartbeat, from, send);
    ASSERT_EQ(sent.size(), 1u);
    // The answer: schema field, type 0, the client's id, then the highest schema spoken here.
    EXPECT_EQ(sent[0].substr(0, 12),
              Unhex("adbccbda") + std::string(3, '\0') + char(c.expected) + std::string(4, '\0'));
    EXPECT_EQ(sent[0].substr(12, 10), Unhex("00000006 57534a542d58"));
    EXPECT_EQ(sent[0].substr(22, 4), Unhex("00000003"));
    EXPECT_EQ(session.Find("WSJT-X")->schema, c.expected);
    // The same heartbeat again is not answered.
    session.Handle(c.heartbeat, from, send);
    EXPECT_EQ(sent.size(), 1u);
  }
}

TEST(WsjtxSession, StatusThenDecodeCloseForgetsClient) {
  std::vector<std::string> got;
  TSession::THandlers h;
  h.decode = [&](const TClient& c, const TDecode& d) {
    got.push_back(d.message + " @" + std::to_string(c.dialFrequency) + " " + c.mode);
  };
  h.close = [&](const TClient& c) { got.push_back("close " + c.id); };
  h.clear = [&](const TClient& c) { got.push_back("clear " + c.id); };
  h.refused = [&](const std::string& why) { got.push_back("refused: " + why); };
  TSession session(h);
  sockaddr_in from{};
  session.Handle(kStatus, from, nullptr);
  session.Handle(kDecode, from, nullptr);
  session.Handle(kClear, from, nullptr);
  session.Handle("garbage", from, nullptr);
  session.Handle(kClose, from, nullptr);
  EXPECT_EQ(got, (std::vector<std::string>{"CQ K5DRC EM12 @14074000 FT8", "clear WSJT-X",
                                           "refused: shorter than its header (7 bytes)",
                                           "close WSJT-X"}));
  EXPECT_TRUE(session.Clients().empty());
  EXPECT_EQ(session.Refused(), 1u);
}

TEST(WsjtxSession, ManySendersKeepTheNewestClients) {
  TSession session({});
  sockaddr_in from{};
  from.sin_family = AF_INET;
  // 100 senders, each from its own port: only the last kMaxClients stay.
  for (uint16_t port = 1; port <= 100; ++port) {
    from.sin_port = htons(port);
    session.Handle(kStatus, from, nullptr);
  }
  EXPECT_EQ(session.Clients().size(), TSession::kMaxClients);
  for (const auto& [key, c] : session.Clients()) EXPECT_GT(ntohs(c.from.sin_port), 100 - 32);
}

// ---- Message texts ----

struct TTextCase {
  const char* message;
  bool cq;
  const char* cqTarget;
  const char* caller;
  const char* called;
  const char* grid;
  const char* report;
  bool callerHashed, calledHashed, freeText;
};

class WsjtxText : public ::testing::TestWithParam<TTextCase> {};

TEST_P(WsjtxText, CallsGridAndReport) {
  const TTextCase& c = GetParam();
  const TMessageText m = ReadMessageText(c.message);
  EXPECT_EQ(m.cq, c.cq);
  EXPECT_EQ(m.cqTarget, c.cqTarget);
  EXPECT_EQ(m.caller, c.caller);
  EXPECT_EQ(m.called, c.called);
  EXPECT_EQ(m.grid, c.grid);
  EXPECT_EQ(m.report, c.report);
  EXPECT_EQ(m.callerHashed, c.callerHashed);
  EXPECT_EQ(m.calledHashed, c.calledHashed);
  EXPECT_EQ(m.freeText, c.freeText);
}

// message, cq, target, caller (sends), called, grid, report, hashed caller, hashed called, free
INSTANTIATE_TEST_SUITE_P(
    Messages, WsjtxText,
    ::testing::Values(
        TTextCase{"CQ K5DRC EM12", true, "", "K5DRC", "", "EM12", "", false, false, false},
        TTextCase{"CQ DX K5DRC EM12", true, "DX", "K5DRC", "", "EM12", "", false, false, false},
        TTextCase{"CQ POTA K5DRC EM12", true, "POTA", "K5DRC", "", "EM12", "", false, false, false},
        TTextCase{"CQ 290 K5DRC EM12", true, "290", "K5DRC", "", "EM12", "", false, false, false},
        TTextCase{"CQ K5DRC", true, "", "K5DRC", "", "", "", false, false, false},
        TTextCase{"QRZ K5DRC EM12", true, "", "K5DRC", "", "EM12", "", false, false, false},
        TTextCase{"CQ K5DRC/R EM12", true, "", "K5DRC/R", "", "EM12", "", false, false, false},
        TTextCase{"W1AW K5DRC EM12", false, "", "K5DRC", "W1AW", "EM12", "", false, false, false},
        TTextCase{"W1AW K5DRC -12", false, "", "K5DRC", "W1AW", "", "-12", false, false, false},
        TTextCase{"W1AW K5DRC +03", false, "", "K5DRC", "W1AW", "", "+03", false, false, false},
        TTextCase{"W1AW K5DRC R-05", false, "", "K5DRC", "W1AW", "", "R-05", false, false, false},
        TTextCase{"W1AW K5DRC RR73", false, "", "K5DRC", "W1AW", "", "RR73", false, false, false},
        TTextCase{"W1AW K5DRC RRR", false, "", "K5DRC", "W1AW", "", "RRR", false, false, false},
        TTextCase{"W1AW K5DRC 73", false, "", "K5DRC", "W1AW", "", "73", false, false, false},
        TTextCase{"W1AW K5DRC", false, "", "K5DRC", "W1AW", "", "", false, false, false},
        TTextCase{"W1AW/R K5DRC/R R EM12", false, "", "K5DRC/R", "W1AW/R", "EM12", "R", false,
                  false, false},
        TTextCase{"<...> K5DRC", false, "", "K5DRC", "", "", "", false, true, false},
        TTextCase{"<...> K5DRC -07", false, "", "K5DRC", "", "", "-07", false, true, false},
        TTextCase{"W1AW <...> RR73", false, "", "", "W1AW", "", "RR73", true, false, false},
        TTextCase{"<VE3/K5DRC> W1AW", false, "", "W1AW", "VE3/K5DRC", "", "", false, true, false},
        TTextCase{"W1AW <VE3/K5DRC> RRR", false, "", "VE3/K5DRC", "W1AW", "", "RRR", true, false,
                  false},
        TTextCase{"CQ <VE3/K5DRC>", true, "", "VE3/K5DRC", "", "", "", true, false, false},
        TTextCase{"CQ VE3/K5DRC", true, "", "VE3/K5DRC", "", "", "", false, false, false},
        TTextCase{"CQ PJ4/K1ABC", true, "", "PJ4/K1ABC", "", "", "", false, false, false},
        TTextCase{"K1ABC RR73; W9XYZ <KH1/KH7Z> -08", false, "", "KH1/KH7Z", "W9XYZ", "", "-08",
                  true, false, false},
        TTextCase{"W9XYZ K1ABC R 17B EMA", false, "", "K1ABC", "W9XYZ", "", "R 17B EMA", false,
                  false, false},
        TTextCase{"TU; W9XYZ K1ABC R 579 MA", false, "", "K1ABC", "W9XYZ", "", "R 579 MA", false,
                  false, false},
        TTextCase{"PA3XYZ/P GM4ABC/P R 590003 IO91NP", false, "", "GM4ABC/P", "PA3XYZ/P", "IO91NP",
                  "R 590003", false, false, false},
        // Decoder marks after the message are no part of it.
        TTextCase{"CQ K5DRC EM12                         ? a1", true, "", "K5DRC", "", "EM12", "",
                  false, false, false},
        TTextCase{"W1AW K5DRC -12 a3", false, "", "K5DRC", "W1AW", "", "-12", false, false, false},
        TTextCase{"TNX BOB 73 GL", false, "", "", "", "", "", false, false, true},
        TTextCase{"123456789ABCDEF012", false, "", "", "", "", "", false, false, true},
        TTextCase{"CQ DX", false, "", "", "", "", "", false, false, true},
        TTextCase{"", false, "", "", "", "", "", false, false, true}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(WsjtxText, GridShapes) {
  EXPECT_TRUE(IsGridText("EM12"));
  EXPECT_TRUE(IsGridText("IO91NP"));
  EXPECT_FALSE(IsGridText("RR73"));
  EXPECT_FALSE(IsGridText("SS12"));
  EXPECT_FALSE(IsGridText("EM1"));
  EXPECT_TRUE(LooksLikeCall("VE3/K5DRC"));
  EXPECT_TRUE(LooksLikeCall("3D2AG"));
  EXPECT_FALSE(LooksLikeCall("POTA"));
  EXPECT_FALSE(LooksLikeCall("K5DRC//P"));
  EXPECT_FALSE(LooksLikeCall("73"));
}

// ---- Bands, modes, the log ----

TEST(WsjtxLog, BandsAndModes) {
  // The ADIF band enumeration's limits.
  EXPECT_EQ(BandOfFrequency(14074000), "20m");
  EXPECT_EQ(BandOfFrequency(7074000), "40m");
  EXPECT_EQ(BandOfFrequency(50313000), "6m");
  EXPECT_EQ(BandOfFrequency(144174000), "2m");
  EXPECT_EQ(BandOfFrequency(1840000), "160m");
  EXPECT_EQ(BandOfFrequency(14350001), "");
  EXPECT_EQ(LogMode("MFSK", "FT4"), "FT4");
  EXPECT_EQ(LogMode("ft8"), "FT8");
  EXPECT_EQ(ModeOfMark("~"), "FT8");
  EXPECT_EQ(ModeOfMark("+"), "FT4");
  EXPECT_EQ(ModeOfMark("?"), "");
}

// The fixture edition with entity rows and the states it uses (zones from the DXCC list).
TBuildInput InputWithEntities() {
  TBuildInput in = fixture::Input();
  for (TEntity e : std::vector<TEntity>{{291, "United States", "NA", 5, 8, {"K", "N", "W", "AA"}},
                                        {230, "Fed. Rep. of Germany", "EU", 14, 28, {"DL", "DA"}},
                                        {223, "England", "EU", 14, 27, {"G", "M"}},
                                        {339, "Japan", "AS", 25, 45, {"JA"}},
                                        {1, "Canada", "NA", 5, 9, {"VE", "VA"}}})
    in.entities.AddEntity(std::move(e));
  for (TStateZones z : std::vector<TStateZones>{{"CT", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"MA", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"IL", 291, {4, 0, 0}, {8, 0, 0}},
                                                {"CO", 291, {4, 0, 0}, {7, 0, 0}},
                                                {"NY", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"TX", 291, {4, 0, 0}, {7, 0, 0}},
                                                {"ME", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"OH", 291, {4, 0, 0}, {8, 0, 0}},
                                                {"CA", 291, {3, 0, 0}, {6, 0, 0}},
                                                {"GA", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"NE", 291, {4, 0, 0}, {7, 0, 0}},
                                                {"OR", 291, {3, 0, 0}, {6, 0, 0}},
                                                {"FL", 291, {5, 0, 0}, {8, 0, 0}},
                                                {"OK", 291, {4, 0, 0}, {7, 0, 0}}})
    in.entities.AddState(std::move(z));
  return in;
}

class WsjtxFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AllocIndexCaches());
    edition_ = new TestDir;
    fixture::WriteEditionFiles(InputWithEntities(), edition_->path());
    SetHomeDir(edition_->path());
    OpenDataSet();
    callbook_ = new TCallbook;
    callbook_->Open();
  }
  static void TearDownTestSuite() {
    delete callbook_;
    CloseDataSet();
    delete edition_;
    FreeIndexCaches();
  }
  static TestDir* edition_;
  static TCallbook* callbook_;
};
TestDir* WsjtxFixture::edition_ = nullptr;
TCallbook* WsjtxFixture::callbook_ = nullptr;

TDecode Decode(const std::string& message, uint32_t df = 1500) {
  TDecode d;
  d.id = "WSJT-X";
  d.time = 45285000;
  d.snr = -10;
  d.deltaTime = 0.1;
  d.deltaFrequency = df;
  d.mode = "~";
  d.message = message;
  return d;
}

TEST_F(WsjtxFixture, AnnotationFromTheDirectory) {
  const TAnnotator annotator(*callbook_);
  TDecodeContext ctx;
  ctx.dialFrequency = 14074000;
  ctx.statusMode = "FT8";
  ctx.myLocator = "JO62QM";
  // W1AW sends no grid: the directory's (from its coordinates), distance from Berlin.
  TAnnotation a = annotator.Annotate(Decode("K1ABC W1AW -12"), ctx);
  ASSERT_TRUE(a.record);
  EXPECT_EQ(a.record->call, "W1AW");
  EXPECT_EQ(a.record->state, "CT");
  EXPECT_EQ(a.record->county, "HARTFORD");
  EXPECT_EQ(a.gridSource, "directory");
  EXPECT_EQ(a.grid, a.record->grid);
  EXPECT_EQ(a.grid.substr(0, 4), "FN31");  // 41.71 N 72.73 W
  EXPECT_EQ(a.band, "20m");
  EXPECT_EQ(a.mode, "FT8");
  ASSERT_TRUE(a.distanceKm);
  // Berlin (JO62QM) to Newington: about 6,350 km great circle, heading about 295 degrees.
  EXPECT_NEAR(*a.distanceKm, 6350, 150);
  EXPECT_NEAR(*a.heading, 295, 5);
  EXPECT_FALSE(a.flags);
  EXPECT_EQ(a.record->dxccCode, 291);
  EXPECT_EQ(a.record->cqZone, 5);
  EXPECT_EQ(a.record->ituZone, 8);
  EXPECT_EQ(a.record->continent, "NA");
  // The grid a message sends wins; an unknown call has no record and invents nothing.
  a = annotator.Annotate(Decode("CQ W1AW FN42"), ctx);
  EXPECT_EQ(a.grid, "FN42");
  EXPECT_EQ(a.gridSource, "message");
  a = annotator.Annotate(Decode("CQ ZZ9ZZZ"), ctx);
  EXPECT_FALSE(a.record);
  EXPECT_EQ(a.grid, "");
  EXPECT_FALSE(a.distanceKm);
  // A call that sorts between entries is not given its neighbour's entry.
  EXPECT_FALSE(annotator.Annotate(Decode("CQ W1AX"), ctx).record);
  // With designators: the base call's entry.
  a = annotator.Annotate(Decode("CQ K1ABC/P"), ctx);
  ASSERT_TRUE(a.record);
  EXPECT_EQ(a.record->call, "K1ABC");
}

TEST_F(WsjtxFixture, FlagsFromTheLog) {
  const TAnnotator annotator(*callbook_);
  TestDir dir;
  // Worked: W1AW on 20 m FT8 (no DXCC field: from the directory), K1ABC on 40 m FT4 with its
  // fields, a Texas county, grid FN42.
  const std::string adif =
      "log\n<EOH>\n"
      "<CALL:4>W1AW <BAND:3>20m <MODE:3>FT8 <EOR>\n"
      "<CALL:5>K1ABC <FREQ:8>7.047500 <MODE:4>MFSK <SUBMODE:3>FT4 <DXCC:3>291 <STATE:2>MA "
      "<CNTY:10>MA,Suffolk <GRIDSQUARE:6>FN42aa <CQZ:1>5 <EOR>\n"
      "<CALL:6>KB2AAA <BAND:3>20m <MODE:3>FT8 <DXCC:3>291 <STATE:2>TX <CNTY:9>TX,Travis "
      "<EOR>\n";
  { std::ofstream(dir.file("log.adi")) << adif; }
  TWorkedLog log;
  std::string error;
  ASSERT_TRUE(log.Load(dir.file("log.adi"), annotator.Source(), &error)) << error;
  EXPECT_EQ(log.Contacts(), 3u);
  EXPECT_TRUE(log.Worked("W1AW", "20m", "FT8"));
  EXPECT_TRUE(log.Worked("K1ABC", "40m", "FT4"));
  EXPECT_TRUE(log.HasState("CT"));  // W1AW's from the directory
  EXPECT_TRUE(log.HasCounty("CT,HARTFORD"));
  EXPECT_TRUE(log.HasCounty("MA,SUFFOLK"));
  EXPECT_TRUE(log.HasGrid("FN42"));

  TDecodeContext ctx;
  ctx.dialFrequency = 14074000;
  ctx.statusMode = "FT8";
  ctx.log = &log;
  struct TCase {
    const char* message;
    bool worked, newEntity, newState, newCounty, newGrid;
  };
  const TCase cases[] = {
      // Worked on 20 m FT8; its contact logged no grid, so FN31 is new.
      {"CQ W1AW FN31", true, false, false, false, true},
      {"CQ K1ABC FN42", false, false, false, false, false},  // worked on 40 m FT4 only
      {"CQ W9ZZ", false, false, true, true, false},          // Illinois: new state and county
  };
  for (const TCase& c : cases) {
    const TAnnotation a = annotator.Annotate(Decode(c.message), ctx);
    ASSERT_TRUE(a.flags) << c.message;
    EXPECT_EQ(a.flags->workedBefore, c.worked) << c.message;
    EXPECT_EQ(a.flags->newState, c.newState) << c.message;
    EXPECT_EQ(a.flags->newCounty, c.newCounty) << c.message;
    EXPECT_EQ(a.flags->newGrid, c.newGrid) << c.message;
    EXPECT_EQ(a.flags->newEntity, c.newEntity) << c.message;
  }
  // Zones: CT and MA are zone 5, KB2AAA's Oregon zone 3; Illinois is zone 4.
  EXPECT_TRUE(annotator.Annotate(Decode("CQ W9ZZ"), ctx).flags->newZone);
  EXPECT_FALSE(annotator.Annotate(Decode("CQ W1AW"), ctx).flags->newZone);
  // A new entity: Germany is not in the log.
  const TAnnotation dl = annotator.Annotate(Decode("CQ DL1ABC JO62"), ctx);
  ASSERT_TRUE(dl.record);
  EXPECT_EQ(dl.record->dxccCode, 230);
  EXPECT_TRUE(dl.flags->newEntity);
  EXPECT_TRUE(dl.flags->newZone);
  EXPECT_FALSE(dl.flags->newState);  // states count only in the U.S.
  // The log changes on disk: read again, W9ZZ's state is no longer new.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    std::ofstream(dir.file("log.adi"), std::ios::app)
        << "<CALL:4>W9ZZ <BAND:3>40m <MODE:3>SSB <EOR>\n";
  }
  EXPECT_TRUE(log.ReloadIfChanged(annotator.Source(), &error));
  EXPECT_EQ(log.Contacts(), 4u);
  EXPECT_FALSE(annotator.Annotate(Decode("CQ W9ZZ"), ctx).flags->newState);
  // A contact WSJT-X logs counts at once.
  const auto q = ReadDatagram(kQsoLogged, nullptr);
  log.Add(ContactOfLogged(std::get<TQsoLogged>(q->message), annotator.Source()));
  EXPECT_TRUE(log.Worked("K5DRC", "20m", "FT8"));
  EXPECT_TRUE(log.HasGrid("EM12"));
}

#ifdef TELLMARK_LOOKUP_BIN
// ---- tellmark-lookup --wsjtx ----

int FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// Runs a program, its standard output read into out.
int RunProgram(const std::vector<std::string>& args, std::string& out) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    ::dup2(pipeFd[1], 1);
    ::close(pipeFd[0]);
    ::close(pipeFd[1]);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(pipeFd[1]);
  char buf[65536];
  ssize_t n;
  while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(pipeFd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A decode datagram written field by field as the layout gives it (header, new, time, snr, dt,
// df, mode, message, low confidence, off air).
std::string DecodeBytes(uint32_t df, const std::string& message) {
  const auto be32 = [](uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16 & 0xff), char(v >> 8 & 0xff), char(v & 0xff)};
  };
  return Unhex(
             "adbccbda 00000002 00000002 00000006 57534a542d58 01 02b2fe88 fffffff6"
             "3fb999999999999a") +
         be32(df) + Unhex("00000001 7e") + be32(static_cast<uint32_t>(message.size())) + message +
         Unhex("00 00");
}

struct TBadLine {
  std::vector<std::string> args;
  const char* message;
};

class WsjtxProgramLine : public ::testing::TestWithParam<TBadLine> {};

// Each bad command line stops with status 2 and says why, before any socket is opened.
TEST_P(WsjtxProgramLine, RefusedWithStatusTwo) {
  std::vector<std::string> args = {"/bin/sh", "-c",
                                   std::string(TELLMARK_LOOKUP_BIN) + " --data /nonexistent"};
  for (const std::string& a : GetParam().args) args[2] += " '" + a + "'";
  args[2] += " 2>&1";
  std::string out;
  EXPECT_EQ(RunProgram(args, out), 2) << out;
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WsjtxProgramLine,
    ::testing::Values(TBadLine{{"--wsjtx", "70000"}, "not a port 1-65535"},
                      TBadLine{{"--wsjtx", "localhost:2237"}, "not an IPv4 address"},
                      TBadLine{{"--wsjtx", "127.0.0.1:"}, "not a port"},
                      TBadLine{{"--log", "x.adi"}, "--log and --locator go with --wsjtx"},
                      TBadLine{{"--wsjtx", "--json"}, "--wsjtx goes alone"},
                      TBadLine{{"--wsjtx", "2237", "--locator", "ZZ99"},
                               "--locator: not a Maidenhead locator"}));

TEST(WsjtxProgram, TwoThousandDecodesInOneSecondEachMatchesJson) {
  TestDir dir;
  fixture::WriteEditionFiles(InputWithEntities(), dir.path());
  ::setenv("TELLMARK_INI", dir.file("none.ini").c_str(), 1);
  // The calls: the fixture's generated ones, hand-made ones, designators.
  std::vector<std::string> calls = {"W1AW",     "K1ABC",  "W9ZZ",  "K1ABC/P",
                                    "VE3/W1AW", "DL1ABC", "G3XYZ", "JA1AA"};
  for (int i = 0; i < 120; ++i) {
    std::string c = "KB";
    c += static_cast<char>('1' + i % 9);
    c += static_cast<char>('A' + i / 9 / 26 / 26 % 26);
    c += static_cast<char>('A' + i / 9 / 26 % 26);
    c += static_cast<char>('A' + i / 9 % 26);
    calls.push_back(c);
  }
  // What tellmark-lookup --json says of each.
  std::vector<std::string> args = {TELLMARK_LOOKUP_BIN, "--data", dir.path(), "--json"};
  args.insert(args.end(), calls.begin(), calls.end());
  std::string jsonText;
  ASSERT_EQ(RunProgram(args, jsonText), 0) << jsonText;
  const json expected = json::parse(jsonText);
  ASSERT_EQ(expected.size(), calls.size());

  const int port = FreeUdpPort();
  int outPipe[2];
  ASSERT_EQ(::pipe(outPipe), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(outPipe[1], 1);
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    const std::string where = "127.0.0.1:" + std::to_string(port);
    ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", dir.path().c_str(), "--wsjtx",
            where.c_str(), "--locator", "FN31pr", static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(outPipe[1]);

  constexpr int kDecodes = 2000;
  using clock = std::chrono::steady_clock;
  std::vector<clock::time_point> sentAt(kDecodes), readAt(kDecodes);
  std::vector<std::string> lines;
  std::thread reader([&] {
    std::string pending;
    char buf[65536];
    const auto deadline = clock::now() + std::chrono::seconds(60);
    while (static_cast<int>(lines.size()) < kDecodes && clock::now() < deadline) {
      pollfd p{outPipe[0], POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      const ssize_t n = ::read(outPipe[0], buf, sizeof buf);
      if (n <= 0) break;
      const auto now = clock::now();
      pending.append(buf, static_cast<size_t>(n));
      size_t nl;
      while ((nl = pending.find('\n')) != std::string::npos) {
        lines.push_back(pending.substr(0, nl));
        const json j = json::parse(lines.back(), nullptr, false);
        if (j.is_object() && j.contains("df")) {
          const int df = j["df"].get<int>() - 200;
          if (df >= 0 && df < kDecodes) readAt[static_cast<size_t>(df)] = now;
        }
        pending.erase(0, nl + 1);
      }
    }
  });

  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Wait for the listener: a heartbeat is answered once it is up (at most 10 s).
  const int hbfd = fd;
  timeval tv{0, 100000};
  ::setsockopt(hbfd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {
    ::sendto(fd, kHeartbeat.data(), kHeartbeat.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to);
    char answer[512];
    up = ::recv(fd, answer, sizeof answer, 0) > 0;
  }
  ASSERT_TRUE(up) << "tellmark-lookup --wsjtx did not answer a heartbeat";
  ::sendto(fd, kStatus.data(), kStatus.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);

  const char* const shapes[] = {"CQ %s", "W1AW %s -12", "K1ABC %s R-05", "CQ DX %s",
                                "<...> %s RR73"};
  std::vector<size_t> callOf(kDecodes);
  const auto start = clock::now();
  for (int i = 0; i < kDecodes; ++i) {
    // Two decodes a millisecond: 2,000 in one second.
    std::this_thread::sleep_until(start + std::chrono::microseconds(500 * i));
    callOf[static_cast<size_t>(i)] = static_cast<size_t>(i) % calls.size();
    char text[64];
    std::snprintf(text, sizeof text, shapes[i % 5], calls[callOf[static_cast<size_t>(i)]].c_str());
    const std::string bytes = DecodeBytes(200 + static_cast<uint32_t>(i), text);
    sentAt[static_cast<size_t>(i)] = clock::now();
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  const double sendSeconds = std::chrono::duration<double>(clock::now() - start).count();
  reader.join();
  ::close(fd);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(outPipe[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_LT(sendSeconds, 1.5);

  ASSERT_EQ(lines.size(), static_cast<size_t>(kDecodes));
  std::vector<double> latencyMs;
  for (const std::string& line : lines) {
    const json j = json::parse(line);
    const int i = j["df"].get<int>() - 200;
    ASSERT_GE(i, 0);
    ASSERT_LT(i, kDecodes);
    const std::string& call = calls[callOf[static_cast<size_t>(i)]];
    EXPECT_EQ(j.value("de", ""), call) << line;
    EXPECT_EQ(j.value("frequency", 0), 14074000 + 200 + i) << line;
    EXPECT_EQ(j.value("band", ""), "20m");
    EXPECT_EQ(j.value("mode", ""), "FT8");
    EXPECT_EQ(j.value("snr", 0), -10);
    EXPECT_EQ(j["dt"].dump(), "0.1");
    EXPECT_EQ(j.value("time", ""), "12:34:45");
    const json& want = expected[callOf[static_cast<size_t>(i)]];
    if (want["match"] == "exact" || want["match"] == "base-call") {
      ASSERT_TRUE(j.contains("record")) << line;
      EXPECT_EQ(j["record"], want) << line;
    } else {
      EXPECT_FALSE(j.contains("record")) << line;
    }
    latencyMs.push_back(std::chrono::duration<double, std::milli>(readAt[static_cast<size_t>(i)] -
                                                                  sentAt[static_cast<size_t>(i)])
                            .count());
  }
  std::sort(latencyMs.begin(), latencyMs.end());
  const double p50 = latencyMs[latencyMs.size() / 2];
  const double p99 = latencyMs[latencyMs.size() * 99 / 100];
  std::printf("datagram to line: p50 %.3f ms, p99 %.3f ms, max %.3f ms (%d decodes in %.3f s)\n",
              p50, p99, latencyMs.back(), kDecodes, sendSeconds);
  RecordProperty("p99_ms", std::to_string(p99));
}
#endif

}  // namespace
