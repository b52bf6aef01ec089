// The drive list Drive1 and the folder tree Dir1 of the page "フォルダ指定": the user picks a
// volume, then a folder of it; the folder scan starts from Dir1.Path.
#pragma once

#include <QModelIndex>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QComboBox;
class QPushButton;
class QTreeView;

namespace dorvan::ui {

class FolderTreeModel;
class MessageBoxes;
class VolumeSource;

struct FolderPageControls {
  QComboBox* Drive1 = nullptr;      // the volumes
  QTreeView* Dir1 = nullptr;        // the folders of the chosen volume
  QPushButton* Command8 = nullptr;  // "ファイル検索"
};

class FolderPage : public QObject {
  Q_OBJECT
 public:
  // Fills Drive1 from `volumes` and shows the working folder, as the lists start out before
  // the user touches them. `volumes` and `messages` must outlive the page. `scanning` tells
  // whether a scan runs, during which a volume change leaves the scan button off.
  FolderPage(const FolderPageControls& controls, VolumeSource& volumes, MessageBoxes& messages,
             std::function<bool()> scanning = {}, QObject* parent = nullptr);

  // The folder the scan starts from: the folder chosen in Dir1, or the root of the volume
  // last chosen in Drive1; its bytes, and as the window shows it.
  const std::string& Dir1Bytes() const { return dir1_path_; }
  QString Dir1Path() const;
  // Shows `folder` in Dir1 (its volume's tree, the folder selected) and makes it Dir1.Path;
  // a name as Qt shows it stands for the folder it names.
  void SetDir1Path(const QString& folder);
  void SetDir1Bytes(const std::string& folder);
  FolderTreeModel* Model() const { return model_; }

  // Drive1's choice changed. A ready volume: Dir1 shows it and "ファイル検索" is enabled. A
  // volume that is not ready: the stop message, Dir1 stays, "ファイル検索" is disabled.
  void Drive1_Change();

 private:
  void ShowVolume(const QString& root);
  QString ChosenRoot() const;

  FolderPageControls c_;
  VolumeSource& volumes_;
  MessageBoxes& messages_;
  std::function<bool()> scanning_;
  FolderTreeModel* model_;
  std::string dir1_path_;
};

}  // namespace dorvan::ui
