// The scan button "ファイル検索" and the scan it runs: every drawing of Dir1's folder (and of
// its subfolders when "サブフォルダまで含める。" is ticked) is listed in List3 as it is found,
// while the message window stays in front and Escape in it stops the walk.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "files/folder_scan.h"

class QThread;

namespace dorvan::ui {

class MainWindow;
class MessageWindow;

class FolderScan : public QObject {
  Q_OBJECT
 public:
  // `folder` gives Dir1.Path (its bytes) when a scan starts; `cancel` is the flag the message window's
  // Escape raises. `window`, `message` and `cancel` must outlive the scan.
  FolderScan(MainWindow& window, std::function<std::string()> folder, MessageWindow& message,
             std::atomic<bool>& cancel, QObject* parent = nullptr);
  // Stops a running walk and waits for it.
  ~FolderScan() override;

  // The run, exit and scan buttons are off while the walk runs; afterwards they are on,
  // List3's extent covers the longest path visited, and page "ファイル指定" is switched
  // off for good when List3 holds drawings.
  void Command8_Click();

  bool Running() const { return running_; }
  // Asks a running walk to stop and waits until it has (for shut-down).
  void StopAndWait();
  const ScanState& State() const { return state_; }

 signals:
  // The scan and the button's work after it are done.
  void Finished();

 private:
  void GetFileState();
  void StartWalk(const std::string& folder, bool include_subfolders);
  void AddWaitingFinds();
  void ShowProgress();
  void WalkEnded();

  MainWindow& w_;
  std::function<std::string()> folder_;
  MessageWindow& message_;
  std::atomic<bool>& cancel_;
  ScanState state_;
  bool running_ = false;
  QThread* worker_ = nullptr;
  // The newest progress of the walk; only one repaint of the bar waits in the queue at a time.
  std::atomic<int64_t> progress_{0};
  std::atomic<bool> progress_queued_{false};
  // The drawings the walk found since the list last took them; one call to take them waits
  // in the queue at a time. A call per drawing, each scrolling the list, laid out the whole
  // list again for every find (2,084 drawings took 34 s).
  std::mutex findsMutex_;
  std::vector<std::string> waitingFinds_;
  bool findsQueued_ = false;
};

}  // namespace dorvan::ui
