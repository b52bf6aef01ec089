// The main window `dorvan`: every control of the search tool at its fixed place, the rules
// that keep the request consistent, the search run with its progress and cancel, and the
// result dialogue. The controls carry their names as objectName and are reachable by name
// through the accessors, so other parts of the program (and tests) work on them directly.
#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "files/list_extent.h"
#include "search/search_request.h"
#include "search/search_run.h"
#include "ui/control_rules.h"
#include "ui/message_boxes.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace dorvan {
class ShellOpener;
class DrawingSource;
}  // namespace dorvan

namespace dorvan::ui {

class ErrorWindow;
class ListBox;
class ListContextMenu;
class ListSaveDialog;
class MatchesWindow;
class PictureSaveDialog;
class PreviewWindow;
class TabControl;

// The caption of the main window, which also titles its message boxes and the two small
// windows.
QString MainCaption();

// What the main window talks to; a null member is replaced by the real thing, owned by the
// window (message boxes on screen, the desktop's opener, the drawing reader).
struct WindowServices {
  MessageBoxes* messages = nullptr;
  ShellOpener* shell = nullptr;
  DrawingSource* drawings = nullptr;
  ListSaveDialog* saveDialog = nullptr;  // "一覧を保存…"
  PictureSaveDialog* pictureSaveDialog = nullptr;  // the preview's "保存…"
};

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(WindowServices services = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The controls, by their names.
  QLabel* Label1() const { return label1_; }
  QLabel* Label2() const { return label2_; }
  QLabel* Label3() const { return label3_; }
  QPushButton* Command1() const { return command_[1]; }
  QPushButton* Command2() const { return command_[2]; }
  QPushButton* Command3() const { return command_[3]; }
  QPushButton* Command4() const { return command_[4]; }
  QPushButton* Command5() const { return command_[5]; }
  QPushButton* Command6() const { return command_[6]; }
  QPushButton* Command7() const { return command_[7]; }
  QPushButton* Command8() const { return command_[8]; }
  QPushButton* Command9() const { return command_[9]; }
  TabControl* SSTab1() const { return sstab1_; }
  QComboBox* Drive1() const { return drive1_; }
  QCheckBox* Check16() const { return check16_; }
  QTreeView* Dir1() const { return dir1_; }
  ListBox* List1() const { return list1_; }
  ListBox* List2() const { return list2_; }
  ListBox* List3() const { return list3_; }
  QComboBox* Combo1() const { return combo1_; }
  QComboBox* Combo2() const { return combo2_; }
  QComboBox* Combo3() const { return combo3_; }
  QCheckBox* Check1() const { return check1_; }
  QCheckBox* Check2() const { return check2_; }
  QCheckBox* Check4() const { return check4_; }
  QGroupBox* Frame1() const { return frame1_; }
  QGroupBox* Frame2() const { return frame2_; }
  // The range boxes Check3(0) to Check3(7), by range code.
  QCheckBox* Check3(int index) const { return check3_.at(static_cast<std::size_t>(index)); }
  const std::array<QCheckBox*, 8>& Check3Array() const { return check3_; }
  QRadioButton* Option1() const { return option1_; }
  QRadioButton* Option2() const { return option2_; }
  QProgressBar* ProgressBar1() const { return progressBar1_; }
  // Shown in the progress bar's place after a run that could not use the index.
  QLabel* IndexNote() const { return indexNote_; }

  // The horizontal extents of the three lists, kept covering their longest entries.
  ListExtent& List1Extent() { return list1Extent_; }
  ListExtent& List2Extent() { return list2Extent_; }
  ListExtent& List3Extent() { return list3Extent_; }
  // Sets a list's scroll extent from its tracker.
  void ApplyExtent(ListBox* list, const ListExtent& extent);

  MessageBoxes& Messages() { return *messages_; }
  ShellOpener& Shell() { return *shell_; }

  // The state rules (see ControlRules).
  void Sousa_Off(int index) { rules_.Sousa_Off(index); }
  void Sousa_On(int index) { rules_.Sousa_On(index); }
  void SousaCombo_2_3on() { rules_.SousaCombo_2_3on(); }
  void SousaCombo_2_3off() { rules_.SousaCombo_2_3off(); }
  void Sousa_Chec1_2_off() { rules_.Sousa_Chec1_2_off(); }
  void Sousa_Chec1_2_on() { rules_.Sousa_Chec1_2_on(); }
  void Check3_Click(int index) { rules_.Check3_Click(index); }
  void Check4_Click() { rules_.Check4_Click(); }
  void SSTab1_Click(int previousPage) { rules_.SSTab1_Click(previousPage); }

  // The controls as the search engine reads them.
  SearchControls Snapshot() const;

  // One search run: empties the found list, runs the engine on a worker thread while the
  // window takes no input but Escape, shows the error window and the cancel message, and
  // returns the result code. Refused and cancelled runs return 0 after their own message.
  int16_t Works();
  // How the latest run ended and the message it left.
  RunEnding LastEnding() const { return lastEnding_; }
  const QString& ResultMessage() const { return resultMessage_; }
  bool Running() const { return running_; }

  // The run button: Works, then the result message and its question.
  void Command6_Click();
  // Remove the selected found drawings / all found drawings.
  void Command2_Click();
  void Command3_Click();
  // Opens the found drawing at the current index with the desktop's application; a drawing
  // the desktop cannot open is reported in a message box.
  void List2_DblClick();

  // The found list's context menu, the window of one drawing's matches (null until first
  // shown), "一致箇所を表示" for a row and "一覧を保存…".
  ListContextMenu* List2Menu() const { return list2Menu_; }
  MatchesWindow* Matches() const { return matchesWindow_; }
  void ShowMatchesOf(int row);
  void SaveFoundList();

  // The preview of a list's entry (Enter or Space on a list, "プレビュー" in the found list's
  // menu): one window, which follows that list's current entry while it is open. Null until
  // first shown.
  void ShowPreviewOf(ListBox* list, int row);
  PreviewWindow* Preview() const { return preview_; }

  // Closes the main window, which ends the program.
  void Unload();

  // Shows the error window modally; tests replace it to read or close the window.
  using ErrorWindowPresenter = std::function<void(ErrorWindow& window)>;
  void SetErrorWindowPresenter(ErrorWindowPresenter presenter);
  // Worker threads of a run (tests pin it to one for a deterministic read order).
  void SetRunSettings(const RunSettings& settings) { runSettings_ = settings; }

 signals:
  // The window is closing (close box, "終　了", the answer No, a failed start).
  void Unloading();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The drawing source of a window given none: the user's index over the reader.
  std::unique_ptr<DrawingSource> MakeDrawingSource();
  void BuildTargetArea();
  void BuildSearchTextArea();
  void BuildFoundArea();
  void BuildRangeFrame();
  void BuildRunArea();
  void SetFocusOrder();
  void WireRules();

  ListBox* TargetListOfPage(TargetPage page) const;
  void AddHistory(const QString& text);
  void MoveFocus(FocusTarget target);
  bool IsOwnWidget(QObject* object) const;

  std::unique_ptr<MessageBoxes> ownMessages_;
  std::unique_ptr<ShellOpener> ownShell_;
  std::unique_ptr<DrawingSource> ownDrawings_;
  std::unique_ptr<ListSaveDialog> ownSaveDialog_;
  std::unique_ptr<PictureSaveDialog> ownPictureSaveDialog_;
  PictureSaveDialog* pictureSaveDialog_ = nullptr;
  PreviewWindow* preview_ = nullptr;
  ListBox* previewSource_ = nullptr;
  MessageBoxes* messages_;
  ShellOpener* shell_;
  DrawingSource* drawings_;
  ListSaveDialog* saveDialog_;
  ListContextMenu* list2Menu_ = nullptr;
  MatchesWindow* matchesWindow_ = nullptr;

  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
  std::array<QPushButton*, 10> command_{};  // Command1 to Command9 at their numbers
  TabControl* sstab1_ = nullptr;
  QComboBox* drive1_ = nullptr;
  QCheckBox* check16_ = nullptr;
  QTreeView* dir1_ = nullptr;
  ListBox* list1_ = nullptr;
  ListBox* list2_ = nullptr;
  ListBox* list3_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QComboBox* combo2_ = nullptr;
  QComboBox* combo3_ = nullptr;
  QCheckBox* check1_ = nullptr;
  QCheckBox* check2_ = nullptr;
  QCheckBox* check4_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  std::array<QCheckBox*, 8> check3_{};
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QProgressBar* progressBar1_ = nullptr;
  QLabel* indexNote_ = nullptr;
  // What the index's failure during the run going on was, told from a reading thread.
  std::mutex indexProblemMutex_;
  QString indexProblem_;

  ControlRules rules_{RuleControls{}};
  int frontPage_ = 1;  // the page in front, for SSTab1_Click's argument

  ListExtent list1Extent_{kTargetListExtent};
  ListExtent list2Extent_{kTargetListExtent};
  ListExtent list3Extent_{kFolderListExtent};

  // The request is the window's: a field keeps its value until its range is ticked again.
  SearchRequest request_;
  QString resultMessage_;
  RunEnding lastEnding_ = RunEnding::Completed;
  RunSettings runSettings_;
  ErrorWindowPresenter presentErrorWindow_;
  bool running_ = false;
  bool shownOnce_ = false;
  bool escapeHeld_ = false;  // Escape is down now, as the application's key events tell
  std::atomic<bool> cancelRequested_{false};
};

}  // namespace dorvan::ui
