#include "ui/preview_window.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QLabel>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QShortcut>
#include <QScrollBar>
#include <QSplitter>
#include <QThreadPool>
#include <QVBoxLayout>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>

#include "export/dxf_writer.h"
#include "reader/jww_reader.h"
#include "render/drawing_painter.h"
#include "render/drawing_walk.h"
#include "render/framing.h"
#include "render/picture_export.h"
#include "render/text_layout.h"
#include "search/match_text.h"
#include "search/search_items.h"
#include "search/search_range.h"
#include "ui/background_pool.h"
#include "ui/drawing_view.h"
#include "ui/list_box.h"
#include "ui/message_boxes.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

namespace {

constexpr int kExportLongerSide = 2048;  // PNG and SVG written by "保存…"
constexpr int kLayerPanelWidth = 180;     // pixels, at first

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Collects the boxes of the texts it is told to look for, wherever the walk places them.
class TextBoxSink final : public render::ShapeSink {
 public:
  explicit TextBoxSink(std::map<const TextEntity*, std::vector<QPolygonF>>& wanted) : wanted_(wanted) {}
  void Line(const EntityBase&, QPointF, QPointF) override {}
  void Arc(const EntityBase&, const render::ArcShape&) override {}
  void Point(const EntityBase&, QPointF, int32_t) override {}
  void Solid(const EntityBase&, const QPointF (&)[4], int32_t) override {}
  void Text(const EntityBase&, const render::PlacedText& placed) override {
    auto found = wanted_.find(placed.text);
    if (found != wanted_.end()) found->second.push_back(render::TextOutline(placed));
  }

 private:
  std::map<const TextEntity*, std::vector<QPolygonF>>& wanted_;
};

const TextEntity* TextOfRecord(const JwwDrawing& drawing, const MatchRecord& record) {
  const EntityLists* lists = &drawing.Data;
  if (record.InBlock) {
    const auto& index = drawing.Data.BlockIndexByNumber;
    if (record.BlockNumber < 0 || static_cast<std::size_t>(record.BlockNumber) >= index.size()) return nullptr;
    const int32_t block = index[static_cast<std::size_t>(record.BlockNumber)];
    if (block <= 0 || static_cast<std::size_t>(block) >= drawing.Data.BlockDefinitions.size()) return nullptr;
    lists = &drawing.Data.BlockDefinitions[static_cast<std::size_t>(block)].Data;
  }
  if (record.Index <= 0 || static_cast<std::size_t>(record.Index) >= lists->Texts.size()) return nullptr;
  return &lists->Texts[static_cast<std::size_t>(record.Index)];
}

QString DrawingSizeName(int32_t code) {
  for (int32_t index = 0; index < static_cast<int32_t>(kSizeItems.size()); ++index)
    if (SizeCodeForIndex(index) == code) return QString::fromLatin1(kSizeItems[static_cast<std::size_t>(index)].data());
  return QString::number(code);
}

QString StatusOf(const JwwDrawing& drawing) {
  const QString memo = QString::fromStdU16String(drawing.Header.Memo);
  const QString firstLine = memo.section(QRegularExpression(QStringLiteral("[\\r\\n]")), 0, 0, QString::SectionSkipEmpty);
  QString status = QStringLiteral("バージョン %1　図面サイズ %2")
                       .arg(drawing.Header.Version)
                       .arg(DrawingSizeName(drawing.Header.DrawingSize));
  if (!firstLine.isEmpty()) status += QStringLiteral("　メモ: ") + firstLine;
  return status;
}

const char* ReadFailure(int32_t result) {
  switch (result) {
    case kMissingSignature: return "JWW の図面ではありません。";
    case kUnsupportedVersion: return "この版の図面は読み込めません。";
    case kUnreadableFile: return "ファイルを開けないか、読み込めません。";
    default: return "図面が壊れています。";
  }
}

// A sheet coordinate for the status line: a value that rounds to zero shows as 0.00, not
// as -0.00.
QString Coordinate(double millimetres) {
  const double rounded = std::round(millimetres * 100) / 100;
  return QString::number(rounded == 0 ? 0.0 : rounded, 'f', 2);
}

// Runs `left` when the pointer leaves the watched widget.
class LeaveFilter final : public QObject {
 public:
  LeaveFilter(QWidget& watched, std::function<void()> left) : QObject(&watched), left_(std::move(left)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Leave) left_();
    return false;
  }

 private:
  std::function<void()> left_;
};

class PreviewKeyFilter final : public QObject {
 public:
  PreviewKeyFilter(ListBox& list, std::function<void()> open) : QObject(&list), list_(list), open_(std::move(open)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool previewKey = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
    const bool plain = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
    if (!previewKey || !plain || list_.currentItem() == nullptr) return false;
    open_();
    return true;
  }

 private:
  ListBox& list_;
  std::function<void()> open_;
};

}  // namespace

void InstallPreviewKeys(ListBox& list, std::function<void()> open) {
  list.installEventFilter(new PreviewKeyFilter(list, std::move(open)));
}

std::vector<std::vector<QPolygonF>> MatchedTextBoxes(const JwwDrawing& drawing, const DrawingMatches& matches) {
  std::vector<std::vector<QPolygonF>> boxes(matches.Records.size());
  std::map<const TextEntity*, std::vector<QPolygonF>> wanted;
  std::vector<const TextEntity*> texts(matches.Records.size(), nullptr);
  for (std::size_t i = 0; i < matches.Records.size(); ++i) {
    if (matches.Records[i].Range != RangeData) continue;
    texts[i] = TextOfRecord(drawing, matches.Records[i]);
    if (texts[i] != nullptr) wanted[texts[i]];
  }
  if (wanted.empty()) return boxes;
  TextBoxSink sink(wanted);
  render::WalkDrawing(drawing, sink);
  for (std::size_t i = 0; i < texts.size(); ++i)
    if (texts[i] != nullptr) boxes[i] = wanted[texts[i]];
  return boxes;
}

QString QtPictureSaveDialog::ChoosePictureFile(QWidget* parent, const QString& suggestedName) {
  QFileDialog dialog(parent, QStringLiteral("図面を画像として保存"), QString(),
                     QStringLiteral("PNG 画像 (*.png);;SVG 画像 (*.svg);;PDF (*.pdf);;DXF 図面 (*.dxf)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    dialog.setDefaultSuffix(filter.section(QStringLiteral("*."), 1, 1).section(QLatin1Char(')'), 0, 0));
  });
  if (suggestedName.endsWith(QStringLiteral(".dxf"), Qt::CaseInsensitive)) {
    dialog.selectNameFilter(QStringLiteral("DXF 図面 (*.dxf)"));
    dialog.setDefaultSuffix(QStringLiteral("dxf"));
  }
  dialog.selectFile(suggestedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

bool QtPrintDialog::ChoosePrinter(QWidget* parent, QPrinter& printer, bool& fit) {
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle(QStringLiteral("図面の印刷"));
  auto* scale = new QWidget;
  scale->setWindowTitle(QStringLiteral("縮尺"));
  auto* actual = new QRadioButton(QStringLiteral("原寸 (図面の用紙サイズに 1:1)"), scale);
  auto* fitted = new QRadioButton(QStringLiteral("用紙に合わせる"), scale);
  actual->setAccessibleName(QStringLiteral("原寸"));
  fitted->setAccessibleName(QStringLiteral("用紙に合わせる"));
  (fit ? fitted : actual)->setChecked(true);
  auto* layout = new QVBoxLayout(scale);
  layout->addWidget(actual);
  layout->addWidget(fitted);
  layout->addStretch();
  dialog.setOptionTabs({scale});
  if (dialog.exec() != QDialog::Accepted) return false;
  fit = fitted->isChecked();
  return true;
}

void SetUpSheetPaper(QPrinter& printer, const JwwDrawing& drawing) {
  const QSizeF sheet = render::SheetSize(drawing.Header.DrawingSize);
  QPageSize paper;
  switch (drawing.Header.DrawingSize) {
    case 0: paper = QPageSize(QPageSize::A0); break;
    case 1: paper = QPageSize(QPageSize::A1); break;
    case 2: paper = QPageSize(QPageSize::A2); break;
    case 3: paper = QPageSize(QPageSize::A3); break;
    case 4: paper = QPageSize(QPageSize::A4); break;
    default:
      paper = QPageSize(QSizeF(sheet.height(), sheet.width()), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
      break;
  }
  printer.setPageLayout(QPageLayout(paper, QPageLayout::Landscape, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
  printer.setFullPage(true);
  printer.setDocName(QFileInfo(QString::fromStdString(drawing.FileName)).fileName());
}

bool PrintDrawingPage(QPrinter& printer, const JwwDrawing& drawing, const std::array<std::array<bool, 16>, 16>* layers,
                      bool fit) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  QTransform toPage;
  if (fit) {
    toPage = render::FitFrame(render::PictureFrame(drawing), QRectF(QPointF(0, 0), page.size()));
  } else {
    // Sheet millimetres are paper millimetres; the sheet's origin is its centre.
    const double dots = printer.resolution() / 25.4;
    toPage.translate(page.width() / 2, page.height() / 2);
    toPage.scale(dots, -dots);
  }
  render::PaintOptions options;
  options.layers = layers;
  render::PaintDrawing(painter, drawing, toPage, options);
  return painter.end();
}

// Where the reading thread posts what it read; the window leaves it when it goes away.
struct PreviewWindow::Mailbox {
  std::mutex mutex;
  PreviewWindow* window = nullptr;
  // The drawing asked for last: a read still queued for an earlier one is skipped, so
  // stepping through a list of large drawings does not read every one of them.
  std::atomic<quint64> latest{0};
};

struct PreviewWindow::LoadResult {
  std::shared_ptr<JwwDrawing> drawing;  // null when unreadable
  int32_t readResult = 0;
  std::vector<std::vector<QPolygonF>> boxes;
};

PreviewWindow::PreviewWindow(MessageBoxes& messages, PictureSaveDialog& saveDialog, QWidget* parent)
    : QWidget(parent, Qt::Window), messages_(messages), saveDialog_(saveDialog), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->window = this;
  setObjectName(QStringLiteral("PreviewWindow"));
  setWindowTitle(QStringLiteral("プレビュー"));
  setAccessibleName(QStringLiteral("プレビュー"));

  view_ = new DrawingView(this);
  fit_ = new QPushButton(QStringLiteral("全体"), this);
  fit_->setAccessibleName(QStringLiteral("全体"));
  fit_->setToolTip(QStringLiteral("図面全体を表示 (Home)"));
  save_ = new QPushButton(QStringLiteral("保存…"), this);
  save_->setAccessibleName(QStringLiteral("保存"));
  save_->setToolTip(QStringLiteral("PNG・SVG・PDF・DXF として保存"));
  save_->setEnabled(false);
  print_ = new QPushButton(QStringLiteral("印刷…"), this);
  print_->setAccessibleName(QStringLiteral("印刷"));
  print_->setToolTip(QStringLiteral("パネルで表示しているレイヤを印刷"));
  print_->setEnabled(false);
  connect(print_, &QPushButton::clicked, this, &PreviewWindow::Print);
  layerPanel_ = new QTreeWidget(this);
  layerPanel_->setAccessibleName(QStringLiteral("レイヤ"));
  layerPanel_->setHeaderLabel(QStringLiteral("レイヤグループ・レイヤ"));
  layerPanel_->setMinimumWidth(150);
  connect(layerPanel_, &QTreeWidget::itemChanged, this, &PreviewWindow::LayerChecked);
  showAllLayers_ = new QPushButton(QStringLiteral("全表示"), this);
  showAllLayers_->setAccessibleName(QStringLiteral("全表示"));
  showAllLayers_->setToolTip(QStringLiteral("すべてのレイヤを表示"));
  showAllLayers_->setEnabled(false);
  connect(showAllLayers_, &QPushButton::clicked, this, [this] {
    layerPanel_->blockSignals(true);
    for (int g = 0; g < layerPanel_->topLevelItemCount(); ++g) {
      QTreeWidgetItem* group = layerPanel_->topLevelItem(g);
      group->setCheckState(0, Qt::Checked);
      for (int l = 0; l < group->childCount(); ++l) group->child(l)->setCheckState(0, Qt::Checked);
    }
    layerPanel_->blockSignals(false);
    LayerChecked();
  });
  openDxf_ = new QPushButton(QStringLiteral("DXF で開く"), this);
  openDxf_->setAccessibleName(QStringLiteral("DXF で開く"));
  openDxf_->setToolTip(QStringLiteral("図面を DXF にして CAD プログラムで開く"));
  openDxf_->hide();
  connect(openDxf_, &QPushButton::clicked, this, [this] {
    if (dxfOpener_ && !path_.empty()) dxfOpener_(path_);
  });
  matchList_ = new QListWidget(this);
  matchList_->setAccessibleName(QStringLiteral("一致した文字"));
  matchList_->hide();
  status_ = new QLabel(this);
  // A label's accessible name is its text, which a screen reader must read; the role goes
  // into the description.
  status_->setAccessibleDescription(QStringLiteral("図面の情報"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  pointer_ = new QLabel(this);
  pointer_->setAccessibleDescription(QStringLiteral("ポインタの座標"));
  pointer_->setMinimumWidth(200);
  pointer_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(fit_);
  buttons->addWidget(save_);
  buttons->addWidget(print_);
  buttons->addWidget(openDxf_);
  buttons->addStretch();
  auto* splitter = splitter_ = new QSplitter(this);
  auto* layers = new QWidget(this);
  auto* layersLayout = new QVBoxLayout(layers);
  layersLayout->setContentsMargins(0, 0, 0, 0);
  layersLayout->addWidget(layerPanel_, 1);
  layersLayout->addWidget(showAllLayers_);
  splitter->addWidget(layers);
  splitter->addWidget(view_);
  splitter->addWidget(matchList_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 4);
  splitter->setStretchFactor(2, 1);
  splitter->setCollapsible(0, false);
  splitter->setSizes({kLayerPanelWidth, 900 - kLayerPanelWidth, 0});
  auto* statusLine = new QHBoxLayout;
  statusLine->addWidget(status_, 1);
  statusLine->addWidget(pointer_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(splitter, 1);
  layout->addLayout(statusLine);

  // Tab follows the window from the top: the buttons, the drawing, the matched texts.
  setTabOrder(fit_, save_);
  setTabOrder(save_, print_);
  setTabOrder(print_, layerPanel_);
  setTabOrder(layerPanel_, showAllLayers_);
  setTabOrder(showAllLayers_, view_);
  setTabOrder(view_, matchList_);

  connect(fit_, &QPushButton::clicked, view_, &DrawingView::FitAll);
  connect(save_, &QPushButton::clicked, this, &PreviewWindow::SaveAs);
  connect(matchList_, &QListWidget::currentRowChanged, this, &PreviewWindow::ShowMatch);
  connect(view_, &DrawingView::PointerMoved, this, [this](QPointF sheet) {
    pointer_->setText(QStringLiteral("X %1  Y %2").arg(Coordinate(sheet.x()), Coordinate(sheet.y())));
  });
  // Coordinates are those under the pointer; away from the drawing there are none.
  view_->installEventFilter(new LeaveFilter(*view_, [this] { pointer_->clear(); }));
  // The context menus: the view's for the window's commands and the path, the list's to copy.
  view_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* fitAction = new QAction(QStringLiteral("全体"), view_);
  connect(fitAction, &QAction::triggered, view_, &DrawingView::FitAll);
  saveAction_ = new QAction(QStringLiteral("保存…"), view_);
  saveAction_->setEnabled(false);
  connect(saveAction_, &QAction::triggered, this, &PreviewWindow::SaveAs);
  auto* copyPath = new QAction(QStringLiteral("パスをコピー"), view_);
  connect(copyPath, &QAction::triggered, this, [this] {
    if (!path_.empty()) QGuiApplication::clipboard()->setMimeData(PathsMimeData({path_}));
  });
  printAction_ = new QAction(QStringLiteral("印刷…"), view_);
  printAction_->setEnabled(false);
  connect(printAction_, &QAction::triggered, this, &PreviewWindow::Print);
  view_->addActions({fitAction, saveAction_, printAction_, copyPath});
  matchList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  matchList_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* copyMatches = new QAction(QStringLiteral("コピー"), matchList_);
  copyMatches->setShortcut(QKeySequence::Copy);
  copyMatches->setShortcutContext(Qt::WidgetShortcut);
  connect(copyMatches, &QAction::triggered, this, [this] {
    QStringList lines;
    for (int row = 0; row < matchList_->count(); ++row)
      if (matchList_->item(row)->isSelected()) lines << matchList_->item(row)->toolTip();
    if (!lines.isEmpty()) QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  matchList_->addAction(copyMatches);

  auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
  connect(home, &QShortcut::activated, view_, &DrawingView::FitAll);
  auto* close = new QShortcut(QKeySequence::Cancel, this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  resize(900, 640);
}

PreviewWindow::~PreviewWindow() {
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->window = nullptr;
}

void PreviewWindow::ShowDrawing(const std::string& path, const DrawingMatches* matches) {
  path_ = path;
  const quint64 generation = ++generation_;
  mailbox_->latest = generation;
  setWindowTitle(QFileInfo(DisplayPath(path)).fileName() + QStringLiteral(" - プレビュー"));
  drawing_.reset();
  save_->setEnabled(false);
  saveAction_->setEnabled(false);
  print_->setEnabled(false);
  printAction_->setEnabled(false);
  FillLayerPanel();
  matchList_->clear();
  matchList_->hide();
  matchBoxes_.clear();
  matchPoints_.clear();
  status_->clear();
  pointer_->clear();
  view_->SetMessage(QStringLiteral("読み込み中…"));

  // The list is filled now; the boxes come with the drawing.
  DrawingMatches records = matches != nullptr ? *matches : DrawingMatches{};
  bool anyText = false;
  for (const MatchRecord& record : records.Records) {
    auto* item = new QListWidgetItem(FromUtf8(MatchTextLine(record)), matchList_);
    item->setToolTip(FromUtf8(MatchLine(record)));
    matchPoints_.push_back(QPointF(record.X, record.Y));
    anyText = anyText || record.Range == RangeData;
  }
  matchList_->setVisible(anyText);
  if (!anyText) matchList_->clear();
  if (anyText) {
    // As wide as its longest text, up to half the window; the user drags the splitter on.
    // The layer panel keeps its width.
    // Before the window is first shown the splitter has no size of its own yet.
    const bool laidOut = splitter_->isVisible() && splitter_->sizes().value(0) > 0;
    const int panel = laidOut ? splitter_->sizes().value(0) : kLayerPanelWidth;
    const int total = (laidOut ? splitter_->width() : width() - 20) - panel;
    const int wanted = std::min(matchList_->sizeHintForColumn(0) + 2 * matchList_->frameWidth() +
                                    matchList_->verticalScrollBar()->sizeHint().width(),
                                total / 2);
    splitter_->setSizes({panel, total - wanted, wanted});
  }

  auto job = [path, records = std::move(records), mailbox = mailbox_, generation] {
    if (mailbox->latest != generation) return;
    auto result = std::make_shared<LoadResult>();
    JwwReader reader;
    auto drawing = std::make_shared<JwwDrawing>();
    ClearDrawing(*drawing);
    result->readResult = reader.ReadWholeDrawing(path, *drawing);
    if (result->readResult == 0 && reader.GetReadError() == 0) {
      result->boxes = MatchedTextBoxes(*drawing, records);
      result->drawing = std::move(drawing);
    }
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->window == nullptr) return;
    PreviewWindow* window = mailbox->window;
    QMetaObject::invokeMethod(window, [window, generation, result] { window->Show(generation, result); },
                              Qt::QueuedConnection);
  };
  BackgroundPool().start(job);
}

void PreviewWindow::Show(quint64 generation, std::shared_ptr<LoadResult> result) {
  if (generation != generation_) return;  // another drawing was asked for since
  if (!result->drawing) {
    view_->SetMessage(QStringLiteral("この図面は表示できません。\n%1\n\n%2")
                          .arg(DisplayPath(path_), QString::fromUtf8(ReadFailure(result->readResult))));
    // The view paints the reason; a screen reader is told it too.
    view_->setAccessibleDescription(view_->Message());
    matchList_->hide();
    emit Loaded();
    return;
  }
  drawing_ = result->drawing;
  matchBoxes_ = std::move(result->boxes);
  std::vector<QPolygonF> highlights;
  for (const auto& boxes : matchBoxes_) highlights.insert(highlights.end(), boxes.begin(), boxes.end());
  view_->SetDrawing(drawing_, std::move(highlights));
  view_->setAccessibleDescription(QString());
  status_->setText(StatusOf(*drawing_));
  save_->setEnabled(!saving_);
  saveAction_->setEnabled(!saving_);
  print_->setEnabled(!printing_);
  printAction_->setEnabled(!printing_);
  FillLayerPanel();
  emit Loaded();
}

namespace {

QString LayerLabel(int number, const Text& name) {
  const QString hex = QString::number(number, 16).toUpper();
  return name.empty() ? hex : hex + QLatin1Char(' ') + QString::fromStdU16String(name);
}

constexpr int kGroupRole = Qt::UserRole;
constexpr int kLayerRole = Qt::UserRole + 1;

}  // namespace

// The groups and layers the drawing's entities lie on, checked as the drawing shows them.
void PreviewWindow::FillLayerPanel() {
  layerPanel_->blockSignals(true);
  layerPanel_->clear();
  showAllLayers_->setEnabled(drawing_ != nullptr);
  if (drawing_) {
    std::array<std::array<bool, 16>, 16> used{};
    const auto note = [&used](const auto& items) {
      for (std::size_t i = 1; i < items.size(); ++i) {
        const EntityBase& base = items[i].Base;
        if (base.LayerGroup >= 0 && base.LayerGroup < 16 && base.Layer >= 0 && base.Layer < 16)
          used[static_cast<std::size_t>(base.LayerGroup)][static_cast<std::size_t>(base.Layer)] = true;
      }
    };
    const JwwDrawingData& data = drawing_->Data;
    note(data.Lines), note(data.Arcs), note(data.Points), note(data.Texts), note(data.Solids), note(data.Dimensions),
        note(data.BlockInserts);
    const JwwHeader& header = drawing_->Header;
    for (int g = 0; g < 16; ++g) {
      const auto group = static_cast<std::size_t>(g);
      QTreeWidgetItem* groupItem = nullptr;
      for (int l = 0; l < 16; ++l) {
        const auto layer = static_cast<std::size_t>(l);
        if (!used[group][layer]) continue;
        if (groupItem == nullptr) {
          groupItem = new QTreeWidgetItem(layerPanel_, {QStringLiteral("グループ ") + LayerLabel(g, header.LayerGroupNames[group])});
          groupItem->setData(0, kGroupRole, g);
          groupItem->setData(0, kLayerRole, -1);
          groupItem->setCheckState(0, header.Groups[group].State != 0 ? Qt::Checked : Qt::Unchecked);
          groupItem->setExpanded(true);
        }
        auto* layerItem = new QTreeWidgetItem(groupItem, {LayerLabel(l, header.LayerNames[group][layer])});
        layerItem->setData(0, kGroupRole, g);
        layerItem->setData(0, kLayerRole, l);
        layerItem->setCheckState(0, header.Groups[group].LayerState[layer] != 0 ? Qt::Checked : Qt::Unchecked);
      }
    }
  }
  layerPanel_->blockSignals(false);
}

// A group hides all its layers; a layer shows when it and its group are checked.
void PreviewWindow::LayerChecked() {
  if (!drawing_) return;
  std::array<std::array<bool, 16>, 16> shown{};
  const JwwHeader& header = drawing_->Header;
  for (std::size_t g = 0; g < 16; ++g)
    for (std::size_t l = 0; l < 16; ++l) shown[g][l] = header.Groups[g].State != 0 && header.Groups[g].LayerState[l] != 0;
  for (int i = 0; i < layerPanel_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* group = layerPanel_->topLevelItem(i);
    const auto g = static_cast<std::size_t>(group->data(0, kGroupRole).toInt());
    const bool groupOn = group->checkState(0) == Qt::Checked;
    for (int k = 0; k < group->childCount(); ++k) {
      QTreeWidgetItem* layer = group->child(k);
      shown[g][static_cast<std::size_t>(layer->data(0, kLayerRole).toInt())] = groupOn && layer->checkState(0) == Qt::Checked;
    }
  }
  view_->SetLayers(shown);
}

void PreviewWindow::SetPrintDialog(PrintDialog* dialog) { printDialog_ = dialog; }

bool PreviewWindow::Print() {
  if (!drawing_ || printing_) return false;
  if (printDialog_ == nullptr) {
    if (!ownPrintDialog_) ownPrintDialog_ = std::make_unique<QtPrintDialog>();
    printDialog_ = ownPrintDialog_.get();
  }
  auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
  SetUpSheetPaper(*printer, *drawing_);
  bool fit = false;
  if (!printDialog_->ChoosePrinter(this, *printer, fit)) return false;
  // A large drawing takes seconds to print: the page is painted on a worker thread (a
  // printer is a paint device a worker may paint on), with "印刷…" off meanwhile.
  printing_ = true;
  print_->setEnabled(false);
  printAction_->setEnabled(false);
  auto job = [printer, drawing = drawing_, layers = view_->Layers(), fit, title = windowTitle(), mailbox = mailbox_] {
    const bool printed = PrintDrawingPage(*printer, *drawing, layers ? &*layers : nullptr, fit);
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->window == nullptr) return;
    PreviewWindow* window = mailbox->window;
    QMetaObject::invokeMethod(window, [window, printed, title] { window->PrintEnded(printed, title); },
                              Qt::QueuedConnection);
  };
  BackgroundPool().start(job);
  return true;
}

void PreviewWindow::PrintEnded(bool printed, const QString& title) {
  printing_ = false;
  print_->setEnabled(drawing_ != nullptr);
  printAction_->setEnabled(drawing_ != nullptr);
  if (!printed)
    messages_.Show(this, title, QStringLiteral("印刷できませんでした。"), MessageIcon::Exclamation, MessageButtons::Ok);
  emit Printed(printed);
}

void PreviewWindow::SetDxfOpener(std::function<void(const std::string& path)> open) {
  dxfOpener_ = std::move(open);
  openDxf_->setVisible(static_cast<bool>(dxfOpener_));
}

void PreviewWindow::ShowMatch(int row) {
  if (!drawing_ || row < 0) return;
  const auto index = static_cast<std::size_t>(row);
  QRectF area;
  if (index < matchBoxes_.size())
    for (const QPolygonF& box : matchBoxes_[index]) area = area.isNull() ? box.boundingRect() : area.united(box.boundingRect());
  if (area.isNull() && index < matchPoints_.size()) area = QRectF(matchPoints_[index], QSizeF(0, 0));
  view_->ShowSheetArea(area);
}

void PreviewWindow::SaveAs() {
  if (!drawing_) return;
  const QString suggested = QFileInfo(DisplayPath(path_)).completeBaseName() + QStringLiteral(".png");
  const QString file = saveDialog_.ChoosePictureFile(this, suggested);
  if (file.isEmpty()) return;
  const std::string path = QFile::encodeName(file).toStdString();
  const std::optional<render::PictureFormat> format = render::FormatForPath(path);
  const bool dxf = file.endsWith(QStringLiteral(".dxf"), Qt::CaseInsensitive);
  if (!format && !dxf) {
    messages_.Show(this, windowTitle(), QStringLiteral("保存できるのは PNG・SVG・PDF・DXF です。\n%1").arg(file),
                   MessageIcon::Exclamation, MessageButtons::Ok);
    return;
  }
  // A large drawing takes seconds as SVG or PDF: it is written on a worker thread, with
  // "保存…" off meanwhile, so that the windows stay responsive.
  saving_ = true;
  save_->setEnabled(false);
  saveAction_->setEnabled(false);
  dxf::DxfOptions dxfOptions;
  dxfOptions.visibility = view_->Layers();
  auto job = [drawing = drawing_, path, format, dxf, dxfOptions, file, title = windowTitle(), mailbox = mailbox_] {
    const render::ExportOutcome outcome =
        dxf ? (dxf::WriteDxf(*drawing, path, dxfOptions) == dxf::DxfOutcome::Written ? render::ExportOutcome::Written
                                                                                       : render::ExportOutcome::CannotWrite)
            : render::ExportPicture(*drawing, path, *format, kExportLongerSide);
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->window == nullptr) return;
    PreviewWindow* window = mailbox->window;
    QMetaObject::invokeMethod(window, [window, outcome, file, title] { window->SaveEnded(outcome, file, title); },
                              Qt::QueuedConnection);
  };
  BackgroundPool().start(job);
}

void PreviewWindow::SaveEnded(render::ExportOutcome outcome, const QString& file, const QString& title) {
  saving_ = false;
  save_->setEnabled(drawing_ != nullptr);
  saveAction_->setEnabled(drawing_ != nullptr);
  const bool written = outcome == render::ExportOutcome::Written;
  if (outcome == render::ExportOutcome::TooLarge) {
    messages_.Show(this, title,
                   QStringLiteral("図面の要素が多すぎるため、SVG・PDF には保存できません。PNG で保存してください。\n%1")
                       .arg(file),
                   MessageIcon::Exclamation, MessageButtons::Ok);
  } else if (!written) {
    messages_.Show(this, title, QStringLiteral("画像を保存できませんでした。\n%1").arg(file), MessageIcon::Exclamation,
                   MessageButtons::Ok);
  }
  emit Saved(written);
}

}  // namespace dorvan::ui
