#include "folder_scan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <utility>

#include "files/list_extent.h"
#include "ui/list_box.h"
#include "ui/main_window.h"
#include "ui/message_window.h"
#include "ui/tab_control.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

namespace {

int64_t PackProgress(const ScanProgress& progress) {
  return (static_cast<int64_t>(progress.Max) << 32) | static_cast<uint32_t>(progress.Value);
}
ScanProgress UnpackProgress(int64_t packed) {
  return ScanProgress{static_cast<int32_t>(packed >> 32), static_cast<int32_t>(packed & 0xffffffff)};
}

}  // namespace

FolderScan::FolderScan(MainWindow& window, std::function<std::string()> folder, MessageWindow& message,
                       std::atomic<bool>& cancel, QObject* parent)
    : QObject(parent), w_(window), folder_(std::move(folder)), message_(message), cancel_(cancel) {}

FolderScan::~FolderScan() { StopAndWait(); }

void FolderScan::Command8_Click() {
  if (Running()) return;
  // Neither a second scan, nor the exit, nor a search may start while the walk runs; the
  // rest of the window stays usable.
  w_.Command8()->setEnabled(false);
  w_.Command7()->setEnabled(false);
  w_.Command6()->setEnabled(false);
  GetFileState();
}

void FolderScan::GetFileState() {
  w_.List3()->clear();
  const std::string folder = folder_();
  message_.setWindowTitle(w_.windowTitle());
  message_.Label1()->setText(QStringLiteral("【　ファイル検索中　】"));
  message_.show();
  message_.raise();
  message_.activateWindow();
  message_.repaint();
  const std::string path = folder;
  const bool include_subfolders = w_.Check16()->isChecked();
  // The walk starts once the message window has been drawn and can take keys.
  running_ = true;
  QTimer::singleShot(0, this, [this, path, include_subfolders] { StartWalk(path, include_subfolders); });
}

void FolderScan::StartWalk(const std::string& folder, bool include_subfolders) {
  if (!running_) return;  // stopped before the walk began
  ScanCallbacks callbacks;
  callbacks.OnDrawing = [this](const std::string& path) {
    // The path's bytes as the system gave them, whatever their encoding.
    bool post = false;
    {
      std::lock_guard lock(findsMutex_);
      waitingFinds_.push_back(path);
      post = !std::exchange(findsQueued_, true);
    }
    if (post) QMetaObject::invokeMethod(this, [this] { AddWaitingFinds(); }, Qt::QueuedConnection);
  };
  callbacks.OnProgress = [this](const ScanProgress& progress) {
    progress_ = PackProgress(progress);
    if (!progress_queued_.exchange(true)) {
      QMetaObject::invokeMethod(this, [this] { ShowProgress(); }, Qt::QueuedConnection);
    }
  };
  worker_ = QThread::create([this, folder, include_subfolders, callbacks] {
    dorvan::GetFileState(folder, include_subfolders, state_, cancel_, callbacks);
  });
  worker_->setParent(this);
  // Queued behind every find the walk posted, so List3 is complete when the scan ends.
  connect(worker_, &QThread::finished, this, &FolderScan::WalkEnded, Qt::QueuedConnection);
  worker_->start();
}

void FolderScan::AddWaitingFinds() {
  std::vector<std::string> finds;
  {
    std::lock_guard lock(findsMutex_);
    finds.swap(waitingFinds_);
    findsQueued_ = false;
  }
  if (finds.empty()) return;
  ListBox& list = *w_.List3();
  const int previous = list.count() - 1;
  int row = previous;
  for (const std::string& path : finds) row = list.AddPath(path);
  // The list follows the scan: only the newest entry is selected. Scrolling lays out the
  // whole list, so it is done once for the finds taken together, not for each of them.
  if (previous >= 0) list.item(previous)->setSelected(false);
  list.item(row)->setSelected(true);
  list.setCurrentRow(row, QItemSelectionModel::NoUpdate);
  list.scrollToItem(list.item(row));
}

void FolderScan::ShowProgress() {
  progress_queued_ = false;
  const ScanProgress progress = UnpackProgress(progress_);
  w_.ProgressBar1()->setMaximum(progress.Max);
  w_.ProgressBar1()->setValue(progress.Value);
  w_.ProgressBar1()->setVisible(true);
}

void FolderScan::WalkEnded() {
  if (worker_ == nullptr) return;  // already stopped for shut-down
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  running_ = false;
  // The notice goes away but stays loaded, with its caption and text, for the next scan.
  message_.hide();
  w_.ProgressBar1()->setVisible(false);
  // The run button comes back whatever the scan found.
  w_.Command8()->setEnabled(true);
  w_.Command7()->setEnabled(true);
  w_.Command6()->setEnabled(true);
  w_.List3()->SetHorizontalExtent(static_cast<int>(
      ListExtentPixels(static_cast<int64_t>(state_.ScanMaxPathBytes), kFolderListExtent.twipsPerByte,
                       kFolderListExtent.marginTwips, kTwipsPerPixelAt96Dpi)));
  if (w_.List3()->count() > 0) {
    // The found drawings are what the search walks from now on.
    w_.SSTab1()->setCurrentIndex(0);
    w_.SSTab1()->setTabEnabled(1, false);
  }
  if (w_.Combo1()->isEnabled()) w_.Combo1()->setFocus();
  emit Finished();
}

void FolderScan::StopAndWait() {
  running_ = false;
  if (worker_ == nullptr) return;
  cancel_ = true;
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  cancel_ = false;
}

}  // namespace dorvan::ui
