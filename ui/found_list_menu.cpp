#include "ui/found_list_menu.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <set>

#include "files/shell_open.h"
#include "ui/list_box.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/open_drawing.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

std::string ContainingFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

ListContextMenu::ListContextMenu(ListBox& list, ShellOpener& shell, MessageBoxes& messages,
                                 FoundListActions found)
    : QObject(&list), list_(list), shell_(shell), messages_(messages), found_(std::move(found)) {
  menu_ = new QMenu(&list);
  menu_->setAccessibleName(QStringLiteral("一覧のメニュー"));
  open_ = menu_->addAction(QStringLiteral("開く"), this, &ListContextMenu::OpenSelected);
  if (found_.preview) {
    preview_ = menu_->addAction(QStringLiteral("プレビュー"), this, [this] {
      if (list_.currentRow() >= 0) found_.preview(list_.currentRow());
    });
  }
  if (found_.preview) openDxf_ = menu_->addAction(QStringLiteral("DXF で開く"), this, &ListContextMenu::OpenSelectedAsDxf);
  if (found_.showMatches) {
    showMatches_ = menu_->addAction(QStringLiteral("一致箇所を表示"), this, [this] {
      if (list_.currentRow() >= 0) found_.showMatches(list_.currentRow());
    });
  }
  openFolder_ = menu_->addAction(QStringLiteral("フォルダを開く"), this, &ListContextMenu::OpenSelectedFolders);
  copyPaths_ = menu_->addAction(QStringLiteral("パスをコピー"), this, &ListContextMenu::CopySelectedPaths);
  copyPaths_->setShortcut(QKeySequence::Copy);
  if (found_.saveDxf || found_.saveList) menu_->addSeparator();
  if (found_.saveDxf) {
    saveDxf_ = menu_->addAction(QStringLiteral("DXF で保存…"), this, [this] {
      if (list_.currentRow() >= 0) found_.saveDxf(list_.currentRow());
    });
  }
  if (found_.saveList) {
    saveList_ = menu_->addAction(QStringLiteral("一覧を保存…"), this, [this] { found_.saveList(); });
  }

  // Ctrl+C itself is the list's own key.
  list.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&list, &QWidget::customContextMenuRequested, this, &ListContextMenu::ShowAt);
}

QMenu* ListContextMenu::Menu() {
  const bool any = !list_.selectedItems().isEmpty();
  open_->setEnabled(any);
  openFolder_->setEnabled(any);
  copyPaths_->setEnabled(any);
  if (showMatches_ != nullptr) showMatches_->setEnabled(list_.currentItem() != nullptr);
  if (preview_ != nullptr) preview_->setEnabled(list_.currentItem() != nullptr);
  if (saveList_ != nullptr) saveList_->setEnabled(list_.count() > 0);
  if (openDxf_ != nullptr) openDxf_->setEnabled(any);
  if (saveDxf_ != nullptr) saveDxf_->setEnabled(list_.currentItem() != nullptr);
  return menu_;
}

void ListContextMenu::ShowAt(const QPoint& position) {
  Menu()->popup(list_.viewport()->mapToGlobal(position));
}


void ListContextMenu::OpenSelected() {
  const std::vector<std::string> paths = list_.SelectedPaths();
  // Each drawing starts an application window of its own: many at once are asked first,
  // as a file manager does, so that a slip of the selection does not flood the desktop.
  if (paths.size() > kOpenWithoutAsking &&
      messages_.Show(&list_, MainCaption(), QStringLiteral("%1 個のファイルを開きますか？").arg(paths.size()),
                     MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
    return;
  }
  std::vector<int> rows;
  for (int row = 0; row < list_.count(); ++row)
    if (list_.item(row)->isSelected()) rows.push_back(row);
  for (int row : rows) {
    std::function<void()> preview;
    if (found_.preview) preview = [this, row] { found_.preview(row); };
    OpenDrawing(shell_, messages_, &list_, list_.PathAt(row), kShowMaximized, preview);
  }
}

void ListContextMenu::OpenSelectedAsDxf() {
  const std::vector<std::string> paths = list_.SelectedPaths();
  if (paths.size() > kOpenWithoutAsking &&
      messages_.Show(&list_, MainCaption(), QStringLiteral("%1 個のファイルを開きますか？").arg(paths.size()),
                     MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
    return;
  }
  for (const std::string& path : paths) OpenAsDxf(shell_, messages_, &list_, path);
}

void ListContextMenu::OpenSelectedFolders() {
  std::set<std::string> opened;
  for (const std::string& path : list_.SelectedPaths()) {
    const std::string folder = ContainingFolder(path);
    if (opened.insert(folder).second) OpenDrawing(shell_, messages_, &list_, folder, kShowNormal, {}, true);
  }
}

void ListContextMenu::CopySelectedPaths() {
  const std::vector<std::string> paths = list_.SelectedPaths();
  if (!paths.empty()) QApplication::clipboard()->setMimeData(PathsMimeData(paths));
}

}  // namespace dorvan::ui
