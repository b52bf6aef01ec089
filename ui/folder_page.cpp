#include "folder_page.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>

#include "ui/folder_tree.h"
#include "ui/message_boxes.h"
#include "ui/volume_source.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

FolderPage::FolderPage(const FolderPageControls& controls, VolumeSource& volumes,
                       MessageBoxes& messages, std::function<bool()> scanning, QObject* parent)
    : QObject(parent),
      c_(controls),
      volumes_(volumes),
      messages_(messages),
      scanning_(std::move(scanning)),
      model_(new FolderTreeModel(this)) {
  c_.Dir1->setModel(model_);
  c_.Dir1->setHeaderHidden(true);
  c_.Dir1->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(c_.Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) dir1_path_ = model_->PathOf(current);
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

QString FolderPage::Dir1Path() const { return DisplayPath(dir1_path_); }

void FolderPage::SetDir1Path(const QString& folder) {
  const std::vector<std::string> named = PathsOfQtName(folder);
  SetDir1Bytes(named.empty() ? PathOfBytes(QFile::encodeName(folder)) : named.front());
}

void FolderPage::SetDir1Bytes(const std::string& folder) {
  const QString shown = QFile::decodeName(PathBytes(folder));
  const QString root = QStorageInfo(shown).isValid() ? QStorageInfo(shown).rootPath() : QDir::rootPath();
  ShowVolume(root);
  const QModelIndex index = model_->IndexOf(folder);
  if (index.isValid()) {
    c_.Dir1->setCurrentIndex(index);
    c_.Dir1->scrollTo(index, QAbstractItemView::PositionAtCenter);
  }
  dir1_path_ = folder;
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
  const std::string rootBytes = PathOfBytes(QFile::encodeName(root));
  const QModelIndex index = model_->IndexOf(rootBytes);
  if (index.isValid()) c_.Dir1->setCurrentIndex(index);
  dir1_path_ = rootBytes;
  // A second scan must not start while one runs; the running scan turns the button on
  // when it ends.
  if (!scanning_ || !scanning_()) c_.Command8->setEnabled(true);
}

void FolderPage::ShowVolume(const QString& root) {
  model_->SetRoot(PathOfBytes(QFile::encodeName(root)));
  c_.Dir1->expand(model_->index(0, 0));
}

QString FolderPage::ChosenRoot() const { return c_.Drive1->currentData().toString(); }

}  // namespace dorvan::ui
