#pragma once
// One running desktop program per user: a second start hands its request (to the front, and the
// data folder named on its command line) to the running one over a local socket and ends.
#include <QObject>
#include <QString>

class QLocalServer;

// The request line a start sends: "raise" or "open <folder>", UTF-8, ended by a line feed; the
// running program answers "ok".
class TInstanceServer : public QObject {
  Q_OBJECT

 public:
  explicit TInstanceServer(QObject* parent = nullptr);
  ~TInstanceServer() override;

  // The socket's name: per user, and TELLMARK_INSTANCE when set (tests).
  static QString ServerName();
  // Hands the request to a running program; true when it answered (this start then ends).
  // dataFolder: absolute, or empty for none.
  static bool HandToRunning(const QString& dataFolder, int timeoutMs = 3000);

  // Listens for later starts; a socket left behind by a program that ended is replaced. False
  // when it cannot listen (the program then runs on its own).
  bool Listen();

 signals:
  // A later start asked for the window: to the front, and the data folder it named (empty:
  // none).
  void Activated(const QString& dataFolder);

 private:
  void ReadRequest();

  QLocalServer* server_ = nullptr;
};

// Brings a window to the front: restored when minimised, shown, raised and activated.
class QWidget;
void BringToFront(QWidget* window);
