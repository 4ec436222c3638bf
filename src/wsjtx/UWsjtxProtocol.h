#pragma once
// The WSJT-X UDP message protocol: datagrams read and written byte for byte as the program's
// network message description lays them out (big-endian QDataStream fields after a magic number
// and a schema number). Reading never goes past the datagram: a short or damaged datagram is
// refused with a reason; message types this side does not use are recognised and skipped.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace wsjtx {

inline constexpr uint32_t kMagic = 0xadbccbda;
// The highest schema this side speaks (QDataStream Qt_5_4 layouts).
inline constexpr uint32_t kSchema = 3;
// WSJT-X sends a heartbeat every this many seconds.
inline constexpr int kPulseSeconds = 15;
// Largest datagram read; larger ones are cut by the socket and refused as damaged.
inline constexpr size_t kMaxDatagram = 65536;

enum class TType : uint32_t {
  Heartbeat = 0,
  Status = 1,
  Decode = 2,
  Clear = 3,
  Reply = 4,
  QsoLogged = 5,
  Close = 6,
  Replay = 7,
  HaltTx = 8,
  FreeText = 9,
  WsprDecode = 10,
  Location = 11,
  LoggedAdif = 12,
  HighlightCallsign = 13,
  SwitchConfiguration = 14,
  Configure = 15,
  AnnotationInfo = 16,
};

// A utf8 field: QByteArray with length 0xffffffff for null (read as empty, null set).
struct TText {
  std::string text;
  bool null = false;
};

// QDateTime: Julian day, milliseconds since midnight, time spec (0 local, 1 UTC, 2 offset
// seconds), offset when the spec is 2. Spec 3 (a named time zone) is not used by WSJT-X and is
// refused.
struct TDateTime {
  int64_t julianDay = 0;
  uint32_t ms = 0;
  uint8_t spec = 1;
  int32_t offset = 0;
};

struct THeartbeat {
  std::string id;
  uint32_t maxSchema = 2;  // absent in older senders: 2
  std::string version, revision;
};

struct TStatus {
  std::string id;
  uint64_t dialFrequency = 0;  // Hz
  std::string mode, dxCall, report, txMode;
  bool txEnabled = false, transmitting = false, decoding = false;
  uint32_t rxDf = 0, txDf = 0;
  std::string deCall, deGrid, dxGrid;
  bool txWatchdog = false;
  std::string subMode;
  bool fastMode = false;
  uint8_t specialOperation = 0;
  uint32_t frequencyTolerance = 0xffffffff, trPeriod = 0xffffffff;
  std::string configurationName, txMessage;
};

struct TDecode {
  std::string id;
  bool isNew = true;
  uint32_t time = 0;  // ms since midnight UTC; 0xffffffff = none
  int32_t snr = 0;
  double deltaTime = 0;         // s
  uint32_t deltaFrequency = 0;  // Hz above the dial frequency
  std::string mode;             // the decode's mode mark ("~" FT8, "+" FT4, ...)
  std::string message;
  bool lowConfidence = false;
  bool offAir = false;
};

struct TClear {
  std::string id;
  std::optional<uint8_t> window;
};

struct TQsoLogged {
  std::string id;
  TDateTime timeOff;
  std::string dxCall, dxGrid;
  uint64_t txFrequency = 0;
  std::string mode, reportSent, reportReceived, txPower, comments, name;
  TDateTime timeOn;
  std::string operatorCall, myCall, myGrid, exchangeSent, exchangeReceived, propagationMode;
};

struct TClose {
  std::string id;
};

struct TLoggedAdif {
  std::string id;
  std::string adif;
};

// A message type that is valid but not read here (Reply, Replay, WSPR decodes, ...).
struct TOther {
  std::string id;
  TType type = TType::Heartbeat;
};

using TMessage =
    std::variant<THeartbeat, TStatus, TDecode, TClear, TQsoLogged, TClose, TLoggedAdif, TOther>;

struct TDatagram {
  uint32_t schema = 0;
  TMessage message;
};

// The datagram's message, or nullopt with the reason in error ("shorter than its header",
// "wrong magic number 0x...", "unknown schema 7", "unknown message type 99", "Decode: field
// Message runs past the end"). Fields a newer sender appends are ignored; fields an older
// sender leaves off keep their defaults where the protocol added them later.
std::optional<TDatagram> ReadDatagram(const uint8_t* data, size_t size, std::string* error);
inline std::optional<TDatagram> ReadDatagram(std::string_view bytes, std::string* error) {
  return ReadDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), error);
}

// The id of any message.
const std::string& MessageId(const TMessage& m);
// "Heartbeat", "Decode", ...
const char* TypeName(TType t);

// A colour as QDataStream writes QColor: spec 1 (RGB) with 16-bit components, or the invalid
// colour (spec 0) that clears a highlight.
struct TColor {
  bool valid = false;
  uint8_t red = 0, green = 0, blue = 0, alpha = 255;
  static TColor Rgb(uint8_t r, uint8_t g, uint8_t b) { return {true, r, g, b, 255}; }
};

// Datagrams to WSJT-X; schema is the one negotiated with it (2 or 3: the layouts are the same).
std::string WriteHeartbeat(uint32_t schema, std::string_view id, uint32_t maxSchema,
                           std::string_view version, std::string_view revision);
// Answers a CQ or QRZ decode as a double-click on it would: the decode's fields as received.
std::string WriteReply(uint32_t schema, std::string_view id, const TDecode& decode,
                       uint8_t modifiers = 0);
std::string WriteHighlightCallsign(uint32_t schema, std::string_view id, std::string_view call,
                                   TColor background, TColor foreground, bool lastPeriodOnly);
std::string WriteHaltTx(uint32_t schema, std::string_view id, bool autoTxOnly);
std::string WriteFreeText(uint32_t schema, std::string_view id, std::string_view text, bool send);
std::string WriteReplay(uint32_t schema, std::string_view id);

// Schema negotiation as the reference server does it: a client starts at schema 2; its
// heartbeat names the highest it speaks, and both sides then use the lower of that and kSchema.
inline uint32_t NegotiatedSchema(uint32_t clientMax) {
  return clientMax < 2 ? 2 : clientMax < kSchema ? clientMax : kSchema;
}

// "12:34:45" of a time in ms since midnight; empty for 0xffffffff or a time past the day.
std::string TimeText(uint32_t ms);

}  // namespace wsjtx
