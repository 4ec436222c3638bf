#include "morse/UQtSoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

constexpr quint64 kLeadBytes = 160;     // 20 ms written ahead of what is heard
constexpr quint64 kAheadBytes = 1600;   // at most 200 ms of queued sound written ahead
constexpr quint64 kReserveBytes = 480;  // 60 ms of a silence left to play when Play returns
constexpr int kClockMs = 2;             // how often the output is topped up
constexpr int kIdleCloseMs = 2000;
constexpr char kSilence = static_cast<char>(128);

// Shared between the player's callers and the output thread. Stream positions count bytes
// (samples) since the output opened; "appended" and "taken" count the samples that went through
// the pending queue.
struct TQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<char> pending;  // samples not yet handed to the output
  quint64 handedOut = 0;     // bytes handed to the output since it opened, silence included
  quint64 played = 0;        // bytes the output has played since it opened
  quint64 appended = 0;      // samples ever put into pending
  quint64 taken = 0;         // samples ever taken from pending
  quint64 waitIndex = 0;     // value of appended after the sound a caller waits for
  quint64 waitEnd = 0;       // stream position after that sound, once it has been handed out
  bool waitEndKnown = true;
  quint64 lastEnd = 0;  // stream position after the last sound whose end is known
  bool open = false;
  bool stopped = false;  // Stop: sounds return at once, silently, until Restart
  std::string error;
};

}  // namespace

// The output stream and its clock, living on the output thread.
struct TQtSoundPlayer::TOutput : QObject {
  TQueue queue;
  QThread thread;
  QAudioSink* sink = nullptr;
  QIODevice* io = nullptr;  // the sink's, written to
  QTimer* clock = nullptr;
  int idleMs = 0;

  TOutput() {
    thread.setObjectName("sound output");
    thread.start();
    moveToThread(&thread);
  }
  ~TOutput() override {
    QMetaObject::invokeMethod(
        this, [this] { Close(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
  }

  // On the output thread.
  void Open() {
    if (sink) return;
    // Ahead of other work where the system allows it (it may not: then as it is).
    QThread::currentThread()->setPriority(QThread::TimeCriticalPriority);
    std::string error;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(kWaveSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::UInt8);
    if (device.isNull()) {
      error = kNoAudioOutputText;
    } else if (!device.isFormatSupported(format)) {
      error = "The audio output " + device.description().toStdString() +
              " cannot play 8000 Hz 8-bit mono sound";
    } else {
      {
        std::lock_guard lock(queue.mutex);
        queue.handedOut = queue.played = queue.lastEnd = 0;
      }
      sink = new QAudioSink(device, format);
      io = sink->start();
      if (!io || sink->error() != QAudio::NoError) {
        error = "The audio output " + device.description().toStdString() + " cannot be opened";
        Close();
      } else {
        // A new stream may skip the first moments of what it gets: let that be silence.
        const QByteArray silence(static_cast<qsizetype>(kLeadBytes), kSilence);
        const qint64 primed = io->write(silence);
        {
          std::lock_guard lock(queue.mutex);
          queue.handedOut = primed > 0 ? static_cast<quint64>(primed) : 0;
        }
        clock = new QTimer;
        clock->setTimerType(Qt::PreciseTimer);
        QObject::connect(clock, &QTimer::timeout, [this] { Tick(); });
        clock->start(kClockMs);
        idleMs = 0;
      }
    }
    std::lock_guard lock(queue.mutex);
    queue.open = sink != nullptr;
    queue.error = error;
    queue.changed.notify_all();
  }

  void Close() {
    delete clock;
    clock = nullptr;
    if (sink) sink->stop();
    delete sink;
    sink = nullptr;
    io = nullptr;
    std::lock_guard lock(queue.mutex);
    queue.open = false;
    queue.taken += queue.pending.size();
    queue.pending.clear();
    queue.waitEndKnown = true;
    queue.changed.notify_all();
  }

  // Reads the played position and keeps at least kLeadBytes written ahead of it: pending samples
  // first, silence when there are none, so that the stream never runs dry.
  void Tick() {
    const bool failed = sink->error() == QAudio::FatalError || sink->error() == QAudio::OpenError;
    const auto played = static_cast<quint64>(sink->processedUSecs()) * kWaveSampleRate / 1000000;
    bool idle = false;
    {
      std::lock_guard lock(queue.mutex);
      queue.played = played;
      if (failed) queue.error = "The audio output failed while playing";
      // After a dry spell (the thread was not scheduled in time) the output has moved past
      // what it got: silence fills up to where it is, so that the samples that follow are not
      // written into the past and cut.
      if (!failed && played > queue.handedOut) {
        const QByteArray catchUp(static_cast<qsizetype>(played - queue.handedOut), kSilence);
        const qint64 written = io->write(catchUp);
        if (written > 0) queue.handedOut += static_cast<quint64>(written);
      }
      const quint64 ahead = queue.handedOut > played ? queue.handedOut - played : 0;
      // Queued sound as far ahead as kAheadBytes, so that a late tick does not break it;
      // silence only up to kLeadBytes, so that a sound queued later is not held back by it.
      const quint64 fromPending =
          std::min<quint64>(queue.pending.size(), ahead < kAheadBytes ? kAheadBytes - ahead : 0);
      const quint64 filler =
          ahead + fromPending < kLeadBytes ? kLeadBytes - ahead - fromPending : 0;
      if (!failed && fromPending + filler > 0) {
        QByteArray chunk(static_cast<qsizetype>(fromPending + filler), kSilence);
        const auto n = static_cast<qint64>(fromPending);
        std::copy_n(queue.pending.begin(), n, chunk.begin());
        const qint64 written = io->write(chunk);
        if (written > 0) {
          const auto taken = static_cast<quint64>(std::min(written, n));
          queue.pending.erase(queue.pending.begin(),
                              queue.pending.begin() + static_cast<qsizetype>(taken));
          if (!queue.waitEndKnown && queue.waitIndex <= queue.taken + taken) {
            queue.waitEnd = queue.lastEnd = queue.handedOut + (queue.waitIndex - queue.taken);
            queue.waitEndKnown = true;
          }
          queue.taken += taken;
          queue.handedOut += static_cast<quint64>(written);
        }
      }
      idle = queue.pending.empty() &&
             played >= queue.handedOut - std::min(queue.handedOut, kLeadBytes);
      queue.changed.notify_all();
    }
    idleMs = idle ? idleMs + kClockMs : 0;
    if (failed || idleMs >= kIdleCloseMs) Close();
  }
};

TQtSoundPlayer::TQtSoundPlayer() = default;

TQtSoundPlayer::TOutput& TQtSoundPlayer::Output() {
  std::lock_guard lock(outputMutex_);
  if (!output_) output_ = std::make_unique<TOutput>();
  return *output_;
}

void TQtSoundPlayer::Stop() {
  TOutput* out = nullptr;
  {
    std::lock_guard lock(outputMutex_);
    out = output_.get();
  }
  if (!out) return;
  {
    std::lock_guard lock(out->queue.mutex);
    out->queue.stopped = true;
    out->queue.changed.notify_all();
  }
  // Closing the stream, not draining it: what was written ahead is not played.
  QMetaObject::invokeMethod(
      out, [out] { out->Close(); }, Qt::BlockingQueuedConnection);
}

void TQtSoundPlayer::Restart() {
  TOutput& out = Output();
  std::lock_guard lock(out.queue.mutex);
  out.queue.stopped = false;
}

TQtSoundPlayer::~TQtSoundPlayer() = default;

void TQtSoundPlayer::Play(const std::vector<uint8_t>& wave) {
  if (wave.size() <= static_cast<size_t>(kWaveHeaderSize)) return;
  const auto begin = wave.begin() + kWaveHeaderSize;
  const bool silent = std::all_of(begin, wave.end(), [](uint8_t v) { return v == 128; });
  Queue(reinterpret_cast<const char*>(&*begin), wave.size() - kWaveHeaderSize, silent);
}

void TQtSoundPlayer::Pause(unsigned ms) {
  const std::vector<char> silence(static_cast<size_t>(ms) * kWaveSampleRate / 1000, kSilence);
  if (!silence.empty()) Queue(silence.data(), silence.size(), true);
}

// A sound follows the one before without a break when the caller comes back in time: the output
// holds the next 20 ms ready, so a tone asked for after the silence before it has run out would
// start late. A silence therefore begins where the sound before it ended, when the silence
// written ahead since then fits into it (else where the output is now), and counts that as part
// of itself; and it returns 60 ms before its end, so that the tone after it is queued right
// behind it. A tone returns when it has been played.
void TQtSoundPlayer::Queue(const char* samples, size_t n, bool silent) {
  TOutput& out = Output();
  TQueue& q = out.queue;
  bool open = false;
  {
    std::lock_guard lock(q.mutex);
    if (q.stopped) return;
    open = q.open;
  }
  if (!open) {
    QMetaObject::invokeMethod(
        &out, [&out] { out.Open(); }, Qt::BlockingQueuedConnection);
    std::lock_guard lock(q.mutex);
    if (q.stopped) return;
    if (!q.open) throw ESoundError(q.error.empty() ? kNoAudioOutputText : q.error);
  }
  std::unique_lock lock(q.mutex);
  if (q.stopped) return;
  size_t skip = 0;
  quint64 from = q.played;
  if (silent && q.pending.empty()) {
    if (q.lastEnd <= q.handedOut && q.handedOut - q.lastEnd <= n) from = q.lastEnd;
    if (q.handedOut > from) skip = static_cast<size_t>(std::min<quint64>(q.handedOut - from, n));
  }
  if (skip == n) {
    q.waitEnd = q.lastEnd = from + n;
    q.waitEndKnown = true;
  } else {
    q.pending.insert(q.pending.end(), samples + skip, samples + n);
    q.appended += n - skip;
    q.waitIndex = q.appended;
    q.waitEndKnown = false;
  }
  const quint64 reserve = silent ? kReserveBytes : 0;
  const auto soundMs = static_cast<int64_t>(n * 1000 / kWaveSampleRate);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(soundMs + 2000);
  // Until the sound has been handed out and the output has played past its end (a silence: its
  // end less the reserve; estimated from what is pending while it has not been handed out).
  const auto done = [&] {
    const quint64 end =
        q.waitEndKnown ? q.waitEnd : q.handedOut + (q.waitIndex - std::min(q.waitIndex, q.taken));
    return (q.waitEndKnown || silent) && q.played + reserve >= end;
  };
  while (!q.stopped && q.open && q.error.empty() && !done()) {
    if (q.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      q.error = "The audio output does not play";
      break;
    }
  }
  if (q.stopped) return;
  if (!q.error.empty()) {
    const std::string error = q.error;
    q.error.clear();
    throw ESoundError(error);
  }
  if (!q.open) throw ESoundError("The audio output closed while playing");
}
