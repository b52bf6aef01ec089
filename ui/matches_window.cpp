#include "ui/matches_window.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "search/match_text.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

MatchesWindow::MatchesWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("一致箇所"));
  setObjectName(QStringLiteral("MatchesWindow"));
  heading_ = new QLabel(this);
  // Its text is what a screen reader must read; the role goes into the description.
  heading_->setAccessibleDescription(QStringLiteral("図面と一致件数"));
  heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  heading_->setWordWrap(true);

  table_ = new QTableWidget(0, 4, this);
  table_->setAccessibleName(QStringLiteral("一致箇所の一覧"));
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("場所"), QStringLiteral("レイヤ"), QStringLiteral("位置"), QStringLiteral("文字")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The rows are read, not edited: Tab goes on to "閉じる" instead of through every cell.
  table_->setTabKeyNavigation(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* menu = new QMenu(table_);
  menu->addAction(QStringLiteral("コピー"), QKeySequence::Copy, this, &MatchesWindow::CopySelectedRows);
  connect(table_, &QWidget::customContextMenuRequested, this,
          [this, menu](const QPoint& at) { menu->popup(table_->viewport()->mapToGlobal(at)); });
  auto* copy = new QShortcut(QKeySequence::Copy, table_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(copy, &QShortcut::activated, this, &MatchesWindow::CopySelectedRows);

  close_ = new QPushButton(QStringLiteral("閉じる"), this);
  close_->setAccessibleName(QStringLiteral("閉じる"));
  connect(close_, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading_);
  layout->addWidget(table_);
  layout->addLayout(buttons);
  resize(720, 360);
}

void MatchesWindow::ShowMatches(const std::string& path, const DrawingMatches* matches) {
  const QString shownPath = DisplayPath(path);
  const std::size_t total = matches != nullptr ? matches->Total : 0;
  const std::size_t listed = matches != nullptr ? matches->Records.size() : 0;
  QString heading = QStringLiteral("%1\n一致 %2 件").arg(shownPath).arg(total);
  if (listed < total) heading += QStringLiteral("（最初の %1 件を表示）").arg(listed);
  heading_->setText(heading);
  setWindowTitle(QStringLiteral("一致箇所 - %1").arg(shownPath.section(u'/', -1)));

  table_->clearContents();
  table_->setRowCount(static_cast<int>(listed));
  for (std::size_t i = 0; i < listed; ++i) {
    const MatchRecord& record = matches->Records[i];
    const std::string cells[] = {MatchPlace(record), MatchLayer(record), MatchPosition(record),
                                 MatchTextLine(record)};
    for (int column = 0; column < 4; ++column) {
      table_->setItem(static_cast<int>(i), column, new QTableWidgetItem(QString::fromStdString(cells[column])));
    }
  }
  table_->resizeColumnsToContents();
  show();
  raise();
  activateWindow();
}

void MatchesWindow::CopySelectedRows() {
  QStringList lines;
  for (int row = 0; row < table_->rowCount(); ++row) {
    if (!table_->selectionModel()->isRowSelected(row, {})) continue;
    QStringList cells;
    for (int column = 0; column < table_->columnCount(); ++column) {
      const QTableWidgetItem* cell = table_->item(row, column);
      cells << (cell != nullptr ? cell->text() : QString());
    }
    lines << cells.join(u'\t');
  }
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(u'\n'));
}

}  // namespace dorvan::ui
