#pragma once
// A decode annotated from the directory: the sending station's entry (name, QTH, state and
// county, entity, zones, continent), the grid (the message's when it sends one, else the
// entry's), distance and heading from the user's locator, and the flags of the user's log.
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "callbook/UCallbook.h"
#include "wsjtx/UWsjtxLog.h"
#include "wsjtx/UWsjtxProtocol.h"
#include "wsjtx/UWsjtxText.h"

namespace wsjtx {

struct TFlags {
  bool workedBefore = false;  // this call on this band and mode
  bool newEntity = false, newState = false, newCounty = false, newGrid = false, newZone = false;
  bool AnyNew() const { return newEntity || newState || newCounty || newGrid || newZone; }
};

struct TAnnotation {
  TMessageText text;
  std::optional<TCallbookRecord> record;  // the caller's entry: exact or base-call match only
  std::string grid;                       // 4 or 6 characters; empty when unknown
  std::string gridSource;                 // "message", "directory" or empty
  std::string province;                   // Canada: the entry's province, when it has one
  std::optional<double> distanceKm, heading;
  std::optional<TFlags> flags;  // only with a log
  std::string band, mode;       // of the decode, when known
};

// What a decode needs besides its datagram: the dial frequency and mode of the sender's last
// Status, the user's locator, the log.
struct TDecodeContext {
  uint64_t dialFrequency = 0;  // 0: unknown
  std::string statusMode;      // "FT8"; empty: from the decode's mark
  std::string myLocator;       // empty: no distance
  const TWorkedLog* log = nullptr;
};

class TAnnotator {
 public:
  explicit TAnnotator(const TCallbook& callbook) : callbook_(callbook) {}
  // The caller's entry, exact or base-call only (a next-greater entry is another station).
  std::optional<TCallbookRecord> Record(std::string_view call) const;
  TAnnotation Annotate(const TDecode& decode, const TDecodeContext& context) const;
  // The look-up the log uses for contacts without entity fields.
  TCallRecordSource Source() const;

 private:
  const TCallbook& callbook_;
};

// The decode's JSON line: time, snr, dt, df, frequency, band, mode, message, the calls, grid,
// distance, heading, flags, and "record": the caller's entry as tellmark-lookup --json writes it.
nlohmann::ordered_json DecodeJson(const TDecode& decode, const TAnnotation& a,
                                  const TDecodeContext& context);

}  // namespace wsjtx
