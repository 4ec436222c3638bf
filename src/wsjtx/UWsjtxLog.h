#pragma once
// What the user's log says has been worked: calls by band and mode, and the entities, U.S.
// states and counties, grids and CQ zones of every contact. Read from an ADIF log; a contact
// that leaves out DXCC, STATE, CNTY or CQZ gets them from the directory entry of its call (an
// exact match only), never guessed from the call's shape here.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "callbook/UCallbookRecord.h"

namespace wsjtx {

// ADIF band name ("20m", "70cm") of a frequency in Hz; empty outside the bands.
std::string BandOfFrequency(uint64_t hz);
// The mode as logs count it: "FT8", "FT4" (ADIF MFSK with submode FT4), upper case.
std::string LogMode(std::string_view mode, std::string_view submode = {});
// The mode of a decode's mark ("~" FT8, "+" FT4, "#" JT65, "@" JT9, "&" MSK144, ":" Q65,
// "`" FST4, "$" JT4); empty for another mark.
std::string ModeOfMark(std::string_view mark);
// Whether an entity counts U.S. states and counties (United States, Alaska, Hawaii).
bool CountsUSStates(std::optional<int> dxccCode);

// One contact as the flags count it.
struct TWorkedContact {
  std::string call, band, mode;  // upper case; band as ADIF writes it, lower case
  std::optional<int> dxcc, cqZone;
  std::string state;   // U.S. state, upper case
  std::string county;  // "TX,DALLAS"
  std::string grid4;   // "EM12"
};

// The directory's record of a call, for contacts that leave fields out (exact matches only).
using TCallRecordSource = std::function<std::optional<TCallbookRecord>(std::string_view call)>;

class TWorkedLog {
 public:
  // Reads an ADIF log. False with the reason in error when it cannot be read; damaged records
  // are skipped (their count in Skipped()).
  bool Load(const std::string& path, const TCallRecordSource& source, std::string* error);
  // Reads the log again when its size or modification time changed since Load; true when it
  // was read again.
  bool ReloadIfChanged(const TCallRecordSource& source, std::string* error);
  // A contact logged while running (WSJT-X's QSO Logged message).
  void Add(const TWorkedContact& c);
  // A contact from a record of an ADIF text, fields filled from source.
  static std::optional<TWorkedContact> ContactOf(std::string_view call, std::string_view band,
                                                 std::string_view freqMHz, std::string_view mode,
                                                 std::string_view submode, std::string_view dxcc,
                                                 std::string_view state, std::string_view county,
                                                 std::string_view grid, std::string_view cqz,
                                                 const TCallRecordSource& source);
  // Adds every sound record of an ADIF text.
  void AddAdif(std::string_view text, const TCallRecordSource& source);

  bool Worked(std::string_view call, std::string_view band, std::string_view mode) const;
  bool HasEntity(int dxcc) const { return entities_.count(dxcc) > 0; }
  bool HasState(std::string_view state) const { return states_.count(std::string(state)) > 0; }
  bool HasCounty(std::string_view county) const { return counties_.count(std::string(county)) > 0; }
  bool HasGrid(std::string_view grid4) const { return grids_.count(std::string(grid4)) > 0; }
  bool HasZone(int zone) const { return zones_.count(zone) > 0; }
  size_t Contacts() const { return contacts_; }
  size_t Skipped() const { return skipped_; }
  const std::string& Path() const { return path_; }

 private:
  void Clear();
  std::string path_;
  int64_t size_ = -1;
  struct timespec mtime_ {};
  size_t contacts_ = 0, skipped_ = 0;
  std::set<std::string> worked_;  // "CALL BAND MODE"
  std::set<int> entities_, zones_;
  std::set<std::string> states_, counties_, grids_;
};

}  // namespace wsjtx
