#include "morse/UQtSoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

constexpr quint64 kLeadBytes = 160;  // 20 ms written ahead of what is heard
constexpr int kClockMs = 2;          // how often the output is topped up
constexpr int kIdleCloseMs = 2000;

// Shared between the player's callers and the output thread.
struct TQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<char> pending;  // samples not yet handed to the output
  quint64 handedOut = 0;     // bytes handed to the output since it opened, silence included
  quint64 played = 0;        // bytes the output has played since it opened
  quint64 lastEnd = 0;       // stream position after the last pending sample handed out
  bool open = false;
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
        queue.handedOut = queue.played = 0;
      }
      sink = new QAudioSink(device, format);
      io = sink->start();
      if (!io || sink->error() != QAudio::NoError) {
        error = "The audio output " + device.description().toStdString() + " cannot be opened";
        Close();
      } else {
        // A new stream may skip the first moments of what it gets: let that be silence.
        const QByteArray silence(static_cast<qsizetype>(kLeadBytes), static_cast<char>(128));
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
    queue.pending.clear();
    queue.changed.notify_all();
  }

  // Reads the played position and keeps kLeadBytes written ahead of it: pending samples first,
  // silence when there are none, so that the stream never runs dry.
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
        const QByteArray catchUp(static_cast<qsizetype>(played - queue.handedOut),
                                 static_cast<char>(128));
        const qint64 written = io->write(catchUp);
        if (written > 0) queue.handedOut += static_cast<quint64>(written);
      }
      const quint64 ahead = queue.handedOut > played ? queue.handedOut - played : 0;
      if (!failed && ahead < kLeadBytes) {
        char chunk[kLeadBytes];
        const auto want = static_cast<qint64>(kLeadBytes - ahead);
        qint64 n = 0;
        for (; n < want && n < static_cast<qint64>(queue.pending.size()); ++n)
          chunk[n] = queue.pending[static_cast<size_t>(n)];
        std::fill(chunk + n, chunk + want, static_cast<char>(128));
        const qint64 written = io->write(chunk, want);
        if (written > 0) {
          const auto taken = static_cast<size_t>(std::min(written, n));
          queue.pending.erase(queue.pending.begin(),
                              queue.pending.begin() + static_cast<qsizetype>(taken));
          if (taken > 0) queue.lastEnd = queue.handedOut + taken;
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

TQtSoundPlayer::~TQtSoundPlayer() = default;

void TQtSoundPlayer::Play(const std::vector<uint8_t>& wave) {
  if (wave.size() <= static_cast<size_t>(kWaveHeaderSize)) return;
  if (!output_) output_ = std::make_unique<TOutput>();
  TOutput& out = *output_;
  TQueue& q = out.queue;
  bool open = false;
  {
    std::lock_guard lock(q.mutex);
    open = q.open;
  }
  if (!open) {
    QMetaObject::invokeMethod(
        &out, [&out] { out.Open(); }, Qt::BlockingQueuedConnection);
    std::lock_guard lock(q.mutex);
    if (!q.open) throw ESoundError(q.error.empty() ? kNoAudioOutputText : q.error);
  }
  std::unique_lock lock(q.mutex);
  q.pending.insert(q.pending.end(), wave.begin() + kWaveHeaderSize, wave.end());
  const auto soundMs =
      static_cast<int64_t>((wave.size() - kWaveHeaderSize) * 1000 / kWaveSampleRate);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(soundMs + 2000);
  // Until every sample has been handed out and the output has played past the last.
  while (q.open && q.error.empty() && (!q.pending.empty() || q.played < q.lastEnd)) {
    if (q.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      q.error = "The audio output does not play";
      break;
    }
  }
  if (!q.error.empty()) {
    const std::string error = q.error;
    q.error.clear();
    throw ESoundError(error);
  }
  if (!q.open) throw ESoundError("The audio output closed while playing");
}
