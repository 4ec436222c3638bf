#include "morse/UMorseWave.h"

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"

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
  TNoWindowHost host;
  TCWOutput worker(recorder, host);
  worker.SetText(text);
  worker.SetOptions(options);
  worker.Execute();
  return recorder.Image();
}
