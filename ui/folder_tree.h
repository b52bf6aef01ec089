// The folder list Dir1's model: the folders of one volume, listed from their bytes as the
// system gives them, so that a folder whose name is not UTF-8 is shown the windows' way and
// can be entered and scanned (Qt's file-system model shows such a name with replacement
// characters and cannot open it). A folder is listed when the tree first asks for it.
#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace dorvan::ui {

class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit FolderTreeModel(QObject* parent = nullptr);
  ~FolderTreeModel() override;

  // Shows the volume mounted on `root` (its bytes) as the one top folder.
  void SetRoot(const std::string& root);
  // The folder of an entry, as bytes; empty for an invalid index.
  std::string PathOf(const QModelIndex& index) const;
  // The entry of `path` (bytes), listing the folders on the way; invalid when the path is
  // not under the root or a folder on the way is gone.
  QModelIndex IndexOf(const std::string& path);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  struct Node;
  Node* NodeOf(const QModelIndex& index) const;
  // Lists a folder's subfolders once, sorted ignoring case; hidden folders are left out.
  void List(Node& node) const;

  std::unique_ptr<Node> top_;  // holds the volume root as its one child
};

}  // namespace dorvan::ui
