// One running copy of dorvan per user: two copies would overwrite each other's search
// history. The lock lives in the user's runtime folder and is let go when the holder ends,
// even by a crash (a lock whose process is gone counts as stale).
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace dorvan::ui {

class SingleInstance {
 public:
  // `lock_folder` empty: the user's runtime folder (XDG_RUNTIME_DIR).
  explicit SingleInstance(const QString& lock_folder = QString());
  // True when this process is the only running copy; it then holds the lock until the
  // object is destroyed.
  bool TryAcquire();

 private:
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace dorvan::ui
