#include "ui/USingleInstance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace {

constexpr qint64 kMaxRequest = 8192;  // a folder name and the command
constexpr int kReadMs = 2000;

}  // namespace

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent) {}

TInstanceServer::~TInstanceServer() = default;

QString TInstanceServer::ServerName() {
  const QString given = qEnvironmentVariable("TELLMARK_INSTANCE");
  if (!given.isEmpty()) return given;
  return QString("tellmark-%1").arg(static_cast<qulonglong>(::getuid()));
}

bool TInstanceServer::HandToRunning(const QString& dataFolder, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(ServerName());
  if (!socket.waitForConnected(timeoutMs)) return false;
  const QByteArray request =
      (dataFolder.isEmpty() ? QByteArray("raise") : "open " + dataFolder.toUtf8()) + "\n";
  socket.write(request);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  return socket.readLine().trimmed() == "ok";
}

bool TInstanceServer::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(ServerName())) {
    // Nobody answered on it (HandToRunning came first): a socket of a program that ended.
    QLocalServer::removeServer(ServerName());
    if (!server_->listen(ServerName())) return false;
  }
  connect(server_, &QLocalServer::newConnection, this, &TInstanceServer::ReadRequest);
  return true;
}

void TInstanceServer::ReadRequest() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // One short line; a client that sends more, or nothing for long, is dropped.
    const auto handle = [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest) socket->abort();
        return;
      }
      const QByteArray line = socket->readLine(kMaxRequest).trimmed();
      socket->write("ok\n");
      socket->flush();
      socket->disconnectFromServer();
      if (line == "raise")
        emit Activated(QString());
      else if (line.startsWith("open "))
        emit Activated(QString::fromUtf8(line.mid(5)));
    };
    connect(socket, &QLocalSocket::readyRead, this, handle);
    if (socket->bytesAvailable() > 0) handle();
    QTimer::singleShot(kReadMs, socket, [socket] {
      if (socket->state() == QLocalSocket::ConnectedState) socket->abort();
    });
  }
}

void BringToFront(QWidget* window) {
  if (window->isMinimized())
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window->show();
  window->raise();
  window->activateWindow();
}
