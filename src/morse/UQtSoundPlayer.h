#pragma once
// The sound player of the program: blocking play of an in-memory WAV image (8000 Hz, unsigned
// 8-bit, mono) on the default audio output through QAudioSink.
//
// One output stream is kept open while sounds follow each other and is fed with silence between
// them, so an element starts without the start-up delay of a new stream and no sound is cut
// off by closing a stream early. The stream runs on a thread of the player's own; it closes after
// two idle seconds and opens again with the next sound.
//
// Sounds are laid end to end on the stream's own clock: a silence (a pause, or a wave of
// silence) returns before its end, so that the tone after it is queued in time and follows it
// sample for sample, and it counts the silence already written ahead as part of itself. The
// sequence heard thus has the lengths of its sounds, not those plus the stream's lead.
#include <memory>
#include <mutex>
#include <stdexcept>

#include "morse/UMMCWOutput.h"

class ESoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TQtSoundPlayer : public TSoundPlayer {
 public:
  TQtSoundPlayer();
  ~TQtSoundPlayer() override;
  TQtSoundPlayer(const TQtSoundPlayer&) = delete;
  TQtSoundPlayer& operator=(const TQtSoundPlayer&) = delete;

  // Plays the samples after the 44-byte header and returns when the output has played the last
  // of them. Throws ESoundError when there is no audio output or it fails. From any thread but
  // the GUI thread, one call at a time.
  // A wave of silence returns up to 60 ms before its end, as a pause does.
  void Play(const std::vector<uint8_t>& wave) override;
  // Silence of ms milliseconds on the stream, timed from the call.
  void Pause(unsigned ms) override;
  // Drops the queued samples and closes the output stream, which discards what the sound
  // server holds of it: silence within a few milliseconds. Any thread but the output's own.
  void Stop() override;
  void Restart() override;

  struct TOutput;

 private:
  // Queues n samples and waits: a tone until it has been played, a silence until 60 ms before
  // its end.
  void Queue(const char* samples, size_t n, bool silent);

  // The output, made by the first sound; the mutex guards making it against Stop.
  TOutput& Output();
  std::mutex outputMutex_;
  std::unique_ptr<TOutput> output_;
};

inline constexpr const char* kNoAudioOutputText =
    "No audio output: the system has no sound output device (is a sound server running?)";
