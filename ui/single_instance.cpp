#include "single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace dorvan::ui {

SingleInstance::SingleInstance(const QString& lock_folder) {
  QString folder = lock_folder;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  lock_ = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("dorvan.lock")));
  // Only a lock whose owner process is gone is stale; a live copy may hold it for days.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::TryAcquire() { return lock_->tryLock(0); }

}  // namespace dorvan::ui
