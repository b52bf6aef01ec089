#include "program.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "files/search_history.h"
#include "reader/jww_reader.h"
#include "ui/app_icon.h"
#include "ui/file_dialog.h"
#include "ui/file_drops.h"
#include "ui/folder_page.h"
#include "ui/folder_scan.h"
#include "ui/list_box.h"
#include "ui/message_window.h"
#include "ui/target_list.h"
#include "ui/volume_source.h"

namespace dorvan::ui {

namespace {

// The probe's answer when the gzip layer cannot work.
constexpr int32_t kLibraryMissing = 53;

}  // namespace

Program::Program(ProgramServices services) {
  if (services.file_dialog == nullptr) own_file_dialog_ = std::make_unique<QtDrawingFileDialog>();
  if (services.volumes == nullptr) own_volumes_ = std::make_unique<MountedVolumeSource>();
  file_dialog_ = services.file_dialog != nullptr ? services.file_dialog : own_file_dialog_.get();
  volumes_ = services.volumes != nullptr ? services.volumes : own_volumes_.get();
  check_archiver_ = services.check_archiver ? services.check_archiver : [] { return CheckArchiverLibrary(); };
  end_process_ = services.end_process ? services.end_process : [] { QCoreApplication::quit(); };

  window_ = std::make_unique<MainWindow>(services.window);
  window_->setWindowIcon(AppIcon());
  message_ = new MessageWindow(cancel_, window_.get());
  targets_ = std::make_unique<TargetListHandlers>(*window_, *file_dialog_);
  folders_ = std::make_unique<FolderPage>(
      FolderPageControls{window_->Drive1(), window_->Dir1(), window_->Command8()}, *volumes_,
      window_->Messages(), [this] { return scan_ && scan_->Running(); });
  scan_ = std::make_unique<FolderScan>(*window_, [this] { return folders_->Dir1Bytes(); }, *message_,
                                       cancel_);
  Wire();
}

Program::~Program() {
  // The walk must not outlive the windows it reports to.
  scan_->StopAndWait();
}

void Program::Wire() {
  MainWindow& w = *window_;
  connect(w.Command1(), &QPushButton::clicked, this, [this] { targets_->Command1_Click(); });
  connect(w.Command4(), &QPushButton::clicked, this, [this] { targets_->Command4_Click(); });
  connect(w.Command5(), &QPushButton::clicked, this, [this] { targets_->Command5_Click(); });
  connect(w.Command7(), &QPushButton::clicked, this, [this] { Command7_Click(); });
  connect(w.Command8(), &QPushButton::clicked, this, [this] { scan_->Command8_Click(); });
  connect(w.Command9(), &QPushButton::clicked, this, [this] { targets_->Command9_Click(); });
  new FileDropFilter(w.List1(), [this](const std::vector<std::string>& paths) {
    targets_->List1_OLEDragDrop(paths);
  });
  new FileDropFilter(w.List2(), [this](const std::vector<std::string>& paths) {
    targets_->List2_OLEDragDrop(paths);
  });
  // Files copied in the file manager (or paths copied from a dorvan list) pasted into the
  // target list join it as a drop would.
  auto* paste = new QShortcut(QKeySequence::Paste, w.List1(), nullptr, nullptr, Qt::WidgetShortcut);
  connect(paste, &QShortcut::activated, this, [this] {
    const std::vector<std::string> paths = DroppedFilePaths(QApplication::clipboard()->mimeData());
    if (!paths.empty()) targets_->List1_OLEDragDrop(paths);
  });
  connect(&w, &MainWindow::Unloading, this, &Program::Form_Unload);
}

bool Program::Form_Load(const std::vector<std::string>& args) {
  std::vector<std::u16string> history;
  Load_data(history);
  QComboBox* combo = window_->Combo1();
  for (const std::u16string& item : history) combo->addItem(QString::fromStdU16String(item));
  // The history fills the list only; the search text starts empty.
  combo->setCurrentIndex(-1);
  combo->clearEditText();

  targets_->AppendCommandLine(args);

  if (check_archiver_() == kLibraryMissing) {
    window_->Messages().Show(window_.get(), window_->windowTitle(),
                             QStringLiteral("「zlib」がインストールされていないので実行できません。\n\n"
                                            "入手先\u3000https://zlib.net/"),
                             MessageIcon::Stop, MessageButtons::Ok);
    QCoreApplication::processEvents();
    window_->Unload();
    return false;
  }
  return true;
}

void Program::TakeHandOver(const std::vector<std::string>& args) {
  if (unloaded_) return;
  if (window_->Running() || scan_->Running()) {
    // The run walks the list it was given; the new drawings join it afterwards.
    QTimer::singleShot(100, this, [this, args] { TakeHandOver(args); });
    return;
  }
  targets_->AppendCommandLine(args);
  targets_->ApplyTargetButtonRule();
  MainWindow& w = *window_;
  w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
  w.show();
  w.raise();
  w.activateWindow();
}

void Program::Command7_Click() {
  std::vector<std::u16string> history;
  QComboBox* combo = window_->Combo1();
  for (int i = 0; i < combo->count(); ++i) history.push_back(combo->itemText(i).toStdU16String());
  // A history that cannot be written is lost without a word; leaving still works.
  Save_data(history);
  window_->Unload();
}

void Program::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  scan_->StopAndWait();
  message_->CloseByProgram();
  // The error window and anything else still open go with the main window.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget != window_.get() && widget != message_ && widget->isVisible()) widget->close();
  }
  end_process_();
}

}  // namespace dorvan::ui
