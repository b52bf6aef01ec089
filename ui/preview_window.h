// The window "プレビュー": one drawing seen as it is drawn, fitted to the window, with the
// texts that matched the search boxed and listed beside it; choosing one centres the view
// on it. The status line tells the file version, drawing size, the memo's first line and
// the sheet coordinates under the pointer; "保存…" writes the drawing as PNG, SVG or PDF.
// One window serves every request; drawings are read on a worker thread.
#pragma once

#include <QPolygonF>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reader/jww_drawing.h"
#include "render/picture_export.h"
#include "search/match_records.h"

class QAction;
class QLabel;
class QListWidget;
class QPrinter;
class QSplitter;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

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

// The print dialog of "印刷…" behind a small interface, so tests print without a dialog.
class PrintDialog {
 public:
  virtual ~PrintDialog() = default;
  // Lets the user choose the printer and paper of `printer` (set up with the drawing's sheet
  // beforehand) and whether the sheet is printed at its own size or fitted to the paper
  // (`fit`); false when cancelled.
  virtual bool ChoosePrinter(QWidget* parent, QPrinter& printer, bool& fit) = 0;
};

// Qt's print dialog (CUPS printers, or a PDF file) with a page of its own for the scale.
class QtPrintDialog : public PrintDialog {
 public:
  bool ChoosePrinter(QWidget* parent, QPrinter& printer, bool& fit) override;
};

// Sets `printer` up for the drawing's sheet: its paper (A0 to A4, or the long sizes) in
// landscape, without margins.
void SetUpSheetPaper(QPrinter& printer, const JwwDrawing& drawing);

// Prints the drawing on one page: at the sheet's own size, its centre on the page's centre
// (1:1 on paper of the sheet's size), or fitted to the page; `layers` as the preview shows
// them (null: the drawing's own). False when the printer could not be started.
bool PrintDrawingPage(QPrinter& printer, const JwwDrawing& drawing, const std::array<std::array<bool, 16>, 16>* layers,
                      bool fit);

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

  // "印刷…": the print dialog, then the drawing with the layers the panel shows, printed on
  // a worker thread; Printed follows. Returns false when nothing was started (cancelled).
  bool Print();
  // Replaces Qt's print dialog (tests); null puts it back.
  void SetPrintDialog(PrintDialog* dialog);
  QPushButton* PrintButton() const { return print_; }

  // The panel of layer groups and layers: a check box each, "全表示" to show all.
  QTreeWidget* LayerPanel() const { return layerPanel_; }
  QPushButton* ShowAllLayersButton() const { return showAllLayers_; }

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
  // A page "印刷…" started has been printed (or could not be: the message was shown).
  void Printed(bool printed);

 private:
  struct Mailbox;
  struct LoadResult;
  void Show(quint64 generation, std::shared_ptr<LoadResult> result);
  void ShowMatch(int row);
  void SaveEnded(render::ExportOutcome outcome, const QString& file, const QString& title);
  void PrintEnded(bool printed, const QString& title);
  void FillLayerPanel();
  void LayerChecked();

  MessageBoxes& messages_;
  PictureSaveDialog& saveDialog_;
  DrawingView* view_;
  QPushButton* fit_;
  QPushButton* save_;
  QPushButton* openDxf_;
  QPushButton* print_;
  QAction* printAction_;
  QTreeWidget* layerPanel_;
  QPushButton* showAllLayers_;
  std::unique_ptr<PrintDialog> ownPrintDialog_;
  PrintDialog* printDialog_ = nullptr;
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
  bool printing_ = false;
  std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace dorvan::ui
