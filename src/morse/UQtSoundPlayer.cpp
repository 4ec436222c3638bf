#include "morse/UQtSoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QThread>

namespace {

constexpr qint64 kUsPerSample = 1000000 / kWaveSampleRate;

}  // namespace

void TQtSoundPlayer::Play(const std::vector<uint8_t>& wave) {
  if (wave.size() <= static_cast<size_t>(kWaveHeaderSize)) return;
  const char* samples = reinterpret_cast<const char*>(wave.data()) + kWaveHeaderSize;
  const qint64 n = static_cast<qint64>(wave.size()) - kWaveHeaderSize;

  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) throw ESoundError(kNoAudioOutputText);
  QAudioFormat format;
  format.setSampleRate(kWaveSampleRate);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::UInt8);
  if (!device.isFormatSupported(format))
    throw ESoundError("The audio output " + device.description().toStdString() +
                      " cannot play 8000 Hz 8-bit mono sound");

  // The sink posts its state changes to this thread: let them run while waiting.
  QEventLoop events;
  QAudioSink sink(device, format);
  QIODevice* io = sink.start();
  if (!io || sink.error() != QAudio::NoError)
    throw ESoundError("The audio output " + device.description().toStdString() +
                      " cannot be opened");
  const qint64 soundUs = n * kUsPerSample;
  QElapsedTimer clock;
  clock.start();
  // Enough for the sound and a slow start of the stream; a hung output does not hang the worker.
  const qint64 limitMs = soundUs / 1000 + 2000;
  qint64 written = 0;
  while (written < n) {
    const qint64 w = io->write(samples + written, n - written);
    if (w < 0) break;
    written += w;
    if (written < n) {
      events.processEvents(QEventLoop::AllEvents);
      QThread::usleep(500);
    }
    if (clock.elapsed() > limitMs || sink.error() == QAudio::FatalError) break;
  }
  // The output reports idle before the end has been heard: wait until the time it has
  // played covers the samples.
  while (sink.processedUSecs() < soundUs && clock.elapsed() <= limitMs &&
         sink.error() != QAudio::FatalError) {
    events.processEvents(QEventLoop::AllEvents);
    QThread::usleep(500);
  }
  const bool failed = sink.error() == QAudio::FatalError || sink.error() == QAudio::OpenError;
  sink.stop();
  if (failed)
    throw ESoundError("The audio output " + device.description().toStdString() +
                      " failed while playing");
}
