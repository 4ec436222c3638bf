#pragma once
// The sound player of the program: blocking play of an in-memory WAV image (8000 Hz, unsigned
// 8-bit, mono) on the default audio output through QAudioSink. Runs on the Morse worker thread.
#include <stdexcept>

#include "morse/UMMCWOutput.h"

class ESoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TQtSoundPlayer : public TSoundPlayer {
 public:
  // Plays the samples after the 44-byte header and returns when the output has played the last
  // of them. Throws ESoundError when there is no audio output or it fails.
  void Play(const std::vector<uint8_t>& wave) override;
};

inline constexpr const char* kNoAudioOutputText =
    "No audio output: the system has no sound output device (is a sound server running?)";
