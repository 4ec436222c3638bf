#pragma once
// The settings file "tellmark.ini": sections, keys, types, defaults and the profile rules
// (hex "0x", defaults on bad text), read once at start and written once, atomically, at close.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

struct TPrintOptions {
  uint16_t numLines = 6;
  uint16_t numChar = 35;
  uint16_t leftMargin = 0;
  std::string outfileName = "prn";
  bool useItForCSV = false;
  char separatorChar = ';';
};

// Report mode: 1 = add on request, 2 = always, 3 = never.
enum TReportMode : int32_t { rmOnRequest = 1, rmAlways = 2, rmNever = 3 };

struct TReportOptions {
  int32_t mode = rmOnRequest;
  std::string fileName;  // default: DefaultReportFileName()
};

struct TAddressStyle {
  int32_t addCountry = 1;  // 1 postal country, 2 DXCC country, 0 none
  bool addCall = true;
};

struct TMorseOptions {
  uint16_t pitch = 800;
  uint8_t speed = 1;
  uint8_t volume = 100;
};

struct TProgramSettings {
  std::string lastCall = "AA1A";  // start call, at most 15 characters
  std::string prgVersion = "W1998";
  bool mapFitAlways = false;
  int32_t clipboardFormat = 0;  // 1 all information, 0 address only
  TPrintOptions printOptions;
  TAddressStyle addressStyle;
  bool printMethod = false;  // true = template label printing
  bool printProcessInfo = true;
  TReportOptions reportOptions;
  std::string myLocator;  // at most 6 characters
  TMorseOptions morseOptions;
  std::string notesDataFilename;  // empty = no notes file
};

class ESettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of the one-time notice about the label printing method.
extern const char* const kLabelMethodNotice;
// Version mark written at every save; a file holding "W1998" (or none) shows the notice.
inline constexpr const char* kPrgVersionMark = "S1998";
// Default report file: "report.txt" in the user's home directory.
std::string DefaultReportFileName();

// Where the settings file lives: $TELLMARK_INI, else $XDG_CONFIG_HOME/tellmark/tellmark.ini,
// else ~/.config/tellmark/tellmark.ini.
std::string SettingsFilePath();

// An INI file with the profile rules. Reading a missing file gives an empty document.
class TSettingsFile {
 public:
  explicit TSettingsFile(std::string path);
  ~TSettingsFile();
  TSettingsFile(const TSettingsFile&) = delete;
  TSettingsFile& operator=(const TSettingsFile&) = delete;

  const std::string& Path() const { return path_; }
  // Reads the file; false (document empty) when it is missing or unreadable.
  bool Load();
  // Strings are read through a 2048-byte buffer: at most 2047 characters.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& dflt) const;
  bool HasKey(const std::string& section, const std::string& key) const;
  // Decimal, or hexadecimal after "0x"/"0X" (text longer than two characters); else dflt.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t dflt) const;
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Writes the whole file atomically; throws ESettingsWriteError "Unable to write to <path>".
  void Save();

 private:
  struct TImpl;
  std::string path_;
  std::unique_ptr<TImpl> impl_;
};

// Parses an integer value by the profile rules; false when it does not parse.
bool ParseProfileInteger(const std::string& text, int32_t& value);

// Loads every key in the documented order. showNotice tells whether the one-time notice is due.
TProgramSettings LoadProgramSettings(const TSettingsFile& file, bool& showNotice);
// Writes every key in the documented order: LastCall = shownCall (cut to 15), PrgVersion
// "S1998", MapFitAlways = mapFitAlways, LastHomeDir = homeDir, then the rest from settings.
// Throws ESettingsWriteError when the file cannot be written.
void SaveProgramSettings(TSettingsFile& file, const TProgramSettings& settings,
                         const std::string& shownCall, bool mapFitAlways,
                         const std::string& homeDir);
// LastHomeDir of section StartUp; empty when missing or unreadable.
std::string ReadLastHomeDir(const TSettingsFile& file);
