#pragma once
// Places of U.S. entries from the source tables: by ZIP code, and by city and state. The city
// table is derived from the ZIP table when the tables are loaded (a few milliseconds, the same
// result every time): a city's place is that of its county with the most people among the
// city's ZIP codes, at the population-weighted centre of those ZIP codes.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "builder/UFccImport.h"
#include "builder/USourceTables.h"

class TUSPlaces {
 public:
  explicit TUSPlaces(const TSourceTables& tables);

  // The place of a 5-digit ZIP code (with its state); false when the table lacks it.
  bool ZipPlace(std::string_view zip, TFccPlace& place);
  // The place of a city in a state (any case; "SAINT"/"ST." and the like are alike); false when
  // the table lacks it.
  bool CityPlace(std::string_view city, std::string_view state, TFccPlace& place);
  // Country and DXCC entity texts of a state or territory.
  void Country(std::string_view state, std::string& country, std::string& dxcc) const;

  size_t CityCount() const { return cities_.size(); }

  // The form in which city names are compared: upper case, letters and digits, single blanks,
  // common abbreviations written out short.
  static std::string CityKey(std::string_view city);

 private:
  std::string AreaCode(const std::string& state, double lat, double lon) const;
  TFccPlace MakePlace(const std::string& state, const std::string& county,
                      const std::string& timeZone, double lat, double lon) const;

  const TSourceTables& t_;
  std::unordered_map<std::string, std::vector<const TAreaCodeRow*>> codesByState_;
  std::vector<int32_t> zipIndex_;  // by the ZIP's number: index into zipPlaces_, -1 none
  std::vector<TFccPlace> zipPlaces_;
  std::map<std::string, TFccPlace> cities_;  // key: state + '|' + CityKey(city)
  std::unordered_map<std::string, std::string> dxccOfState_;
};
