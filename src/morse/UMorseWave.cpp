#include "morse/UMorseWave.h"

#include <cstring>
#include <iostream>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "storage/UIndexEngine.h"

namespace {

// Runs every call of the worker at once; the text box and cursor are nowhere.
class TNoWindow : public TCWOutputHost {
 public:
  void Synchronize(const std::function<void()>& call) override { call(); }
  void ShowText(const std::string&) override {}
  void SetInfo(const std::string&) override {}
  void ShowSelection(int) override {}
  void SetKeyCursor(bool) override {}
};

struct TWaveArgs {
  std::string file, dataDir, call;
  int speed = -1, pitch = -1, volume = -1;  // -1 = from the settings
};

bool ParseNumber(const std::string& option, const std::string& text, int lo, int hi, int& out,
                 std::string& error) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < lo || v > hi) {
    error = option + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi);
    return false;
  }
  out = static_cast<int>(v);
  return true;
}

bool ParseWaveArgs(int argc, char** argv, TWaveArgs& a, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    const bool takesValue = arg == "--cw" || arg == "--cw-speed" || arg == "--cw-pitch" ||
                            arg == "--cw-volume" || arg == "--data";
    if (takesValue) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (arg == "--cw") {
      a.file = value;
    } else if (arg == "--data") {
      a.dataDir = value;
    } else if (arg == "--cw-speed") {
      if (!ParseNumber(arg, value, 0, kMorseSpeedSteps - 1, a.speed, error)) return false;
    } else if (arg == "--cw-pitch") {
      // Below half the sample rate, or the tone folds back into a lower one.
      if (!ParseNumber(arg, value, 0, 3990, a.pitch, error)) return false;
    } else if (arg == "--cw-volume") {
      if (!ParseNumber(arg, value, 0, 127, a.volume, error)) return false;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "option " + arg + " does not go with --cw";
      return false;
    } else if (a.call.empty()) {
      a.call = arg;
    } else {
      error = "--cw takes one call";
      return false;
    }
  }
  if (a.file.empty())
    error = "--cw needs a file name";
  else if (a.call.empty())
    error = "--cw needs a call";
  return error.empty();
}

bool HasWaveOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--cw") == 0) return true;
  return false;
}

}  // namespace

std::string MorseEntryText(const TEntryRecord& rec) {
  static constexpr int kIntlTags[] = {itCall, itClass, itAddress, itDxcc, itCountry};
  static constexpr int kUSTags[] = {utCall,     utState,     utZIP,      utClass,    utIssued,
                                    utExpires,  utLongitude, utLatitude, utAreaCode, utCounty,
                                    utTimeZone, utAddress,   utDxcc,     utCountry};
  const bool us = rec.db == TDatabase::US;
  std::string text;
  bool first = true;
  const auto add = [&](int tag) {
    if (!first) text += ' ';
    first = false;
    text += us && (tag == utIssued || tag == utExpires) ? rec.DateField(tag) : rec.Field(tag);
  };
  if (us)
    for (int tag : kUSTags) add(tag);
  else
    for (int tag : kIntlTags) add(tag);
  return text;
}

void TWaveRecorder::Play(const std::vector<uint8_t>& wave) {
  if (wave.size() > static_cast<size_t>(kWaveHeaderSize))
    samples_.insert(samples_.end(), wave.begin() + kWaveHeaderSize, wave.end());
}

void TWaveRecorder::Pause(unsigned ms) {
  samples_.insert(samples_.end(), static_cast<size_t>(ms) * kWaveSampleRate / 1000, 128);
}

std::vector<uint8_t> TWaveRecorder::Image() const {
  std::vector<uint8_t> image = MakeWaveHeader(static_cast<uint32_t>(samples_.size()));
  image.insert(image.end(), samples_.begin(), samples_.end());
  return image;
}

std::vector<uint8_t> MorseTextWave(const std::string& text, const TMorseOptions& options) {
  TWaveRecorder recorder;
  TNoWindow host;
  TCWOutput worker(recorder, host);
  worker.SetText(text);
  worker.SetOptions(options);
  worker.Execute();
  return recorder.Image();
}

int RunMorseWaveCommand(int argc, char** argv,
                        const std::function<std::string(const std::string&)>& resolveDataDir) {
  if (!HasWaveOption(argc, argv)) return -1;
  TWaveArgs a;
  std::string error;
  if (!ParseWaveArgs(argc, argv, a, error)) {
    std::cerr << "tellmark-lookup: " << error << "\n" << kMorseWaveUsage;
    return 2;
  }
  TSettingsFile settingsFile(SettingsFilePath());
  settingsFile.Load();
  bool notice = false;
  TMorseOptions options = LoadProgramSettings(settingsFile, notice).morseOptions;
  if (a.speed >= 0) options.speed = static_cast<uint8_t>(a.speed);
  if (a.pitch >= 0) options.pitch = static_cast<uint16_t>(a.pitch);
  if (a.volume >= 0) options.volume = static_cast<uint8_t>(a.volume);

  if (!AllocIndexCaches()) {
    std::cerr << "tellmark-lookup: " << ErrorCodeText(LastErrorCode()) << "\n";
    return 2;
  }
  int status = 2;
  try {
    SetHomeDir(resolveDataDir(a.dataDir));
    try {
      OpenDataSet();
    } catch (const EDataSetError& e) {
      throw EDataSetError(std::string("Open files: ") + e.what() + " (data directory " + HomeDir() +
                          ")");
    }
    const std::string key = TLookup::CallBoxKey(Utf8ToCp437(a.call));
    TLookup lookup;
    if (!key.empty() && (key[0] == 'a' || key[0] == 'k' || key[0] == 'n' || key[0] == 'w'))
      lookup.SwitchToUS();
    else
      lookup.SwitchToIntl();
    const TCallLookup r = lookup.FindCall(key);
    if (!r.message.empty()) std::cerr << "tellmark-lookup: " << Cp437ToUtf8(r.message) << "\n";
    if (key.empty() || !r.found) {
      if (r.message.empty()) std::cerr << "tellmark-lookup: " << NotFoundText("Call", key) << "\n";
      status = 2;
    } else {
      TEntryRecord rec;
      if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), rec))
        throw EDataSetError("Error reading data\\thedata.dat: " + ErrorCodeText(LastErrorCode()));
      const std::string text = Cut(MorseEntryText(rec), kMaxMorseText);
      const std::vector<uint8_t> wave = MorseTextWave(text, options);
      if (!WriteFileAtomically(a.file, std::string(wave.begin(), wave.end())))
        throw std::runtime_error("Unable to write to " + a.file);
      std::cout << Cp437ToUtf8(text) << "\n";
      status = r.exact ? 0 : 1;
    }
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "tellmark-lookup: " << e.what() << "\n";
    status = 2;
  }
  CloseDataSet();
  FreeIndexCaches();
  return status;
}
