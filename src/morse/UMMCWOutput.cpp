#include "morse/UMMCWOutput.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include "common/StrUtil.h"
#include "common/URounding.h"

namespace {

constexpr uint16_t kDotMs[kMorseSpeedSteps] = {242, 181, 121, 105, 90, 75, 60};
constexpr const char* kSpeedLabels[kMorseSpeedSteps] = {"30 BPM", "45 BPM",  "60 BPM", "75 BPM",
                                                        "90 BPM", "105 BPM", "120 BPM"};
constexpr size_t kMaxPattern = 10;

// Raised by a stop request; ends the run silently.
struct EAbort {};

void PutLE(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<size_t>(i)] = (v >> (8 * i)) & 0xFF;
}

void PutTag(std::vector<uint8_t>& out, size_t at, const char* tag) {
  for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(tag[i]);
}

}  // namespace

uint32_t PackMorseOptions(const TMorseOptions& o) {
  return static_cast<uint32_t>(o.pitch) | (static_cast<uint32_t>(o.speed) << 16) |
         (static_cast<uint32_t>(o.volume) << 24);
}

TMorseOptions UnpackMorseOptions(uint32_t v) {
  TMorseOptions o;
  o.pitch = static_cast<uint16_t>(v & 0xFFFF);
  o.speed = static_cast<uint8_t>((v >> 16) & 0xFF);
  o.volume = static_cast<uint8_t>(v >> 24);
  return o;
}

uint16_t MorseDotMs(int speed) {
  return speed >= 0 && speed < kMorseSpeedSteps ? kDotMs[speed] : kDotMs[0];
}

TMorseTiming MorseTiming(int speed) {
  TMorseTiming t;
  t.dotMs = MorseDotMs(speed);
  t.dashMs = static_cast<uint16_t>(3 * t.dotMs);
  t.elementGapMs = static_cast<uint16_t>(RoundHalfEven(t.dotMs * 0.6));
  t.letterGapMs = static_cast<uint16_t>(2 * t.dotMs);
  t.wordGapMs = static_cast<uint16_t>(6 * t.dotMs);
  return t;
}

std::string MorseSpeedLabel(int speed) {
  return speed >= 0 && speed < kMorseSpeedSteps ? kSpeedLabels[speed] : "";
}

std::string MorsePattern(char c) {
  static const char* const kLetters[26] = {".-",   "-...", "-.-.", "-..",  ".",    "..-.", "--.",
                                           "....", "..",   ".---", "-.-",  ".-..", "--",   "-.",
                                           "---",  ".--.", "--.-", ".-.",  "...",  "-",    "..-",
                                           "...-", ".--",  "-..-", "-.--", "--.."};
  static const char* const kDigits[10] = {"-----", ".----", "..---", "...--", "....-",
                                          ".....", "-....", "--...", "---..", "----."};
  if (c >= 'a' && c <= 'z') return kLetters[c - 'a'];
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  switch (c) {
    case ',':
      return "--..--";
    case '.':
      return ".-.-.-";
    case '?':
      return "..--..";
    case '/':
    case '-':  // sent like the slash
      return "-..-.";
    case '+':
      return "...-.-";
    case '<':
      return ".-.-.";
    case '>':
      return "-.-.-";
    case '=':
      return "-...-";
    default:
      return {};
  }
}

std::vector<uint8_t> MakeWaveHeader(uint32_t n) {
  std::vector<uint8_t> h(kWaveHeaderSize);
  PutTag(h, 0, "RIFF");
  PutLE(h, 4, n + 36, 4);
  PutTag(h, 8, "WAVE");
  PutTag(h, 12, "fmt ");
  PutLE(h, 16, 16, 4);
  PutLE(h, 20, 1, 2);  // PCM
  PutLE(h, 22, 1, 2);  // mono
  PutLE(h, 24, kWaveSampleRate, 4);
  PutLE(h, 28, kWaveSampleRate, 4);
  PutLE(h, 32, 1, 2);
  PutLE(h, 34, 8, 2);
  PutTag(h, 36, "data");
  PutLE(h, 40, n, 4);
  return h;
}

std::vector<uint8_t> MakeToneWave(uint16_t pitch, uint16_t milliseconds, uint8_t volume) {
  const auto n = static_cast<uint32_t>(RoundHalfEven(milliseconds / 1000.0 * kWaveSampleRate));
  std::vector<uint8_t> wave = MakeWaveHeader(n);
  wave.reserve(kWaveHeaderSize + n);
  if (pitch > 0) {
    const double step = pitch / static_cast<double>(kWaveSampleRate) * 2 * std::numbers::pi;
    const double amplitude = volume > 127 ? 127 : volume;
    for (uint32_t k = 1; k <= n; ++k) {
      const long v = RoundHalfEven(std::sin(k * step) * amplitude) + 128;
      wave.push_back(static_cast<uint8_t>(((v % 256) + 256) % 256));
    }
  } else {
    wave.insert(wave.end(), n, 128);
  }
  return wave;
}

void TSoundPlayer::Pause(unsigned ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- Worker

TCWOutput::TCWOutput(TSoundPlayer& player, TCWOutputHost& host) : player_(player), host_(host) {}

TCWOutput::~TCWOutput() {
  Terminate();
  WaitFor();
}

void TCWOutput::Terminate() {
  // The flag first: the worker sees it before its next sound, so that nothing is played after
  // the player's stop.
  terminated_ = true;
  player_.Stop();
}

void TCWOutput::SetText(const std::string& text) { text_ = Cut(text, kMaxMorseText); }

void TCWOutput::Resume() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] {
    Execute();
    finished_ = true;
    if (onTerminate_) onTerminate_();
  });
}

void TCWOutput::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TCWOutput::Sync(void (TCWOutput::*method)()) {
  host_.Synchronize([this, method] { (this->*method)(); });
}

void TCWOutput::Execute() {
  lastPosition_ = 0;
  error_.clear();
  // The player stopped for an earlier run plays again; a stop of this run is in terminated_.
  player_.Restart();
  try {
    timing_ = MorseTiming(options_.speed);
    dotWave_ = MakeToneWave(options_.pitch, timing_.dotMs, options_.volume);
    dashWave_ = MakeToneWave(options_.pitch, timing_.dashMs, options_.volume);
    letterGapWave_ = MakeToneWave(0, timing_.letterGapMs, 0);
    wordGapWave_ = MakeToneWave(0, timing_.wordGapMs, 0);
    host_.Synchronize([this] { host_.ShowText(text_); });
    SendText(text_);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    // Ends the run like a stop; the window may tell the user.
    error_ = e.what();
  } catch (...) {
  }
  try {
    lastPosition_ = 1;
    position_ = 0;
    Sync(&TCWOutput::UpdateStatus);
    text_.clear();
    host_.Synchronize([this] { host_.ShowText(text_); });
  } catch (...) {
  }
  try {
    dotWave_ = {};
    dashWave_ = {};
    letterGapWave_ = {};
    wordGapWave_ = {};
  } catch (...) {
  }
}

void TCWOutput::CheckTerminated() const {
  if (terminated_) throw EAbort{};
}

void TCWOutput::SendText(const std::string& text) {
  const std::string s = LowerCaseOEM(text);
  for (size_t i = 0; i < s.size(); ++i) {
    CheckTerminated();
    position_ = static_cast<int>(i + 1);
    Sync(&TCWOutput::UpdateStatus);
    if (s[i] == ' ') {
      player_.Play(wordGapWave_);
    } else {
      SendChar(s[i]);
      if (i + 1 < s.size()) player_.Play(letterGapWave_);
    }
  }
  position_ = 0;
  Sync(&TCWOutput::UpdateStatus);
}

void TCWOutput::SendChar(char c) {
  const std::string p = Cut(MorsePattern(c), kMaxPattern);
  for (size_t j = 0; j < p.size(); ++j) {
    CheckTerminated();
    host_.Synchronize([this] { host_.SetKeyCursor(true); });
    player_.Play(p[j] == '-' ? dashWave_ : dotWave_);
    host_.Synchronize([this] { host_.SetKeyCursor(false); });
    CheckTerminated();
    if (j + 1 < p.size()) player_.Pause(timing_.elementGapMs);
  }
}

void TCWOutput::UpdateStatus() {
  if (lastPosition_ == 0 && position_ != 0) host_.SetInfo(kCWStopsText);
  if (lastPosition_ != 0 && position_ == 0) host_.SetInfo(kCWInactiveText);
  host_.ShowSelection(position_);
  lastPosition_ = position_;
}
