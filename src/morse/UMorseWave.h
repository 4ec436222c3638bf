#pragma once
// Morse text of a directory entry, and a whole text as one WAV image: the sequence the worker
// plays, element gaps included, recorded instead of played. Used by tellmark-lookup --cw.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/UEntry.h"
#include "morse/UMMCWOutput.h"

// The fields an entry is sent with, joined by one space (an empty field keeps its space):
// International call, class, name and address, DXCC entity, country; U.S. call, state, ZIP,
// class, issue and expiry date (as shown), longitude, latitude, area code, county, time zone,
// name and address, DXCC entity, country. Code page 437, not cut.
std::string MorseEntryText(const TEntryRecord& rec);

// A player that plays nothing and keeps the samples of every element and pause instead.
class TWaveRecorder : public TSoundPlayer {
 public:
  void Play(const std::vector<uint8_t>& wave) override;
  void Pause(unsigned ms) override;
  const std::vector<uint8_t>& Samples() const { return samples_; }
  // The samples as one WAV image.
  std::vector<uint8_t> Image() const;

 private:
  std::vector<uint8_t> samples_;
};

// The WAV image of a text (cut to 255 characters) as the worker sends it with these options.
std::vector<uint8_t> MorseTextWave(const std::string& text, const TMorseOptions& options);

// tellmark-lookup --cw FILE CALL [--cw-speed N] [--cw-pitch HZ] [--cw-volume N] [--data DIR]:
// writes the Morse text of the call's entry (the next greater one when the call is missing) as
// one WAV file and prints the text. Returns -1 when the arguments hold no --cw, else the exit
// status: 0 written for the call, 1 written for the next greater entry, 2 error.
// resolveDataDir turns the --data value (maybe empty) into the data directory.
int RunMorseWaveCommand(int argc, char** argv,
                        const std::function<std::string(const std::string&)>& resolveDataDir);
inline constexpr const char* kMorseWaveUsage =
    "       tellmark-lookup [--data DIR] --cw FILE.wav [--cw-speed 0..6] [--cw-pitch HZ]"
    " [--cw-volume 0..127] CALL\n"
    "--cw writes the entry as Morse code to a WAV file (8000 Hz, 8 bit, mono) and prints its\n"
    "text; speed, pitch (0 = silent, up to 3990 Hz) and volume default to the settings.\n";
