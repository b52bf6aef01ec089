#include "folder_page.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTreeView>

#include "ui/message_boxes.h"
#include "ui/volume_source.h"

namespace dorvan::ui {

FolderPage::FolderPage(const FolderPageControls& controls, VolumeSource& volumes,
                       MessageBoxes& messages, std::function<bool()> scanning, QObject* parent)
    : QObject(parent),
      c_(controls),
      volumes_(volumes),
      messages_(messages),
      scanning_(std::move(scanning)),
      model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setReadOnly(true);
  c_.Dir1->setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) c_.Dir1->hideColumn(column);
  c_.Dir1->setHeaderHidden(true);
  c_.Dir1->setSelectionMode(QAbstractItemView::SingleSelection);
  // Only the chosen volume's root stands at the top of the tree, even though the model
  // lists its neighbours as they load.
  connect(model_, &QFileSystemModel::rowsInserted, this, &FolderPage::HideOtherTopFolders);
  // The tree loads and sorts folders in the background, which moves the rows; the chosen
  // folder is brought back into view until the user takes over the tree.
  connect(model_, &QFileSystemModel::directoryLoaded, this, &FolderPage::RevealChosenFolder);
  connect(model_, &QFileSystemModel::layoutChanged, this, &FolderPage::RevealChosenFolder);
  connect(c_.Dir1, &QTreeView::pressed, this, [this] { reveal_pending_ = false; });
  connect(c_.Dir1->verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this] { reveal_pending_ = false; });
  connect(c_.Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) dir1_path_ = model_->filePath(current);
          });

  const QString working_folder = QDir::currentPath();
  const QString working_root = QStorageInfo(working_folder).rootPath();
  const QSignalBlocker quiet(c_.Drive1);
  c_.Drive1->clear();
  for (const Volume& volume : volumes_.Volumes()) {
    c_.Drive1->addItem(VolumeCaption(volume), volume.root_path);
    if (volume.root_path == working_root) c_.Drive1->setCurrentIndex(c_.Drive1->count() - 1);
  }
  SetDir1Path(working_folder);
  connect(c_.Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
}

void FolderPage::SetDir1Path(const QString& folder) {
  const QString root = QStorageInfo(folder).isValid() ? QStorageInfo(folder).rootPath()
                                                     : QDir::rootPath();
  ShowVolume(root);
  const QModelIndex index = model_->index(folder);
  if (index.isValid()) {
    c_.Dir1->setCurrentIndex(index);
    reveal_pending_ = true;
    RevealChosenFolder();
  }
  dir1_path_ = folder;
}

void FolderPage::RevealChosenFolder() {
  const QModelIndex current = c_.Dir1->currentIndex();
  if (reveal_pending_ && current.isValid()) c_.Dir1->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

void FolderPage::Drive1_Change() {
  const QString root = ChosenRoot();
  if (root.isEmpty()) return;
  if (!volumes_.IsReady(root)) {
    messages_.Show(c_.Drive1->window(), c_.Drive1->window()->windowTitle(),
                   QStringLiteral("デバイスが準備できていません。"), MessageIcon::Stop,
                   MessageButtons::Ok);
    c_.Drive1->setFocus();
    c_.Command8->setEnabled(false);
    return;
  }
  ShowVolume(root);
  const QModelIndex index = model_->index(root);
  if (index.isValid()) c_.Dir1->setCurrentIndex(index);
  dir1_path_ = root;
  // A second scan must not start while one runs; the running scan turns the button on
  // when it ends.
  if (!scanning_ || !scanning_()) c_.Command8->setEnabled(true);
}

void FolderPage::ShowVolume(const QString& root) {
  volume_root_ = root;
  model_->setRootPath(root);
  const QModelIndex root_index = model_->index(root);
  c_.Dir1->setRootIndex(root_index.parent());
  HideOtherTopFolders(root_index.parent(), 0, model_->rowCount(root_index.parent()) - 1);
  c_.Dir1->expand(root_index);
}

void FolderPage::HideOtherTopFolders(const QModelIndex& parent, int first, int last) {
  if (parent != c_.Dir1->rootIndex()) return;
  const QString root = QDir::cleanPath(volume_root_);
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = model_->index(row, 0, parent);
    c_.Dir1->setRowHidden(row, parent, QDir::cleanPath(model_->filePath(index)) != root);
  }
}

QString FolderPage::ChosenRoot() const { return c_.Drive1->currentData().toString(); }

}  // namespace dorvan::ui
