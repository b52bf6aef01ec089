// One running copy of dorvan per user: two copies would overwrite each other's search
// history. The lock lives in the user's runtime folder and is let go when the holder ends,
// even by a crash (a lock whose process is gone counts as stale). A later start hands the
// drawings on its command line to the running copy through a socket beside the lock, which
// only the user can reach.
#pragma once

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

namespace dorvan::ui {

class SingleInstance {
 public:
  // `lock_folder` empty: the user's runtime folder (XDG_RUNTIME_DIR).
  explicit SingleInstance(const QString& lock_folder = QString());
  ~SingleInstance();
  // True when this process is the only running copy; it then holds the lock until the
  // object is destroyed.
  bool TryAcquire();

  // The holder: takes the arguments of each later start and gives them to `receive` on the
  // calling thread's event loop. False when the socket cannot be made.
  bool Listen(std::function<void(const std::vector<std::string>& args)> receive);
  // A later start: hands `args` to the running copy. False when it cannot be reached in
  // `timeout_ms`.
  bool HandOver(const std::vector<std::string>& args, int timeout_ms = 5000) const;

 private:
  QString socket_path_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace dorvan::ui
