#pragma once
// Morse sound generator: the Morse options value, the speed table and durations, the character
// patterns, the WAV images of the tones, and the worker that sends a text element by element
// through a blocking sound player.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "settings/USettings.h"

// The three Morse settings in one 32-bit value: pitch in bits 0-15, speed step in 16-23,
// volume in 24-31.
uint32_t PackMorseOptions(const TMorseOptions& options);
TMorseOptions UnpackMorseOptions(uint32_t value);

inline constexpr int kMorseSpeedSteps = 7;  // steps 0..6
inline constexpr int kMaxMorseText = 255;   // characters handed to the worker
inline constexpr int kWaveHeaderSize = 44;
inline constexpr int kWaveSampleRate = 8000;

// Durations in whole milliseconds of one speed step.
struct TMorseTiming {
  uint16_t dotMs = 0;
  uint16_t dashMs = 0;
  uint16_t elementGapMs = 0;
  uint16_t letterGapMs = 0;
  uint16_t wordGapMs = 0;
};
// Dot length of a step; a step outside 0..6 gives 242 ms.
uint16_t MorseDotMs(int speed);
TMorseTiming MorseTiming(int speed);
// Label of a step for the options dialog ("45 BPM"); empty outside 0..6.
std::string MorseSpeedLabel(int speed);

// Pattern of a character: '.' and '-', empty for characters without one (upper-case letters and
// the space included).
std::string MorsePattern(char c);
// Stands for a typed character that code page 437 lacks ('\xFE', a small square): it has no
// pattern and is silent, where '?' would be sent as a question mark.
inline constexpr char kNoMorseChar = '\xFE';

// A complete WAV image: 8000 Hz, unsigned 8-bit, mono, 8 samples per millisecond. Pitch 0 is
// silence (value 128). The sine starts at phase step, without rise or fall; a volume above 127
// is taken as 127 so that the samples cannot wrap around.
std::vector<uint8_t> MakeToneWave(uint16_t pitch, uint16_t milliseconds, uint8_t volume);
// The 44-byte header of a WAV image holding n samples.
std::vector<uint8_t> MakeWaveHeader(uint32_t n);

// Blocking player of in-memory WAV images.
class TSoundPlayer {
 public:
  virtual ~TSoundPlayer() = default;
  // Plays one WAV image and returns when its last sample has been played. A player that keeps
  // the timing of what follows itself may return from a silence before its end.
  virtual void Play(const std::vector<uint8_t>& wave) = 0;
  // Waits ms milliseconds with nothing played (the gap between elements).
  virtual void Pause(unsigned ms);
  // Ends the sound under way and drops everything queued or written ahead of it, at once: the
  // Play or Pause under way returns, and later ones return silently until Restart. From any
  // thread. A player that cannot cut a sound short lets it finish.
  virtual void Stop() {}
  // Plays again after Stop.
  virtual void Restart() {}
};

// The window side of the worker. Every call but Synchronize comes on the GUI thread, inside
// Synchronize.
class TCWOutputHost {
 public:
  virtual ~TCWOutputHost() = default;
  // Runs call on the GUI thread and returns when it has run.
  virtual void Synchronize(const std::function<void()>& call) = 0;
  virtual void ShowText(const std::string& text) = 0;  // the text box (code page 437)
  virtual void SetInfo(const std::string& text) = 0;   // the status line
  // Selects the character at a 1-based position in the text box; 0 hides the selection.
  virtual void ShowSelection(int position) = 0;
  virtual void SetKeyCursor(bool down) = 0;
};

// A host without a window (a WAV file, a test): every call runs at once, nothing is shown.
class TNoWindowHost : public TCWOutputHost {
 public:
  void Synchronize(const std::function<void()>& call) override { call(); }
  void ShowText(const std::string&) override {}
  void SetInfo(const std::string&) override {}
  void ShowSelection(int) override {}
  void SetKeyCursor(bool) override {}
};

inline constexpr const char* kCWStopsText = "ESC stops CW output";
inline constexpr const char* kCWInactiveText = "Inactive: F9 starts with current entry";

// The worker that sends one text. Created idle; Resume runs Execute on a thread of its own,
// then calls the end handler on that thread (the host passes it on to the GUI thread). A stop
// request cuts the sound under way short (as far as the player can) and ends the run at the
// next element boundary.
class TCWOutput {
 public:
  TCWOutput(TSoundPlayer& player, TCWOutputHost& host);
  ~TCWOutput();  // requests a stop and waits for the thread
  TCWOutput(const TCWOutput&) = delete;
  TCWOutput& operator=(const TCWOutput&) = delete;

  // Cut to its first 255 characters.
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  void SetOptions(const TMorseOptions& options) { options_ = options; }
  void SetOnTerminate(std::function<void()> handler) { onTerminate_ = std::move(handler); }

  void Resume();
  // Requests the stop and stops the player's sound at once.
  void Terminate();
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  // Waits until the thread has ended.
  void WaitFor();

  // The run itself, on the calling thread: waves, text, SendText, and the reset at the end.
  void Execute();
  int Position() const { return position_; }
  int LastPosition() const { return lastPosition_; }
  const TMorseTiming& Timing() const { return timing_; }
  // Message of a failure that ended the last run (not a stop request); empty when none.
  const std::string& Error() const { return error_; }

 private:
  void SendText(const std::string& s);
  void SendChar(char c);
  void CheckTerminated() const;
  void UpdateStatus();
  void Sync(void (TCWOutput::*method)());

  TSoundPlayer& player_;
  TCWOutputHost& host_;
  std::string text_;
  std::string error_;
  TMorseOptions options_;
  TMorseTiming timing_;
  std::vector<uint8_t> dotWave_, dashWave_, letterGapWave_, wordGapWave_;
  int position_ = 0;
  int lastPosition_ = 0;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::function<void()> onTerminate_;
  std::thread thread_;
};
