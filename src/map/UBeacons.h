#pragma once
// The international HF beacon network: 18 stations that take turns on five bands in a 3-minute
// cycle starting at every local minute divisible by 3; each transmits 10 seconds per band and
// moves one band up every 10 seconds. The schedule state of the beacon scheduler window, driven
// by a clock the caller supplies.
#include <array>
#include <functional>
#include <string>

constexpr int kBeaconCount = 18;
constexpr int kBandCount = 5;
constexpr int kCycleSeconds = 180;

enum TBeaconKind : int { bkLocation = 0, bkLocator = 1, bkCall = 2 };

// A beacon's location, locator or call sign by row 1..18; empty for any other row.
std::string BeaconText(int row, int kind);
// "14100 kHz" .. "28200 kHz" for bands 1..5; empty otherwise.
std::string BandCaption(int band);
// Second of the cycle at which the beacon of a row starts on a band.
int BeaconStartSecond(int row, int band);
// Row transmitting on a band at a second of the cycle (0..179).
int ActiveBeaconRow(int cycleSecond, int band);

struct TLocalTime {
  int hour = 0, minute = 0, second = 0;
};
using TClock = std::function<TLocalTime()>;

// What one update found.
struct TBeaconUpdate {
  bool refilled = false;  // a new cycle began: the time cells were rewritten
  int activeRow = 0;      // 1..18
  int activeColumn = 0;   // grid column of the band, 2..6
  bool tellMap = false;   // follow mode: the active call changed and goes to the map
  std::string call, locator;
};

class TBeaconSchedule {
 public:
  // The grid's time cell of a row and band as "HH:MM:SS" for the cycle last shown.
  const std::string& Cell(int row, int band) const;
  int Band() const { return band_; }
  void SetBand(int band) { band_ = band >= 1 && band <= kBandCount ? band : 1; }
  // Band of a clicked grid column: 3..6 give bands 2..5, any other column band 1.
  static int BandOfColumn(int column);
  bool Follow() const { return follow_; }
  void SetFollow(bool on);
  const std::string& LastCall() const { return lastCall_; }

  TBeaconUpdate Update(const TLocalTime& now);

 private:
  int band_ = 1;
  int cycleStart_ = 25;  // no cycle starts at minute 25: the first update fills the cells
  bool follow_ = false;
  std::string lastCall_;
  std::array<std::array<std::string, kBandCount>, kBeaconCount> cells_{};
};
