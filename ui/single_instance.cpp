#include "single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QDeadlineTimer>
#include <QThread>

namespace dorvan::ui {

namespace {

// More than any command line; a peer sending more is cut off.
constexpr qint64 kMaxHandOverBytes = 16 * 1024 * 1024;

// Each argument ends with a NUL, which no argument can hold.
QByteArray Encode(const std::vector<std::string>& args) {
  QByteArray bytes;
  for (const std::string& arg : args) {
    bytes.append(arg.data(), static_cast<qsizetype>(arg.size()));
    bytes.append('\0');
  }
  return bytes;
}

std::vector<std::string> Decode(const QByteArray& bytes) {
  std::vector<std::string> args;
  qsizetype start = 0;
  for (qsizetype end = bytes.indexOf('\0'); end >= 0; end = bytes.indexOf('\0', start)) {
    args.emplace_back(bytes.constData() + start, static_cast<std::size_t>(end - start));
    start = end + 1;
  }
  return args;
}

}  // namespace

SingleInstance::SingleInstance(const QString& lock_folder) {
  QString folder = lock_folder;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  lock_ = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("dorvan.lock")));
  socket_path_ = QDir(folder).filePath(QStringLiteral("dorvan.socket"));
  // Only a lock whose owner process is gone is stale; a live copy may hold it for days.
  lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TryAcquire() { return lock_->tryLock(0); }

bool SingleInstance::Listen(std::function<void(const std::vector<std::string>& args)> receive) {
  // The lock holder alone listens, so a socket left by a copy that crashed can go.
  QLocalServer::removeServer(socket_path_);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socket_path_)) return false;
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this, receive] {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
      auto* received = new QByteArray;
      QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, received] {
        received->append(peer->readAll());
        if (received->size() > kMaxHandOverBytes) peer->abort();
      });
      QObject::connect(peer, &QLocalSocket::disconnected, peer, [peer, received, receive] {
        received->append(peer->readAll());
        const std::vector<std::string> args = received->size() <= kMaxHandOverBytes ? Decode(*received)
                                                                                     : std::vector<std::string>{};
        delete received;
        peer->deleteLater();
        if (!args.empty()) receive(args);
      });
    }
  });
  return true;
}

bool SingleInstance::HandOver(const std::vector<std::string>& args, int timeout_ms) const {
  QLocalSocket socket;
  // The running copy takes the lock before it listens: a start that falls between the two
  // tries again until it is heard.
  QDeadlineTimer deadline(timeout_ms);
  for (;;) {
    socket.connectToServer(socket_path_);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) return false;
    QThread::msleep(50);
  }
  socket.write(Encode(args));
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(timeout_ms)) return false;
  }
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeout_ms);
  return true;
}

}  // namespace dorvan::ui
