#include "ui/folder_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QApplication>
#include <QStyle>
#include <algorithm>

#include "files/list_order.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

struct FolderTreeModel::Node {
  std::string path;
  QString name;
  Node* parent = nullptr;
  int row = 0;
  bool listed = false;
  std::vector<std::unique_ptr<Node>> children;
};

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

}  // namespace

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent), top_(std::make_unique<Node>()) {
  top_->listed = true;
}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::SetRoot(const std::string& root) {
  beginResetModel();
  top_->children.clear();
  auto volume = std::make_unique<Node>();
  volume->path = root;
  volume->name = DisplayPath(root);
  volume->parent = top_.get();
  top_->children.push_back(std::move(volume));
  endResetModel();
}

FolderTreeModel::Node* FolderTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : top_.get();
}

void FolderTreeModel::List(Node& node) const {
  if (node.listed) return;
  node.listed = true;
  DIR* folder = ::opendir(node.path.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string path = Join(node.path, name);
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat status {};
      isFolder = ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }
    if (!isFolder) continue;
    auto child = std::make_unique<Node>();
    child->path = path;
    child->name = DisplayPath(name);
    child->parent = &node;
    node.children.push_back(std::move(child));
  }
  ::closedir(folder);
  std::sort(node.children.begin(), node.children.end(), [](const auto& a, const auto& b) {
    return CompareIgnoringCase(a->path, b->path) < 0;
  });
  for (std::size_t i = 0; i < node.children.size(); ++i) node.children[i]->row = static_cast<int>(i);
}

std::string FolderTreeModel::PathOf(const QModelIndex& index) const {
  return index.isValid() ? NodeOf(index)->path : std::string();
}

QModelIndex FolderTreeModel::IndexOf(const std::string& path) {
  if (top_->children.empty()) return {};
  Node* node = top_->children.front().get();
  const std::string& root = node->path;
  const std::string prefix = root.ends_with('/') ? root : root + "/";
  std::string wanted = path;
  while (wanted.size() > 1 && wanted.ends_with('/')) wanted.pop_back();
  if (wanted != root && !wanted.starts_with(prefix)) return {};
  std::size_t at = wanted == root ? wanted.size() : prefix.size();
  while (at < wanted.size()) {
    std::size_t end = wanted.find('/', at);
    if (end == std::string::npos) end = wanted.size();
    const std::string name = wanted.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == ".") continue;
    List(*node);
    Node* next = nullptr;
    for (const auto& child : node->children) {
      if (child->path == Join(node->path, name)) next = child.get();
    }
    if (next == nullptr) return {};
    node = next;
  }
  return createIndex(node->row, 0, node);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  Node* node = NodeOf(parent);
  List(*node);
  if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  Node* parent = NodeOf(child)->parent;
  if (parent == nullptr || parent == top_.get()) return {};
  return createIndex(parent->row, 0, parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  Node* node = NodeOf(parent);
  List(*node);
  return static_cast<int>(node->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  // A folder not yet listed shows that it can be opened; listing every visible folder's
  // folders to know would read the whole level below.
  return !node->listed || !node->children.empty();
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node* node = NodeOf(index);
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return node->name;
  if (role == kPathBytesRole) return PathBytes(node->path);
  if (role == Qt::DecorationRole) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  return {};
}

}  // namespace dorvan::ui
