#include "wsjtx/UWsjtxSettings.h"

namespace wsjtx {

namespace {
constexpr const char* kSection = "WSJT-X";

uint32_t Colour(const TSettingsFile& f, const char* key, uint32_t dflt) {
  const int32_t v = f.ReadInteger(kSection, key, static_cast<int32_t>(dflt));
  return v < 0 || v > 0xffffff ? dflt : static_cast<uint32_t>(v);
}
}  // namespace

TWsjtxSettings LoadWsjtxSettings(const TSettingsFile& f) {
  TWsjtxSettings s;
  s.address = f.ReadString(kSection, "Address", s.address);
  const int32_t port = f.ReadInteger(kSection, "Port", s.port);
  if (port >= 1 && port <= 65535) s.port = port;
  s.logFile = f.ReadString(kSection, "LogFile", "");
  s.sendReply = f.ReadInteger(kSection, "SendReply", 0) != 0;
  s.highlight = f.ReadInteger(kSection, "Highlight", 0) != 0;
  s.newEntityColour = Colour(f, "NewEntityColour", s.newEntityColour);
  s.newStateColour = Colour(f, "NewStateColour", s.newStateColour);
  s.newCountyColour = Colour(f, "NewCountyColour", s.newCountyColour);
  s.newGridColour = Colour(f, "NewGridColour", s.newGridColour);
  s.workedColour = Colour(f, "WorkedColour", s.workedColour);
  return s;
}

void SaveWsjtxSettings(TSettingsFile& f, const TWsjtxSettings& s) {
  f.WriteString(kSection, "Address", s.address);
  f.WriteInteger(kSection, "Port", s.port);
  f.WriteString(kSection, "LogFile", s.logFile);
  f.WriteInteger(kSection, "SendReply", s.sendReply ? 1 : 0);
  f.WriteInteger(kSection, "Highlight", s.highlight ? 1 : 0);
  f.WriteInteger(kSection, "NewEntityColour", static_cast<int32_t>(s.newEntityColour));
  f.WriteInteger(kSection, "NewStateColour", static_cast<int32_t>(s.newStateColour));
  f.WriteInteger(kSection, "NewCountyColour", static_cast<int32_t>(s.newCountyColour));
  f.WriteInteger(kSection, "NewGridColour", static_cast<int32_t>(s.newGridColour));
  f.WriteInteger(kSection, "WorkedColour", static_cast<int32_t>(s.workedColour));
}

}  // namespace wsjtx
