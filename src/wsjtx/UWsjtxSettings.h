#pragma once
// The WSJT-X link's settings, in section [WSJT-X] of the settings file: where to listen, the
// log that gives the flags, the colours of the flags, and what is sent back to WSJT-X.
#include <cstdint>
#include <string>

#include "settings/USettings.h"

namespace wsjtx {

struct TWsjtxSettings {
  std::string address = "127.0.0.1";  // a unicast address or a multicast group
  int32_t port = 2237;
  std::string logFile;     // ADIF; empty = no flags
  bool sendReply = false;  // double-click on a CQ answers it in WSJT-X
  bool highlight = false;  // colour new entities, states, counties in WSJT-X
  // Colours as 0xRRGGBB.
  uint32_t newEntityColour = 0xff5050;
  uint32_t newStateColour = 0xffa040;
  uint32_t newCountyColour = 0xffe060;
  uint32_t newGridColour = 0x80d0ff;
  uint32_t workedColour = 0xb0b0b0;
};

// Missing or bad keys give the defaults.
TWsjtxSettings LoadWsjtxSettings(const TSettingsFile& file);
void SaveWsjtxSettings(TSettingsFile& file, const TWsjtxSettings& s);

}  // namespace wsjtx
