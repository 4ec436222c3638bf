#include "settings/USettings.h"

#define SI_IMPLEMENTATION  // this unit instantiates the header-only INI parser
#include <SimpleIni.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "common/IOUtil.h"
#include "common/StrUtil.h"

const char* const kLabelMethodNotice =
    "Starting with the Summer 1998 version "
    "of the Tellmark, a new printing method for"
    " labels has been added. To activate it, choose \"Label printing\""
    " in the menu \"Options\" and uncheck \"Use 'old' label printing method\"."
    " For more detailled information see the \"What's new\" topic"
    " in the online help.";

namespace {
constexpr size_t kStringBuffer = 2048;

std::string EnvOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}
}  // namespace

std::string DefaultReportFileName() {
  const std::string home = EnvOr("HOME");
  return (home.empty() ? std::string(".") : home) + "/report.txt";
}

std::string SettingsFilePath() {
  const std::string over = EnvOr("TELLMARK_INI");
  if (!over.empty()) return over;
  std::string base = EnvOr("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = EnvOr("HOME");
    base = (home.empty() ? std::string(".") : home) + "/.config";
  }
  return base + "/tellmark/tellmark.ini";
}

struct TSettingsFile::TImpl {
  TImpl() { ini.SetSpaces(false); }  // "Key=Value", as profile files are written
  CSimpleIniA ini{false, false, false};
};

TSettingsFile::TSettingsFile(std::string path)
    : path_(std::move(path)), impl_(std::make_unique<TImpl>()) {}

TSettingsFile::~TSettingsFile() = default;

bool TSettingsFile::Load() {
  impl_->ini.Reset();
  std::string text;
  if (!ReadWholeFile(path_, text)) return false;
  return impl_->ini.LoadData(text) >= 0;
}

bool TSettingsFile::HasKey(const std::string& section, const std::string& key) const {
  return impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& dflt) const {
  const char* v = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return Cut(v ? std::string_view(v) : std::string_view(dflt), kStringBuffer - 1);
}

bool ParseProfileInteger(const std::string& text, int32_t& value) {
  const std::string t = TrimBlanks(text);
  if (t.empty()) return false;
  const char* b = t.data();
  const char* e = b + t.size();
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    uint32_t u = 0;
    auto [p, ec] = std::from_chars(b + 2, e, u, 16);
    if (ec != std::errc() || p != e) return false;
    value = static_cast<int32_t>(u);
    return true;
  }
  if (*b == '+') ++b;
  int32_t v = 0;
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || p != e) return false;
  value = v;
  return true;
}

int32_t TSettingsFile::ReadInteger(const std::string& section, const std::string& key,
                                   int32_t dflt) const {
  int32_t v = 0;
  return ParseProfileInteger(ReadString(section, key, ""), v) ? v : dflt;
}

void TSettingsFile::WriteString(const std::string& section, const std::string& key,
                                const std::string& value) {
  impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void TSettingsFile::WriteInteger(const std::string& section, const std::string& key,
                                 int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TSettingsFile::Save() {
  std::string text;
  if (impl_->ini.Save(text) < 0) throw ESettingsWriteError("Unable to write to " + path_);
  std::error_code ec;
  const auto dir = std::filesystem::path(path_).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (!WriteFileAtomically(path_, text)) throw ESettingsWriteError("Unable to write to " + path_);
}

TProgramSettings LoadProgramSettings(const TSettingsFile& f, bool& showNotice) {
  TProgramSettings s;
  const auto readBool = [&](const char* sec, const char* key, bool dflt) {
    return f.ReadInteger(sec, key, dflt ? 1 : 0) != 0;
  };
  s.lastCall = Cut(f.ReadString("StartUp", "LastCall", "AA1A"), 15);
  s.prgVersion = f.ReadString("StartUp", "PrgVersion", "W1998");
  showNotice = s.prgVersion == "W1998";
  s.mapFitAlways = readBool("StartUp", "MapFitAlways", false);
  s.clipboardFormat = f.ReadInteger("Clipboard", "ClipboardFormat", 0);
  auto& po = s.printOptions;
  po.numLines = static_cast<uint16_t>(f.ReadInteger("Labels", "NumLines", 6));
  po.numChar = static_cast<uint16_t>(f.ReadInteger("Labels", "NumChar", 35));
  po.leftMargin = static_cast<uint16_t>(f.ReadInteger("Labels", "LeftMargin", 0));
  po.outfileName = f.ReadString("Labels", "OutfileName", "prn");
  po.useItForCSV = readBool("Labels", "UseItForCSV", false);
  const std::string sep = f.ReadString("Labels", "SeparatorChar", ";");
  po.separatorChar = sep.empty() ? ';' : sep[0];
  s.addressStyle.addCountry = f.ReadInteger("Style", "AddCountry", 1);
  s.addressStyle.addCall = readBool("Style", "AddCall", true);
  s.printMethod = readBool("Printing", "PrintMethod", false);
  s.printProcessInfo = readBool("Printing", "PrintProcessInfo", true);
  s.reportOptions.mode = f.ReadInteger("Report", "ReportOptions", rmOnRequest);
  s.reportOptions.fileName = f.ReadString("Report", "ReportFilename", DefaultReportFileName());
  s.myLocator = Cut(f.ReadString("General", "MyLocator", ""), 6);
  s.morseOptions.speed = static_cast<uint8_t>(f.ReadInteger("CW", "Speed", 1));
  s.morseOptions.pitch = static_cast<uint16_t>(f.ReadInteger("CW", "Pitch", 800));
  s.morseOptions.volume = static_cast<uint8_t>(f.ReadInteger("CW", "Volume", 100));
  s.notesDataFilename = Cut(f.ReadString("General", "NotesDataFilename", ""), 255);
  return s;
}

void SaveProgramSettings(TSettingsFile& f, const TProgramSettings& s, const std::string& shownCall,
                         bool mapFitAlways, const std::string& homeDir) {
  const auto b = [](bool v) { return std::string(v ? "1" : "0"); };
  f.WriteString("StartUp", "LastCall", Cut(shownCall, 15));
  f.WriteString("StartUp", "PrgVersion", kPrgVersionMark);
  f.WriteString("StartUp", "MapFitAlways", b(mapFitAlways));
  f.WriteString("StartUp", "LastHomeDir", homeDir);
  f.WriteInteger("Clipboard", "ClipboardFormat", s.clipboardFormat);
  const auto& po = s.printOptions;
  f.WriteInteger("Labels", "NumLines", po.numLines);
  f.WriteInteger("Labels", "NumChar", po.numChar);
  f.WriteInteger("Labels", "LeftMargin", po.leftMargin);
  f.WriteString("Labels", "OutfileName", po.outfileName);
  f.WriteString("Labels", "UseItForCSV", b(po.useItForCSV));
  f.WriteString("Labels", "SeparatorChar", std::string(1, po.separatorChar));
  f.WriteInteger("Style", "AddCountry", s.addressStyle.addCountry);
  f.WriteString("Style", "AddCall", b(s.addressStyle.addCall));
  f.WriteInteger("Report", "ReportOptions", s.reportOptions.mode);
  f.WriteString("Report", "ReportFilename", s.reportOptions.fileName);
  f.WriteString("Printing", "PrintProcessInfo", b(s.printProcessInfo));
  f.WriteString("Printing", "PrintMethod", b(s.printMethod));
  f.WriteString("General", "MyLocator", s.myLocator);
  f.WriteInteger("CW", "Speed", s.morseOptions.speed);
  f.WriteInteger("CW", "Volume", s.morseOptions.volume);
  f.WriteInteger("CW", "Pitch", s.morseOptions.pitch);
  f.WriteString("General", "NotesDataFilename", s.notesDataFilename);
  f.Save();
}

std::string ReadLastHomeDir(const TSettingsFile& f) {
  return f.ReadString("StartUp", "LastHomeDir", "");
}
