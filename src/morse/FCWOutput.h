#pragma once
// The "CW Output" window: owns the single Morse worker, shows the text being sent with the
// character under way selected, the status line, and Stop and Close. Created at program start
// and kept; closing it hides it and lets the output go on.
#include <QCursor>
#include <QWidget>
#include <atomic>
#include <memory>

#include "morse/UMMCWOutput.h"

namespace Ui {
class TCWOutputForm;
}

class TCWOutputForm : public QWidget, private TCWOutputHost {
  Q_OBJECT

 public:
  explicit TCWOutputForm(QWidget* parent = nullptr);
  ~TCWOutputForm() override;  // stops a running output and waits for it

  // The player of the next outputs (the audio output unless a test gives another).
  void SetSoundPlayer(std::shared_ptr<TSoundPlayer> player) { player_ = std::move(player); }

  // Starts sending text (cut to 255 characters). Throws std::runtime_error "CW output is still
  // running" while a worker exists; a worker that cannot be made is reported in a message box.
  void StartOutput(const std::string& text, const TMorseOptions& options);
  bool IsRunning() const { return worker_ != nullptr; }
  // Asks a running worker to stop and cuts its sound off; returns at once.
  void StopOutput();
  // The error box of a command refused while output runs (F9 or Test again). Esc, which closes
  // the box, stops the output as well, as Esc does everywhere else while output runs.
  void ShowErrorWhileSending(const QString& text);
  void SetKeyCursor(bool down) override;
  const QCursor& KeyCursor(bool down) const { return down ? keyDown_ : keyUp_; }

 public slots:
  void StopBtnClick();
  void CloseBtnClick();

 signals:
  // The worker has ended and been freed.
  void OutputEnded();

 protected:
  // Esc stops the output here too, as the status line says.
  void keyPressEvent(QKeyEvent* event) override;
  // Esc anywhere while ShowErrorWhileSending's box is open.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // TCWOutputHost: the worker's calls, run on the GUI thread.
  void Synchronize(const std::function<void()>& call) override;
  void ShowText(const std::string& text) override;
  void SetInfo(const std::string& text) override;
  void ShowSelection(int position) override;
  void OutputDone();

  std::unique_ptr<Ui::TCWOutputForm> ui;
  std::shared_ptr<TSoundPlayer> player_;
  std::unique_ptr<TCWOutput> worker_;
  std::atomic<bool> detached_{false};  // the window is going: the worker's calls do nothing
  QCursor keyDown_, keyUp_;
};

inline constexpr const char* kCWStillRunningText = "CW output is still running";
