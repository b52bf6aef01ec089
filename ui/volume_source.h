// Where the drive list gets its volumes from. The real source asks the system for its
// mounted volumes; tests put in a source with a volume that is not ready.
#pragma once

#include <QString>
#include <vector>

namespace dorvan::ui {

struct Volume {
  QString root_path;  // the folder the volume is mounted on, e.g. "/" or "/media/usb"
  QString name;       // the volume's label; may be empty
};

class VolumeSource {
 public:
  virtual ~VolumeSource() = default;
  // The volumes to offer, ready or not.
  virtual std::vector<Volume> Volumes() const = 0;
  // Whether the volume mounted on `root_path` can be browsed now. Asked at every choice,
  // because a removable volume may come and go while the program runs.
  virtual bool IsReady(const QString& root_path) const = 0;
};

// The machine's mounted volumes (QStorageInfo). A volume is not ready when the system says
// so or when its root folder cannot be listed.
class MountedVolumeSource : public VolumeSource {
 public:
  std::vector<Volume> Volumes() const override;
  bool IsReady(const QString& root_path) const override;
};

// The text the drive list shows for a volume: its root path, then its name in brackets.
QString VolumeCaption(const Volume& volume);

}  // namespace dorvan::ui
