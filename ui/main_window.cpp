#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <qdrawutil.h>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>
#include <QSaveFile>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "files/list_extent.h"
#include "files/search_history.h"
#include "files/shell_open.h"
#include "index/indexed_drawing_source.h"
#include "search/reader_drawing_source.h"
#include "search/search_items.h"
#include "search/search_range.h"
#include "ui/desktop_shell.h"
#include "ui/dxf_save.h"
#include "ui/error_window.h"
#include "ui/found_list_menu.h"
#include "ui/found_matches.h"
#include "ui/list_box.h"
#include "ui/list_save_dialog.h"
#include "ui/matches_window.h"
#include "ui/open_drawing.h"
#include "ui/preview_window.h"
#include "ui/screenshot.h"
#include "ui/search_run.h"
#include "ui/tab_control.h"
#include "ui/twips.h"
#include "ui/wrapping_caption.h"

namespace dorvan::ui {

namespace {

constexpr int kFolderPage = 0;
constexpr int kFilesPage = 1;
// How often a run's state is shown: about the screen's rate.
constexpr int kRunFrameMilliseconds = 30;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

// A frame whose top line runs through the middle of its title, as the places of the
// controls inside it assume; the style's group box draws the line below the title, through
// the first check box.
class TitledFrame : public QGroupBox {
 public:
  TitledFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched line; the style's own frame keeps a title's height above itself.
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true, 1);
    const QRect text(6, 0, metrics.horizontalAdvance(title()) + 6, metrics.height());
    painter.fillRect(text, palette().window());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(text, Qt::AlignCenter, title());
  }
};

// SQLite's words are English; the note's tool tip tells the user in the window's language.
QString IndexFailureText(index::IndexFailure failure) {
  switch (failure) {
    case index::IndexFailure::CannotOpen: return QStringLiteral("索引のファイルを開けません。");
    case index::IndexFailure::NotAnIndex: return QStringLiteral("索引の場所にある別のファイルは、そのまま残しました。");
    case index::IndexFailure::Locked: return QStringLiteral("索引を別のプログラムが使っています。");
    case index::IndexFailure::ReadOnly: return QStringLiteral("索引のファイルに書き込めません。");
    case index::IndexFailure::Corrupt: return QStringLiteral("索引が壊れています。次の検索で作り直します。");
    case index::IndexFailure::Full: return QStringLiteral("ディスクがいっぱいです。");
    case index::IndexFailure::WriteFailed:
    case index::IndexFailure::None: break;
  }
  return QStringLiteral("索引に書き込めませんでした。");
}

}  // namespace

QString MainCaption() { return QStringLiteral("dorvan\u3000ver 1.5.0.5"); }

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  if (services.messages == nullptr) ownMessages_ = std::make_unique<QtMessageBoxes>();
  if (services.shell == nullptr) ownShell_ = std::make_unique<DesktopShell>();
  if (services.drawings == nullptr) ownDrawings_ = MakeDrawingSource();
  if (services.saveDialog == nullptr) ownSaveDialog_ = std::make_unique<QtListSaveDialog>();
  messages_ = services.messages != nullptr ? services.messages : ownMessages_.get();
  shell_ = services.shell != nullptr ? services.shell : ownShell_.get();
  drawings_ = services.drawings != nullptr ? services.drawings : ownDrawings_.get();
  saveDialog_ = services.saveDialog != nullptr ? services.saveDialog : ownSaveDialog_.get();
  if (services.pictureSaveDialog == nullptr) ownPictureSaveDialog_ = std::make_unique<QtPictureSaveDialog>();
  pictureSaveDialog_ = services.pictureSaveDialog != nullptr ? services.pictureSaveDialog : ownPictureSaveDialog_.get();

  setObjectName(QStringLiteral("dorvan"));
  setWindowTitle(MainCaption());
  // A fixed single border: the client area cannot be resized and there is no maximise
  // button.
  setFixedSize(Twips(10695), Twips(8760));
  setFont(CaptionFont(font()));

  BuildTargetArea();
  BuildSearchTextArea();
  BuildFoundArea();
  BuildRangeFrame();
  BuildRunArea();
  SetFocusOrder();
  WireRules();
  for (ListBox* list : {list1_, list2_, list3_}) {
    InstallPreviewKeys(*list, [this, list] { ShowPreviewOf(list, list->currentRow()); });
    connect(list, &QListWidget::currentRowChanged, this, [this, list](int row) {
      // Following the selection changes the drawing only, without raising the window: a
      // folder scan moves its list's current entry with every find, and the preview must not
      // come up over the scan's window each time.
      const QListWidgetItem* item = list->item(row);
      if (preview_ != nullptr && preview_->isVisible() && previewSource_ == list && item != nullptr)
        preview_->ShowDrawing(list->PathAt(row), list == list2_ ? MatchesOf(*item) : nullptr);
    });
  }

  presentErrorWindow_ = [](ErrorWindow& window) { window.exec(); };
  // Watches the Escape key from the start, so a key already held down when a run begins
  // counts for it.
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildTargetArea() {
  label2_ = Named(new QLabel(QStringLiteral("対象ファイル\u3000（エクスプローラーからドラックも可)"), this), "Label2");
  label2_->setGeometry(TwipsRect(180, 90, 3870, 165));
  command_[1] = Named(new QPushButton(QStringLiteral("ファイル選択"), this), "Command1");
  command_[1]->setGeometry(TwipsRect(4320, 60, 1305, 330));
  command_[5] = Named(new QPushButton(QStringLiteral("選択クリア"), this), "Command5");
  command_[5]->setGeometry(TwipsRect(5760, 60, 1035, 315));
  command_[4] = Named(new QPushButton(QStringLiteral("ALL クリア"), this), "Command4");
  command_[4]->setGeometry(TwipsRect(6930, 60, 1080, 315));
  // The target-list buttons come on through the page rule or a drop, not at start.
  for (int number : {1, 4, 5}) command_[number]->setEnabled(false);

  sstab1_ = Named(new TabControl(this), "SSTab1");
  sstab1_->setGeometry(TwipsRect(165, 465, 7995, 4545));
  auto* folderPage = Named(new QWidget, "SSTab1_Page0");
  auto* filesPage = Named(new QWidget, "SSTab1_Page1");
  sstab1_->addTab(folderPage, QStringLiteral("フォルダ指定"));
  sstab1_->addTab(filesPage, QStringLiteral("ファイル指定"));
  sstab1_->setCurrentIndex(kFilesPage);

  drive1_ = Named(new QComboBox(folderPage), "Drive1");
  sstab1_->Place(drive1_, TwipsRect(120, 405, 2955, 300));
  check16_ = Named(new QCheckBox(QStringLiteral("サブフォルダまで含める。"), folderPage), "Check16");
  check16_->setChecked(true);
  sstab1_->Place(check16_, TwipsRect(3120, 435, 2325, 255));
  command_[8] = Named(new QPushButton(QStringLiteral("ファイル検索"), folderPage), "Command8");
  sstab1_->Place(command_[8], TwipsRect(5550, 390, 1515, 345));
  dir1_ = Named(new QTreeView(folderPage), "Dir1");
  dir1_->setHeaderHidden(true);
  sstab1_->Place(dir1_, TwipsRect(120, 765, 7770, 1560));
  list3_ = Named(new ListBox(ListBox::Order::Insertion, folderPage), "List3");
  sstab1_->Place(list3_, TwipsRect(120, 2385, 7770, 2040));

  list1_ = Named(new ListBox(ListBox::Order::SortedIgnoringCase, filesPage), "List1");
  sstab1_->Place(list1_, TwipsRect(120, 405, 7815, 4020));
}

void MainWindow::BuildSearchTextArea() {
  label1_ = Named(new QLabel(QStringLiteral("検索文字指定"), this), "Label1");
  label1_->setGeometry(TwipsRect(195, 5145, 1140, 240));
  check1_ = Named(new QCheckBox(QStringLiteral("単語検索"), this), "Check1");
  check1_->setGeometry(TwipsRect(1455, 5145, 1095, 240));
  check2_ = Named(new QCheckBox(QStringLiteral("大文字小文字別"), this), "Check2");
  check2_->setGeometry(TwipsRect(2625, 5145, 1590, 240));
  check4_ = Named(new QCheckBox(QStringLiteral("正規表現"), this), "Check4");
  check4_->setGeometry(TwipsRect(4470, 5145, 1035, 240));

  combo1_ = Named(new QComboBox(this), "Combo1");
  combo1_->setEditable(true);
  // The list is the history: typing never adds to it and is never completed from it.
  combo1_->setInsertPolicy(QComboBox::NoInsert);
  combo1_->setCompleter(nullptr);
  combo1_->setGeometry(TwipsRect(165, 5400, 7995, 300));
}

void MainWindow::BuildFoundArea() {
  label3_ = Named(new QLabel(QStringLiteral("該当ファイル（ファイルをダブルクリックすると実行します）"), this), "Label3");
  label3_->setGeometry(TwipsRect(180, 5820, 4545, 165));
  command_[2] = Named(new QPushButton(QStringLiteral("選択クリア"), this), "Command2");
  command_[2]->setGeometry(TwipsRect(4920, 5745, 1035, 315));
  command_[3] = Named(new QPushButton(QStringLiteral("ALL クリア"), this), "Command3");
  command_[3]->setGeometry(TwipsRect(6045, 5745, 1080, 315));
  list2_ = Named(new ListBox(ListBox::Order::SortedIgnoringCase, this), "List2");
  list2_->setGeometry(TwipsRect(165, 6150, 7995, 2220));

  connect(command_[2], &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(command_[3], &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(list2_, &QListWidget::itemDoubleClicked, this, [this] { List2_DblClick(); });
  list2Menu_ = new ListContextMenu(*list2_, *shell_, *messages_,
                                   {[this](int row) { ShowMatchesOf(row); }, [this] { SaveFoundList(); },
                                    [this](int row) { ShowPreviewOf(list2_, row); },
                                    [this](int row) { SaveDrawingAsDxf(*pictureSaveDialog_, *messages_, this, list2_->PathAt(row)); }});
}

void MainWindow::BuildRangeFrame() {
  frame1_ = Named(new TitledFrame(QStringLiteral("検索範囲の指定"), this), "Frame1");
  frame1_->setGeometry(TwipsRect(8280, 105, 2280, 5235));

  struct RangeBox {
    int index;
    QRect place;
    const char* toolTip;
  };
  // Screen order, top to bottom: range 7 stands above range 6.
  const RangeBox boxes[] = {
      {0, TwipsRect(195, 210, 1485, 255), nullptr},
      {1, TwipsRect(195, 616, 855, 255), "一部を含むケース"},
      {2, TwipsRect(195, 1022, 1800, 255), "完全に一致するケース"},
      {3, TwipsRect(195, 1879, 1920, 255), nullptr},
      {4, TwipsRect(195, 2736, 1845, 255), "完全に一致するケース"},
      {5, TwipsRect(195, 3142, 1815, 255), "一部を含むケース"},
      {7, TwipsRect(195, 3548, 1815, 255), "一部を含むケース"},
      {6, TwipsRect(195, 3960, 1920, 435), nullptr},
  };
  for (const RangeBox& box : boxes) {
    const QString caption = FromUtf8(kRangeCaptions[static_cast<std::size_t>(box.index)]);
    // The caption of range 6 is too long for one line in its place.
    QCheckBox* check = box.index == 6 ? new WrappingCheckBox(caption, frame1_)
                                      : new QCheckBox(caption, frame1_);
    check->setObjectName(QStringLiteral("Check3_%1").arg(box.index));
    check->setGeometry(box.place);
    if (box.toolTip != nullptr) check->setToolTip(QString::fromUtf8(box.toolTip));
    check->setEnabled(box.index == 0);
    check->setChecked(box.index == 0);
    check3_[static_cast<std::size_t>(box.index)] = check;
  }

  combo2_ = Named(new QComboBox(frame1_), "Combo2");
  combo2_->setGeometry(TwipsRect(480, 1428, 1605, 300));
  for (std::string_view item : kVersionItems) combo2_->addItem(FromUtf8(item));
  combo3_ = Named(new QComboBox(frame1_), "Combo3");
  combo3_->setGeometry(TwipsRect(480, 2285, 1605, 300));
  for (std::string_view item : kSizeItems) combo3_->addItem(FromUtf8(item));
  // Each list is named after its range; else both took the frame's title.
  combo2_->setAccessibleName(FromUtf8(kRangeCaptions[2]));
  combo3_->setAccessibleName(FromUtf8(kRangeCaptions[3]));
  for (QComboBox* combo : {combo2_, combo3_}) {
    combo->setCurrentIndex(-1);
    combo->setEnabled(false);
  }

  frame2_ = Named(new QGroupBox(frame1_), "Frame2");
  frame2_->setGeometry(TwipsRect(480, 4380, 1620, 750));
  frame2_->setEnabled(false);
  option1_ = Named(new QRadioButton(QStringLiteral("300 dpi"), frame2_), "Option1");
  option1_->setGeometry(TwipsRect(150, 180, 1050, 180));
  option1_->setChecked(true);
  option2_ = Named(new QRadioButton(QStringLiteral("600 dpi"), frame2_), "Option2");
  option2_->setGeometry(TwipsRect(150, 465, 1005, 240));
}

void MainWindow::BuildRunArea() {
  command_[9] = Named(new WrappingPushButton(QStringLiteral("検索対象のファイルをクリアして、見つけたファイルを検索対象にする。"), this), "Command9");
  command_[9]->setGeometry(TwipsRect(8310, 6195, 2295, 795));
  command_[6] = Named(new QPushButton(QStringLiteral("実\u3000行"), this), "Command6");
  command_[6]->setGeometry(TwipsRect(8580, 8295, 945, 315));
  command_[6]->setToolTip(QStringLiteral("ESCキーで中断します。"));
  command_[7] = Named(new QPushButton(QStringLiteral("終\u3000了"), this), "Command7");
  command_[7]->setGeometry(TwipsRect(9615, 8295, 945, 315));
  progressBar1_ = Named(new QProgressBar(this), "ProgressBar1");
  progressBar1_->setGeometry(TwipsRect(150, 8490, 8040, 150));
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(false);
  progressBar1_->hide();
  indexNote_ = Named(new QLabel(QStringLiteral("索引を使えないため、図面を読んで検索しました。"), this), "IndexNote");
  indexNote_->setGeometry(TwipsRect(150, 8430, 8040, 270));
  indexNote_->setAccessibleName(QStringLiteral("索引の状態"));
  indexNote_->hide();

  connect(command_[6], &QPushButton::clicked, this, [this] { Command6_Click(); });
}

std::unique_ptr<DrawingSource> MainWindow::MakeDrawingSource() {
  // The index the command line uses too; without a cache folder the drawings are read.
  const std::string path = index::DefaultIndexPath(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
  if (path.empty()) return std::make_unique<ReaderDrawingSource>();
  index::IndexSourceOptions options;
  options.OwnFile = true;  // the default place: a damaged file there is made again
  return std::make_unique<index::IndexedDrawingSource>(
      path,
      [this, path](const index::IndexProblem& problem) {
        // A reading thread: the note is shown once the run is over.
        std::fprintf(stderr, "dorvan: the index %s cannot be used (%s); the drawings are read\n", path.c_str(),
                     problem.Detail.c_str());
        std::lock_guard lock(indexProblemMutex_);
        indexProblem_ = QString::fromStdString(path) + QStringLiteral("\n") + IndexFailureText(problem.Failure);
      },
      options);
}

void MainWindow::SetFocusOrder() {
  // Labels, frames and the progress bar of the keyboard order take no focus themselves.
  const std::vector<QWidget*> order = {
      command_[4], command_[5], command_[6], command_[7], command_[1], check1_,
      check2_,     list2_,      command_[2], command_[3], combo1_,     combo3_,
      check3_[3],  check3_[5],  check3_[4],  combo2_,     check3_[2],  check3_[0],
      check3_[1],  check3_[6],  option1_,    option2_,    check3_[7],  check4_,
      // The tab row itself: the tab control as a whole would carry its pages' controls.
      sstab1_->tabBar(), list1_,      command_[8], check16_,    list3_,      drive1_,
      dir1_,       command_[9]};
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainWindow::WireRules() {
  RuleControls controls;
  controls.Check3 = check3_;
  controls.Combo1 = combo1_;
  controls.Combo2 = combo2_;
  controls.Combo3 = combo3_;
  controls.Check1 = check1_;
  controls.Check2 = check2_;
  controls.Check4 = check4_;
  controls.Frame2 = frame2_;
  controls.Command1 = command_[1];
  controls.Command4 = command_[4];
  controls.Command5 = command_[5];
  rules_ = ControlRules(controls);

  // `clicked` comes from the user only, so the rules' own unticking never re-enters them.
  for (int index = 0; index < kRangeCount; ++index) {
    connect(check3_[static_cast<std::size_t>(index)], &QCheckBox::clicked, this,
            [this, index] { Check3_Click(index); });
  }
  connect(check4_, &QCheckBox::clicked, this, [this] { Check4_Click(); });
  connect(sstab1_, &QTabWidget::currentChanged, this, [this](int page) {
    const int previous = frontPage_;
    frontPage_ = page;
    SSTab1_Click(previous);
  });
}

void MainWindow::ApplyExtent(ListBox* list, const ListExtent& extent) {
  list->SetHorizontalExtent(static_cast<int>(extent.Pixels(kTwipsPerPixelAt96Dpi)));
}

SearchControls MainWindow::Snapshot() const {
  SearchControls controls;
  controls.Combo1Text = ToU16(combo1_->currentText());
  for (int i = 0; i < combo1_->count(); ++i) controls.Combo1History.push_back(ToU16(combo1_->itemText(i)));
  controls.Check1 = check1_->isChecked();
  controls.Check2 = check2_->isChecked();
  controls.Check4 = check4_->isChecked();
  for (int i = 0; i < kRangeCount; ++i) controls.Check3[static_cast<std::size_t>(i)] = check3_[static_cast<std::size_t>(i)]->isChecked();
  controls.Combo2Index = combo2_->currentIndex();
  controls.Combo2Text = ToU16(combo2_->currentText());
  controls.Combo3Index = combo3_->currentIndex();
  controls.Combo3Text = ToU16(combo3_->currentText());
  controls.Option1 = option1_->isChecked();
  controls.FrontPage = sstab1_->currentIndex() == kFolderPage ? TargetPage::Folder : TargetPage::Files;
  controls.TargetList = TargetListOfPage(controls.FrontPage)->Paths();
  return controls;
}

ListBox* MainWindow::TargetListOfPage(TargetPage page) const {
  return page == TargetPage::Folder ? list3_ : list1_;
}

void MainWindow::AddHistory(const QString& text) {
  std::vector<std::u16string> items;
  for (int i = 0; i < combo1_->count(); ++i) items.push_back(ToU16(combo1_->itemText(i)));
  const int select = Add_Data(items, ToU16(text));
  if (select < 0) return;
  combo1_->clear();
  for (const std::u16string& item : items) combo1_->addItem(QString::fromStdU16String(item));
  combo1_->setCurrentIndex(select);
}

void MainWindow::MoveFocus(FocusTarget target) {
  QWidget* widget = nullptr;
  switch (target) {
    case FocusTarget::Command1: widget = command_[1]; break;
    case FocusTarget::Combo1: widget = combo1_; break;
    case FocusTarget::Combo2: widget = combo2_; break;
    case FocusTarget::Combo3: widget = combo3_; break;
    case FocusTarget::None: break;
  }
  // A disabled control cannot take the focus; it then stays where it was.
  if (widget != nullptr && widget->isEnabled()) widget->setFocus(Qt::OtherFocusReason);
}

int16_t MainWindow::Works() {
  list2_->clear();
  list2Extent_.RemoveAllEntries();
  const SearchControls controls = Snapshot();
  ListBox* targets = TargetListOfPage(controls.FrontPage);
  // The key state is asked before each file, the first one included.
  cancelRequested_ = escapeHeld_;
  indexNote_->hide();
  {
    std::lock_guard lock(indexProblemMutex_);
    indexProblem_.clear();
  }

  // The found list's tool tips and matches window show what matched, from this run.
  RunSettings settings = runSettings_;
  settings.CollectMatches = true;
  SearchRunThread run(
      controls, request_, *drawings_, settings, cancelRequested_,
      [this](const QString& text, const QString& title) {
        messages_->Show(this, title, text, MessageIcon::None, MessageButtons::Ok);
      });
  connect(&run, &SearchRunThread::historyAdded, this, &MainWindow::AddHistory);
  // The window shows the run's state at the screen's pace: one event per drawing kept the
  // window's thread busy until the run ended, and Escape waited behind them.
  std::vector<int> highlighted;
  auto showState = [this, &run, targets, &highlighted] {
    RunState state = run.TakeState();
    if (state.total > 0) {
      progressBar1_->setMaximum(state.total);
      progressBar1_->setValue(state.currentIndex);
      progressBar1_->show();
    }
    if (state.highlighted != highlighted) {
      for (int row : highlighted) {
        if (QListWidgetItem* item = targets->item(row)) item->setSelected(false);
      }
      for (int row : state.highlighted) {
        if (QListWidgetItem* item = targets->item(row)) item->setSelected(true);
      }
      if (!state.highlighted.empty()) {
        if (QListWidgetItem* item = targets->item(state.highlighted.back())) targets->scrollToItem(item);
      }
      highlighted = std::move(state.highlighted);
    }
    if (!state.found.empty()) {
      for (const std::string& path : state.found) {
        list2_->AddPath(path);
        list2Extent_.AddEntry(path);
      }
      ApplyExtent(list2_, list2Extent_);
    }
  };
  run.SetStateFlush(showState);
  QTimer frames;
  frames.setInterval(kRunFrameMilliseconds);
  connect(&frames, &QTimer::timeout, this, showState);

  // The window takes no input but Escape while the run goes on; it still repaints.
  QEventLoop loop;
  connect(&run, &SearchRunThread::finished, &loop, &QEventLoop::quit);
  running_ = true;
  run.Start();
  frames.start();
  loop.exec();
  frames.stop();
  showState();
  // The run's last file is not highlighted once the run is over.
  for (int row : highlighted) {
    if (QListWidgetItem* item = targets->item(row)) item->setSelected(false);
  }
  running_ = false;
  SearchOutcome outcome = run.TakeOutcome();
  lastEnding_ = outcome.Ending;
  {
    std::lock_guard lock(indexProblemMutex_);
    if (!indexProblem_.isEmpty()) {
      indexNote_->setToolTip(indexProblem_);
      indexNote_->show();
    }
  }

  if (outcome.Ending == RunEnding::Refused || outcome.Ending == RunEnding::MalformedPattern) {
    messages_->Show(this, MainCaption(), FromUtf8(outcome.Message), MessageIcon::Exclamation,
                    MessageButtons::Ok);
    MoveFocus(outcome.Focus);
    return 0;
  }

  if (!outcome.FoundList.empty()) {
    list2Extent_.EndBatch(outcome.LongestFoundPathBytes);
    ApplyExtent(list2_, list2Extent_);
  }
  // The list was filled by this run alone, in the found list's order.
  for (std::size_t i = 0; i < outcome.FoundMatches.size(); ++i) {
    QListWidgetItem* item = list2_->item(static_cast<int>(i));
    if (item != nullptr && list2_->PathAt(static_cast<int>(i)) == outcome.FoundList[i]) {
      AttachMatches(*item, std::move(outcome.FoundMatches[i]));
    }
  }

  if (!outcome.ErrorFileList.empty() || !outcome.UndecidedList.empty()) {
    ErrorWindow window(*shell_, *messages_, this);
    for (const std::string& path : outcome.ErrorFileList) window.AddPath(path);
    // Neither found nor surely not found: the user must not read them as "not there".
    std::size_t longest = outcome.LongestErrorPathBytes;
    const std::size_t suffixBytes = ListEntryBytes(ErrorWindow::UndecidedSuffix().toStdString());
    for (const std::string& path : outcome.UndecidedList) {
      window.AddUndecidedPath(path);
      longest = std::max(longest, ListEntryBytes(path) + suffixBytes);  // the reason scrolls into view too
    }
    window.List1()->SetHorizontalExtent(static_cast<int>(
        ListExtentPixels(static_cast<int64_t>(longest), kTargetListExtent.twipsPerByte,
                         kTargetListExtent.marginTwips, kTwipsPerPixelAt96Dpi)));
    window.setWindowTitle(MainCaption());
    presentErrorWindow_(window);
  }

  progressBar1_->hide();
  resultMessage_ = FromUtf8(outcome.Message);
  if (outcome.Ending == RunEnding::Cancelled) {
    messages_->Show(this, MainCaption(), resultMessage_, MessageIcon::Stop, MessageButtons::Ok);
    return 0;
  }
  return outcome.SearchResult;
}

void MainWindow::Command6_Click() {
  const int16_t code = Works();
  // A refused request and a cancelled run have shown their own message already.
  if (lastEnding_ != RunEnding::Completed) return;
  if (code >= 10) {
    messages_->Show(this, MainCaption(), resultMessage_, MessageIcon::Exclamation, MessageButtons::Ok);
    MoveFocus(FocusTarget::Combo1);
    return;
  }
  const MessageAnswer answer = messages_->Show(this, MainCaption(), resultMessage_,
                                               MessageIcon::Exclamation, MessageButtons::YesNoOnly);
  if (answer != MessageAnswer::Yes) {
    Unload();
    return;
  }
  if (IsTextRange(code)) {
    MoveFocus(FocusTarget::Combo1);
    progressBar1_->setValue(0);
    // With an empty history there is no entry to select; the text stays as it is.
    if (combo1_->count() > 0) combo1_->setCurrentIndex(0);
  }
}

void MainWindow::Command2_Click() {
  // Downwards, so the rows not yet visited keep their numbers.
  for (int row = list2_->count() - 1; row >= 0; --row) {
    QListWidgetItem* item = list2_->item(row);
    if (!item->isSelected()) continue;
    list2Extent_.RemoveEntry(list2_->PathAt(row));
    delete list2_->takeItem(row);
  }
}

void MainWindow::Command3_Click() {
  list2_->clear();
  list2Extent_.RemoveAllEntries();
}

void MainWindow::List2_DblClick() {
  const int row = list2_->currentRow();
  if (row < 0) return;
  OpenDrawing(*shell_, *messages_, this, list2_->PathAt(row), kShowMaximized, [this, row] { ShowPreviewOf(list2_, row); });
}

void MainWindow::ShowMatchesOf(int row) {
  const QListWidgetItem* item = list2_->item(row);
  if (item == nullptr) return;
  if (matchesWindow_ == nullptr) matchesWindow_ = new MatchesWindow(this);
  matchesWindow_->ShowMatches(list2_->PathAt(row), MatchesOf(*item));
}

void MainWindow::ShowPreviewOf(ListBox* list, int row) {
  const QListWidgetItem* item = list != nullptr ? list->item(row) : nullptr;
  if (item == nullptr) return;
  if (preview_ == nullptr) {
    preview_ = new PreviewWindow(*messages_, *pictureSaveDialog_, this);
    if (shell_->HasApplicationFor(kDxfContentType))
      preview_->SetDxfOpener([this](const std::string& path) { OpenAsDxf(*shell_, *messages_, preview_, path); });
  }
  previewSource_ = list;
  preview_->ShowDrawing(list->PathAt(row), list == list2_ ? MatchesOf(*item) : nullptr);
  preview_->show();
  preview_->raise();
}

void MainWindow::SaveFoundList() {
  const QString file = saveDialog_->ChooseSaveFile(this);
  if (file.isEmpty()) return;
  std::vector<FoundEntry> entries;
  for (int row = 0; row < list2_->count(); ++row) entries.push_back({list2_->PathAt(row), MatchesOf(*list2_->item(row))});
  const std::string csv = FoundListCsv(entries);
  // Written beside and then put in place, so a failed save leaves an older file whole.
  QSaveFile out(file);
  const bool saved = out.open(QIODevice::WriteOnly) &&
                     out.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
                     out.commit();
  if (!saved) {
    messages_->Show(this, MainCaption(), QStringLiteral("一覧を保存できませんでした。\n%1").arg(file),
                    MessageIcon::Exclamation, MessageButtons::Ok);
  }
}

void MainWindow::Unload() { close(); }

void MainWindow::SetErrorWindowPresenter(ErrorWindowPresenter presenter) {
  presentErrorWindow_ = std::move(presenter);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A run keeps the window until it has ended; Escape stops it.
  if (running_) {
    event->ignore();
    return;
  }
  emit Unloading();
  QWidget::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    SaveScreenshotIfAsked(*this);
  }
}

bool MainWindow::IsOwnWidget(QObject* object) const {
  if (object == this) return true;
  auto* widget = qobject_cast<QWidget*>(object);
  return widget != nullptr && widget->window() == this;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
        escapeHeld_ = event->type() == QEvent::KeyPress;
        // Escape counts wherever it is pressed, also in a message box the run shows.
        if (escapeHeld_ && running_) cancelRequested_ = true;
      }
      break;
    }
    case QEvent::ApplicationDeactivate:
      // The release of a key held while dorvan loses the keyboard never arrives.
      escapeHeld_ = false;
      break;
    default:
      break;
  }
  if (!running_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    // Text committed by an input method (Japanese typed with the input method on) comes
    // as its own event, not as key presses.
    case QEvent::InputMethod:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return IsOwnWidget(watched);
    default:
      return QWidget::eventFilter(watched, event);
  }
}

}  // namespace dorvan::ui
