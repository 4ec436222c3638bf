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
