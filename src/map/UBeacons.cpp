#include "map/UBeacons.h"

namespace {
struct TBeacon {
  const char* location;
  const char* call;
  const char* locator;
};
constexpr TBeacon kBeacons[kBeaconCount] = {{"New York, USA", "4U1UN", "FN30AS"},
                                            {"Alert, Canada", "VE8AT", "FR82UM"},
                                            {"Mt. Umunhum, USA", "W6WX", "CM97BD"},
                                            {"Laie, Hawaii, USA", "KH6WO", "BL11AP"},
                                            {"Masterson, New Zealand", "ZL6B", "RE78TW"},
                                            {"Rolystone, Australia", "VK6RBP", "OF87AV"},
                                            {"Mt. Asama, Japan", "JA2IGY", "PM84JK"},
                                            {"Novosibirsk, Russia", "RR9O", "NO14KX"},
                                            {"Hong Kong, China", "VR2B", "OL72CG"},
                                            {"Colombo, Sri Lanka", "4S7B", "MJ96WV"},
                                            {"Pretoria, South Africa", "ZS6DN", "KG44DC"},
                                            {"Kilifi, Kenia", "5Z4B", "KI96VJ"},
                                            {"Tel Aviv, Israel", "4X6TU", "KM72JC"},
                                            {"Espoo, Finnland", "OH2B", "KP20JE"},
                                            {"Santo da Serra, Madeira", "CS3B", "IM12OR"},
                                            {"Buenos Aires, Argentinia", "LU4AA", "GF05TJ"},
                                            {"Lima, Peru", "OA4B", "FH17MW"},
                                            {"Caracas, Venezuela", "YV5B", "FK60NJ"}};
constexpr const char* kBands[kBandCount] = {"14100 kHz", "18110 kHz", "21150 kHz", "24930 kHz",
                                            "28200 kHz"};
}  // namespace

std::string BeaconText(int row, int kind) {
  if (row < 1 || row > kBeaconCount) return {};
  const TBeacon& b = kBeacons[row - 1];
  switch (kind) {
    case bkLocation:
      return b.location;
    case bkLocator:
      return b.locator;
    case bkCall:
      return b.call;
    default:
      return {};
  }
}

std::string BandCaption(int band) {
  return band >= 1 && band <= kBandCount ? kBands[band - 1] : std::string();
}

int BeaconStartSecond(int row, int band) {
  return (10 * (row - 1) + 10 * (band - 1)) % kCycleSeconds;
}

int ActiveBeaconRow(int cycleSecond, int band) {
  int r = cycleSecond / 10 + 1 - (band - 1);
  if (r < 1) r += kBeaconCount;
  return r;
}

const std::string& TBeaconSchedule::Cell(int row, int band) const {
  static const std::string empty;
  if (row < 1 || row > kBeaconCount || band < 1 || band > kBandCount) return empty;
  return cells_[static_cast<size_t>(row - 1)][static_cast<size_t>(band - 1)];
}

int TBeaconSchedule::BandOfColumn(int column) {
  return column >= 3 && column <= 6 ? column - 1 : 1;
}

void TBeaconSchedule::SetFollow(bool on) {
  follow_ = on;
  if (!on) lastCall_.clear();
}

TBeaconUpdate TBeaconSchedule::Update(const TLocalTime& now) {
  TBeaconUpdate u;
  const int h = now.hour, m = now.minute, s = now.second;
  const int c = (m / 3) * 3;
  const int t = (m % 3) * 60 + s;
  if (c != cycleStart_) {
    for (int r = 1; r <= kBeaconCount; ++r)
      for (int b = 1; b <= kBandCount; ++b) {
        const int o = BeaconStartSecond(r, b);
        const auto two = [](int v) {
          return std::string(1, static_cast<char>('0' + v / 10 % 10)) +
                 static_cast<char>('0' + v % 10);
        };
        cells_[static_cast<size_t>(r - 1)][static_cast<size_t>(b - 1)] =
            two(h) + ":" + two(c + o / 60) + ":" + two(o % 60);
      }
    cycleStart_ = c;
    u.refilled = true;
  }
  u.activeRow = ActiveBeaconRow(t, band_);
  u.activeColumn = band_ + 1;
  if (follow_) {
    const std::string call = BeaconText(u.activeRow, bkCall);
    if (!call.empty() && call != lastCall_) {
      u.tellMap = true;
      u.call = call;
      u.locator = BeaconText(u.activeRow, bkLocator);
    }
    lastCall_ = call;
  }
  return u;
}
