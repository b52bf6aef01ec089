// The window "プレビュー": one drawing seen as it is drawn, fitted to the window, with the
// texts that matched the search boxed and listed beside it; choosing one centres the view
// on it. The status line tells the file version, drawing size, the memo's first line and
// the sheet coordinates under the pointer; "保存…" writes the drawing as PNG, SVG or PDF.
// One window serves every request; drawings are read on a worker thread.
#pragma once

#include <QPolygonF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reader/jww_drawing.h"
#include "search/match_records.h"

class QAction;
class QLabel;
class QListWidget;
class QSplitter;
class QPushButton;

namespace dorvan::ui {

class DrawingView;
class ListBox;
class MessageBoxes;

// Enter or Space on a list's current entry calls `open` (the list keeps every other key).
void InstallPreviewKeys(ListBox& list, std::function<void()> open);

// The file dialog of "保存…" behind a small interface, so tests name the file without a
// dialog on the screen.
class PictureSaveDialog {
 public:
  virtual ~PictureSaveDialog() = default;
  // The picture file to write (ending in .png, .svg or .pdf), or empty when cancelled.
  virtual QString ChoosePictureFile(QWidget* parent, const QString& suggestedName) = 0;
};

class QtPictureSaveDialog : public PictureSaveDialog {
 public:
  QString ChoosePictureFile(QWidget* parent, const QString& suggestedName) override;
};

// The boxes of the matched texts of `matches` in `drawing` (sheet millimetres), one list per
// record: a text of a block gets a box for every insert that shows it, a text on a hidden
// layer none. Records of other ranges get none.
std::vector<std::vector<QPolygonF>> MatchedTextBoxes(const JwwDrawing& drawing, const DrawingMatches& matches);

class PreviewWindow : public QWidget {
  Q_OBJECT
 public:
  PreviewWindow(MessageBoxes& messages, PictureSaveDialog& saveDialog, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // Reads and shows the drawing at `path` (bytes as the lists hold them) with its matches
  // (null: none). Returns at once; Loaded follows.
  void ShowDrawing(const std::string& path, const DrawingMatches* matches);
  const std::string& Path() const { return path_; }

  // "保存…": asks for a file and writes the drawing there on a worker thread; Saved follows.
  void SaveAs();

  // Shows "DXF で開く", which calls `open` with the drawing's path (the desktop has a CAD
  // program); an empty function hides it.
  void SetDxfOpener(std::function<void(const std::string& path)> open);
  QPushButton* OpenDxfButton() const { return openDxf_; }

  DrawingView* View() const { return view_; }
  QPushButton* FitButton() const { return fit_; }
  QPushButton* SaveButton() const { return save_; }
  QListWidget* MatchList() const { return matchList_; }
  QLabel* StatusText() const { return status_; }
  QLabel* PointerText() const { return pointer_; }

 signals:
  // The drawing asked for last has been read (or found unreadable) and is on show.
  void Loaded();
  // A picture "保存…" started has been written (or could not be: the message was shown).
  void Saved(bool written);

 private:
  struct Mailbox;
  struct LoadResult;
  void Show(quint64 generation, std::shared_ptr<LoadResult> result);
  void ShowMatch(int row);
  void SaveEnded(bool written, const QString& file, const QString& title);

  MessageBoxes& messages_;
  PictureSaveDialog& saveDialog_;
  DrawingView* view_;
  QPushButton* fit_;
  QPushButton* save_;
  QPushButton* openDxf_;
  std::function<void(const std::string&)> dxfOpener_;
  QAction* saveAction_;
  QListWidget* matchList_;
  QSplitter* splitter_;
  QLabel* status_;
  QLabel* pointer_;
  std::string path_;
  std::shared_ptr<const JwwDrawing> drawing_;
  std::vector<std::vector<QPolygonF>> matchBoxes_;
  std::vector<QPointF> matchPoints_;
  quint64 generation_ = 0;
  bool saving_ = false;
  std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace dorvan::ui
