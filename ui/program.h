// The running program: the main window with everything its buttons, lists and folder page do,
// the message window of the folder scan, start-up (`Form_Load`) and shut-down (`Form_Unload`).
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/main_window.h"

namespace dorvan::ui {

class DrawingFileDialog;
class FileDropFilter;
class FolderPage;
class FolderScan;
class MessageWindow;
class TargetListHandlers;
class VolumeSource;

// What the program talks to; a null or empty member is replaced by the real thing.
struct ProgramServices {
  WindowServices window;                      // message boxes, desktop opener, drawing reader
  DrawingFileDialog* file_dialog = nullptr;   // the "ファイル選択" dialog
  VolumeSource* volumes = nullptr;            // the drive list's volumes
  std::function<int32_t()> check_archiver;    // the start-up probe of the gzip layer
  std::function<void()> end_process;          // leaves the event loop
};

class Program : public QObject {
  Q_OBJECT
 public:
  explicit Program(ProgramServices services = {});
  ~Program() override;

  MainWindow& Window() { return *window_; }
  MessageWindow& Message() { return *message_; }
  TargetListHandlers& Targets() { return *targets_; }
  FolderPage& Folders() { return *folders_; }
  FolderScan& Scan() { return *scan_; }
  // The cancel flag of the folder scan (`blnCansel_module`), raised by Escape in the message
  // window.
  std::atomic<bool>& CancelFlag() { return cancel_; }

  // Before the window is shown: the search history into Combo1, the drawings among `args`
  // (the command-line arguments without the program's path) into List1, then the check of
  // the gzip layer. False when the layer cannot work: the message has been shown and the
  // window closed, and the program must end without showing it.
  bool Form_Load(const std::vector<std::string>& args);

  // "終　了": writes the search history, then closes the window. The only way out that
  // keeps the history.
  void Command7_Click();

  // A later start handed over its arguments: the drawings among them join List1 as this
  // program's own command line did, the target-button rule follows, and the window comes
  // to the front. Waits while a search run or a folder scan goes on.
  void TakeHandOver(const std::vector<std::string>& args);

  // The main window is closing, for whatever reason: every other window closes with it and
  // the program ends. Nothing is saved here.
  void Form_Unload();

 private:
  void Wire();

  std::unique_ptr<DrawingFileDialog> own_file_dialog_;
  std::unique_ptr<VolumeSource> own_volumes_;
  DrawingFileDialog* file_dialog_;
  VolumeSource* volumes_;
  std::function<int32_t()> check_archiver_;
  std::function<void()> end_process_;

  std::atomic<bool> cancel_{false};
  std::unique_ptr<MainWindow> window_;
  MessageWindow* message_ = nullptr;  // owned by the main window, in front of which it stays
  std::unique_ptr<TargetListHandlers> targets_;
  std::unique_ptr<FolderPage> folders_;
  std::unique_ptr<FolderScan> scan_;
  bool unloaded_ = false;
};

}  // namespace dorvan::ui
