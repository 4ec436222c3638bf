#include "wsjtx/UWsjtxProtocol.h"

#include <cstdio>
#include <cstring>

namespace wsjtx {

namespace {

// Reads big-endian QDataStream fields; the first field that does not fit stops it.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Ok() const { return failed_.empty(); }
  const std::string& Failed() const { return failed_; }
  bool AtEnd() const { return p_ == end_; }
  size_t Left() const { return static_cast<size_t>(end_ - p_); }

  template <typename T>
  T Unsigned(const char* field) {
    T v = 0;
    if (!Take(sizeof(T), field)) return v;
    for (size_t i = 0; i < sizeof(T); ++i) v = static_cast<T>((v << 8) | p_[i]);
    p_ += sizeof(T);
    return v;
  }
  uint8_t U8(const char* f) { return Unsigned<uint8_t>(f); }
  uint32_t U32(const char* f) { return Unsigned<uint32_t>(f); }
  uint64_t U64(const char* f) { return Unsigned<uint64_t>(f); }
  int32_t I32(const char* f) { return static_cast<int32_t>(U32(f)); }
  int64_t I64(const char* f) { return static_cast<int64_t>(U64(f)); }
  bool Bool(const char* f) { return U8(f) != 0; }
  double Double(const char* f) {
    const uint64_t bits = U64(f);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // utf8: quint32 length and the bytes; 0xffffffff is the null text.
  std::string Utf8(const char* field, bool* null = nullptr) {
    const uint32_t n = U32(field);
    if (!Ok()) return {};
    if (null) *null = n == 0xffffffffu;
    if (n == 0xffffffffu) return {};
    if (!Take(n, field)) return {};
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }
  TDateTime DateTime(const char* field) {
    TDateTime t;
    t.julianDay = I64(field);
    t.ms = U32(field);
    t.spec = U8(field);
    if (t.spec == 2) t.offset = I32(field);
    if (Ok() && t.spec > 2)
      Fail(std::string("field ") + field + " has time spec " + std::to_string(t.spec) +
           ", which is not read");
    return t;
  }
  void Fail(std::string why) {
    if (failed_.empty()) failed_ = std::move(why);
    p_ = end_;
  }

 private:
  bool Take(size_t n, const char* field) {
    if (!Ok()) return false;
    if (n > Left()) {
      Fail(std::string("field ") + field + " runs past the end");
      return false;
    }
    return true;
  }
  const uint8_t* p_;
  const uint8_t* end_;
  std::string failed_;
};

// Writes big-endian QDataStream fields.
class TWriter {
 public:
  TWriter(uint32_t schema, TType type, std::string_view id) {
    U32(kMagic);
    U32(schema);
    U32(static_cast<uint32_t>(type));
    Utf8(id);
  }
  template <typename T>
  TWriter& Unsigned(T v) {
    for (int i = static_cast<int>(sizeof(T)) - 1; i >= 0; --i)
      out_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    return *this;
  }
  TWriter& U8(uint8_t v) { return Unsigned(v); }
  TWriter& U16(uint16_t v) { return Unsigned(v); }
  TWriter& U32(uint32_t v) { return Unsigned(v); }
  TWriter& I32(int32_t v) { return Unsigned(static_cast<uint32_t>(v)); }
  TWriter& Bool(bool v) { return U8(v ? 1 : 0); }
  TWriter& Double(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return Unsigned(bits);
  }
  TWriter& Utf8(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    out_.append(s);
    return *this;
  }
  // QColor: qint8 spec, quint16 alpha, red, green, blue, pad.
  TWriter& Color(const TColor& c) {
    if (!c.valid) return U8(0).U16(0xffff).U16(0).U16(0).U16(0).U16(0);
    const auto wide = [](uint8_t v) { return static_cast<uint16_t>(v * 0x101); };
    return U8(1).U16(wide(c.alpha)).U16(wide(c.red)).U16(wide(c.green)).U16(wide(c.blue)).U16(0);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

THeartbeat ReadHeartbeat(TReader& r, std::string id) {
  THeartbeat m;
  m.id = std::move(id);
  // The later fields are optional: a sender without them speaks schema 2.
  if (r.AtEnd()) return m;
  m.maxSchema = r.U32("Maximum schema number");
  if (r.AtEnd()) return m;
  m.version = r.Utf8("version");
  if (r.AtEnd()) return m;
  m.revision = r.Utf8("revision");
  return m;
}

TStatus ReadStatus(TReader& r, std::string id) {
  TStatus m;
  m.id = std::move(id);
  m.dialFrequency = r.U64("Dial Frequency");
  m.mode = r.Utf8("Mode");
  m.dxCall = r.Utf8("DX call");
  m.report = r.Utf8("Report");
  m.txMode = r.Utf8("Tx Mode");
  m.txEnabled = r.Bool("Tx Enabled");
  m.transmitting = r.Bool("Transmitting");
  // Every field from here on was added by a later version of the sender.
  if (r.AtEnd()) return m;
  m.decoding = r.Bool("Decoding");
  if (r.AtEnd()) return m;
  m.rxDf = r.U32("Rx DF");
  m.txDf = r.U32("Tx DF");
  if (r.AtEnd()) return m;
  m.deCall = r.Utf8("DE call");
  m.deGrid = r.Utf8("DE grid");
  m.dxGrid = r.Utf8("DX grid");
  if (r.AtEnd()) return m;
  m.txWatchdog = r.Bool("Tx Watchdog");
  if (r.AtEnd()) return m;
  m.subMode = r.Utf8("Sub-mode");
  m.fastMode = r.Bool("Fast mode");
  if (r.AtEnd()) return m;
  m.specialOperation = r.U8("Special Operation Mode");
  if (r.AtEnd()) return m;
  m.frequencyTolerance = r.U32("Frequency Tolerance");
  m.trPeriod = r.U32("T/R Period");
  if (r.AtEnd()) return m;
  m.configurationName = r.Utf8("Configuration Name");
  if (r.AtEnd()) return m;
  m.txMessage = r.Utf8("Tx Message");
  return m;
}

TDecode ReadDecode(TReader& r, std::string id) {
  TDecode m;
  m.id = std::move(id);
  m.isNew = r.Bool("New");
  m.time = r.U32("Time");
  m.snr = r.I32("snr");
  m.deltaTime = r.Double("Delta time");
  m.deltaFrequency = r.U32("Delta frequency");
  m.mode = r.Utf8("Mode");
  m.message = r.Utf8("Message");
  if (r.AtEnd()) return m;
  m.lowConfidence = r.Bool("Low confidence");
  if (r.AtEnd()) return m;
  m.offAir = r.Bool("Off air");
  return m;
}

TQsoLogged ReadQsoLogged(TReader& r, std::string id) {
  TQsoLogged m;
  m.id = std::move(id);
  m.timeOff = r.DateTime("Date & Time Off");
  m.dxCall = r.Utf8("DX call");
  m.dxGrid = r.Utf8("DX grid");
  m.txFrequency = r.U64("Tx frequency");
  m.mode = r.Utf8("Mode");
  m.reportSent = r.Utf8("Report sent");
  m.reportReceived = r.Utf8("Report received");
  m.txPower = r.Utf8("Tx power");
  m.comments = r.Utf8("Comments");
  m.name = r.Utf8("Name");
  if (r.AtEnd()) return m;
  m.timeOn = r.DateTime("Date & Time On");
  if (r.AtEnd()) return m;
  m.operatorCall = r.Utf8("Operator call");
  if (r.AtEnd()) return m;
  m.myCall = r.Utf8("My call");
  m.myGrid = r.Utf8("My grid");
  if (r.AtEnd()) return m;
  m.exchangeSent = r.Utf8("Exchange sent");
  m.exchangeReceived = r.Utf8("Exchange received");
  if (r.AtEnd()) return m;
  m.propagationMode = r.Utf8("ADIF Propagation mode");
  return m;
}

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", v);
  return buf;
}

}  // namespace

const char* TypeName(TType t) {
  static const char* const kNames[] = {"Heartbeat",
                                       "Status",
                                       "Decode",
                                       "Clear",
                                       "Reply",
                                       "QSO Logged",
                                       "Close",
                                       "Replay",
                                       "Halt Tx",
                                       "Free Text",
                                       "WSPR Decode",
                                       "Location",
                                       "Logged ADIF",
                                       "Highlight Callsign",
                                       "Switch Configuration",
                                       "Configure",
                                       "Annotation Info"};
  const auto i = static_cast<uint32_t>(t);
  return i < std::size(kNames) ? kNames[i] : "unknown";
}

std::optional<TDatagram> ReadDatagram(const uint8_t* data, size_t size, std::string* error) {
  const auto refuse = [error](std::string why) -> std::optional<TDatagram> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (size < 12) return refuse("shorter than its header (" + std::to_string(size) + " bytes)");
  TReader r(data, size);
  const uint32_t magic = r.U32("magic");
  if (magic != kMagic) return refuse("wrong magic number " + Hex32(magic));
  TDatagram d;
  d.schema = r.U32("schema");
  if (d.schema < 1 || d.schema > kSchema)
    return refuse("unknown schema " + std::to_string(d.schema));
  const uint32_t type = r.U32("type");
  if (type > static_cast<uint32_t>(TType::AnnotationInfo))
    return refuse("unknown message type " + std::to_string(type));
  std::string id = r.Utf8("Id");
  if (!r.Ok()) return refuse(r.Failed());
  const auto t = static_cast<TType>(type);
  switch (t) {
    case TType::Heartbeat:
      d.message = ReadHeartbeat(r, std::move(id));
      break;
    case TType::Status:
      d.message = ReadStatus(r, std::move(id));
      break;
    case TType::Decode:
      d.message = ReadDecode(r, std::move(id));
      break;
    case TType::Clear: {
      TClear m;
      m.id = std::move(id);
      if (!r.AtEnd()) m.window = r.U8("Window");
      d.message = std::move(m);
      break;
    }
    case TType::QsoLogged:
      d.message = ReadQsoLogged(r, std::move(id));
      break;
    case TType::Close:
      d.message = TClose{std::move(id)};
      break;
    case TType::LoggedAdif:
      d.message = TLoggedAdif{std::move(id), r.Utf8("ADIF text")};
      break;
    default:
      d.message = TOther{std::move(id), t};
      break;
  }
  if (!r.Ok()) return refuse(std::string(TypeName(t)) + ": " + r.Failed());
  return d;
}

const std::string& MessageId(const TMessage& m) {
  return std::visit([](const auto& x) -> const std::string& { return x.id; }, m);
}

std::string WriteHeartbeat(uint32_t schema, std::string_view id, uint32_t maxSchema,
                           std::string_view version, std::string_view revision) {
  return TWriter(schema, TType::Heartbeat, id).U32(maxSchema).Utf8(version).Utf8(revision).Take();
}

std::string WriteReply(uint32_t schema, std::string_view id, const TDecode& d, uint8_t modifiers) {
  return TWriter(schema, TType::Reply, id)
      .U32(d.time)
      .I32(d.snr)
      .Double(d.deltaTime)
      .U32(d.deltaFrequency)
      .Utf8(d.mode)
      .Utf8(d.message)
      .Bool(d.lowConfidence)
      .U8(modifiers)
      .Take();
}

std::string WriteHighlightCallsign(uint32_t schema, std::string_view id, std::string_view call,
                                   TColor background, TColor foreground, bool lastPeriodOnly) {
  return TWriter(schema, TType::HighlightCallsign, id)
      .Utf8(call)
      .Color(background)
      .Color(foreground)
      .Bool(lastPeriodOnly)
      .Take();
}

std::string WriteHaltTx(uint32_t schema, std::string_view id, bool autoTxOnly) {
  return TWriter(schema, TType::HaltTx, id).Bool(autoTxOnly).Take();
}

std::string WriteFreeText(uint32_t schema, std::string_view id, std::string_view text, bool send) {
  return TWriter(schema, TType::FreeText, id).Utf8(text).Bool(send).Take();
}

std::string WriteReplay(uint32_t schema, std::string_view id) {
  return TWriter(schema, TType::Replay, id).Take();
}

std::string TimeText(uint32_t ms) {
  if (ms >= 86400000u) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", ms / 3600000u, ms / 60000u % 60u,
                ms / 1000u % 60u);
  return buf;
}

}  // namespace wsjtx
