#include "volume_source.h"

#include <QFile>
#include <QStorageInfo>
#include <dirent.h>

namespace dorvan::ui {

std::vector<Volume> MountedVolumeSource::Volumes() const {
  std::vector<Volume> volumes;
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    volumes.push_back({info.rootPath(), info.name()});
  }
  return volumes;
}

bool MountedVolumeSource::IsReady(const QString& root_path) const {
  const QStorageInfo info(root_path);
  if (!info.isValid() || !info.isReady()) return false;
  // A folder can exist and still refuse a listing (no permission, a dead network mount).
  DIR* dir = ::opendir(QFile::encodeName(root_path).constData());
  if (dir == nullptr) return false;
  ::closedir(dir);
  return true;
}

QString VolumeCaption(const Volume& volume) {
  if (volume.name.isEmpty()) return volume.root_path;
  return volume.root_path + QStringLiteral(" [") + volume.name + QStringLiteral("]");
}

}  // namespace dorvan::ui
