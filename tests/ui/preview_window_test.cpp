// The preview window: opened from the lists, fitted, zoomed and panned, the matched texts
// listed and boxed, an unreadable drawing told, and the picture saved.
#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTreeWidget>
#include <optional>
#include <QTest>

#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/fake_services.h"
#include "tests/ui/window_fixture.h"
#include "ui/drawing_view.h"
#include "ui/found_list_menu.h"
#include "ui/list_box.h"
#include "ui/main_window.h"
#include "ui/open_drawing.h"
#include "ui/preview_window.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using dorvan::testing::TempFolder;

namespace {

class FakePictureDialog : public PictureSaveDialog {
 public:
  QString ChoosePictureFile(QWidget*, const QString&) override { return file; }
  QString file;
};

// A drawing with a frame of lines and two texts, one of them ("図面A") also inside a block
// inserted twice.
std::string WritePlan(const TempFolder& folder, const std::string& name) {
  dorvan::testing::DrawingRecipe recipe;
  recipe.texts = {u"図面A", u"平面"};
  recipe.lines = 4;
  recipe.blocks.push_back({u"枠", {u"図面A"}});
  dorvan::JwwDrawing drawing = dorvan::testing::ToDrawing(recipe);
  for (double x : {100.0, 200.0}) {
    dorvan::BlockInsertEntity insert;
    insert.Number = 1;
    insert.X = x;
    insert.ScaleX = insert.ScaleY = 1;
    dorvan::testing::AddEntity(drawing.Data, insert);
  }
  const std::string path = folder.File(name);
  dorvan::testing::WriteBytesFile(path, dorvan::testing::WriteDrawing(drawing));
  return path;
}

int RowOf(const ListBox& list, const std::string& path) {
  for (int row = 0; row < list.count(); ++row)
    if (list.PathAt(row) == path) return row;
  return -1;
}

// Prints to a PDF file instead of asking: on the paper it was set up with, or on `paper`.
class FakePrintDialog : public PrintDialog {
 public:
  bool ChoosePrinter(QWidget*, QPrinter& printer, bool& fitToPaper) override {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    if (paper) printer.setPageSize(QPageSize(*paper));
    fitToPaper = fit;
    return true;
  }
  QString file;
  std::optional<QPageSize::PageSizeId> paper;
  bool fit = false;
};

// The dark pixels of what the view shows.
int Ink(DrawingView* view) {
  const QImage picture = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int ink = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) ink += qGray(picture.pixel(x, y)) < 160;
  return ink;
}

struct PreviewFixture {
  TempFolder folder;
  FakePictureDialog pictures;
  WindowFixture fixture{{.pictureSaveDialog = &pictures}};
  FakeMessageBoxes& messages = fixture.messages;
  FakeShell& shell = fixture.shell;
  MainWindow* window = fixture.window.get();
  std::string plan, other;

  PreviewFixture() {
    plan = WritePlan(folder, "plan.jww");
    other = WritePlan(folder, "other.jww");
    window->List1()->AddPath(plan);
    window->List1()->AddPath(other);
    window->Combo1()->setEditText(QStringLiteral("図面"));
    window->Command6_Click();
  }

  PreviewWindow* Loaded() {
    PreviewWindow* preview = window->Preview();
    if (preview == nullptr) return nullptr;
    if (!QTest::qWaitFor([&] { return preview->View()->HasDrawing() || !preview->View()->Message().contains(QStringLiteral("読み込み中")); }))
      return nullptr;
    return preview;
  }
};

}  // namespace

class PreviewWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void OpensFromTheFoundListWithItsMatchesAndFollowsTheSelection() {
    PreviewFixture f;
    ListBox* found = f.window->List2();
    QCOMPARE(found->count(), 2);
    found->setFocus();
    found->setCurrentRow(RowOf(*found, f.plan));
    QTest::keyClick(found, Qt::Key_Return);
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr);
    QVERIFY(preview->isVisible());
    QVERIFY(preview->windowTitle().startsWith(QStringLiteral("plan.jww")));
    QVERIFY(preview->StatusText()->text().contains(QStringLiteral("バージョン 600")));
    preview->View()->actions().last()->trigger();  // "パスをコピー"
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(f.plan));
    // The drawing's own 図面A and the block's: listed, and boxed where the inserts put it.
    QCOMPARE(preview->MatchList()->count(), 2);
    QVERIFY(preview->MatchList()->isVisibleTo(preview));

    // Choosing the block's text centres the view on its two placements (x 100 and 200, plus
    // the text's own 10 and half its 8.75 mm).
    preview->MatchList()->setCurrentRow(1);
    QVERIFY(std::abs(preview->View()->Centre().x() - 164.375) < 1e-6);

    // The window follows the found list's selection.
    found->setCurrentRow(RowOf(*found, f.other));
    QCOMPARE(preview->Path(), f.other);

    // "プレビュー" in the menu, and Space on a target list, open the same window.
    QAction* menuPreview = nullptr;
    for (QAction* action : f.window->List2Menu()->Menu()->actions())
      if (action->text() == QStringLiteral("プレビュー")) menuPreview = action;
    QVERIFY(menuPreview != nullptr && menuPreview->isEnabled());
    f.window->List1()->setCurrentRow(0);
    QTest::keyClick(f.window->List1(), Qt::Key_Space);
    QCOMPARE(f.window->Preview(), preview);
    QCOMPARE(preview->Path(), f.window->List1()->PathAt(0));
    QVERIFY(f.Loaded() != nullptr);
    QCOMPARE(preview->MatchList()->count(), 0);  // a target has no matches
  }

  void AFoundDrawingNoApplicationOpensOffersThePreview() {
    PreviewFixture f;
    f.shell.result = dorvan::kShellNoApplication;
    f.messages.previewAnswer = MessageAnswer::Preview;
    ListBox* found = f.window->List2();
    found->setCurrentRow(RowOf(*found, f.plan));
    f.window->List2_DblClick();
    QCOMPARE(f.messages.shown.back().buttons, MessageButtons::OkPreview);
    QVERIFY(f.window->Preview() != nullptr);
    QCOMPARE(f.window->Preview()->Path(), f.plan);
  }

  // The status line reads 0.00 for a coordinate just below zero and nothing once the pointer
  // has left; screen readers get the labels' texts, not their roles.
  void StatusLineFollowsThePointerAndReadsAloud() {
    PreviewFixture f;
    f.window->ShowPreviewOf(f.window->List1(), 0);
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr);
    DrawingView* view = preview->View();
    QLabel* pointer = nullptr;
    for (QLabel* label : preview->findChildren<QLabel*>())
      if (label->accessibleDescription() == QStringLiteral("ポインタの座標")) pointer = label;
    QVERIFY(pointer != nullptr);
    const QPointF nearZero = view->SheetToWidget().map(QPointF(-0.001, -0.001));
    QMouseEvent move(QEvent::MouseMove, nearZero, view->mapToGlobal(nearZero), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
    QVERIFY(!pointer->text().isEmpty());
    QVERIFY2(!pointer->text().contains(QStringLiteral("-0.00")), qPrintable(pointer->text()));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(view, &leave);
    QVERIFY(pointer->text().isEmpty());
    // With the keyboard the view shows a mark.
    preview->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(preview));
    view->setFocus();
    QVERIFY(view->hasFocus());
    QCOMPARE(view->grab().toImage().pixelColor(1, view->height() / 2), view->palette().color(QPalette::Highlight));
    for (QLabel* label : {preview->StatusText(), pointer}) {
      label->setText(QStringLiteral("バージョン 600"));
      QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), label->text());
    }
  }

  void ZoomPanAndFitChangeTheView() {
    PreviewFixture f;
    f.window->ShowPreviewOf(f.window->List1(), 0);
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr);
    DrawingView* view = preview->View();
    QTRY_VERIFY(view->PictureCurrent());
    const double fitScale = view->Scale();
    const QPointF fitCentre = view->Centre();

    const QPointF pointer(view->width() * 0.25, view->height() * 0.25);
    const QPointF under = view->SheetPointAt(pointer);
    view->ZoomAt(pointer, 2.0);
    QCOMPARE(view->Scale(), fitScale * 2);
    QVERIFY(QLineF(view->SheetPointAt(pointer), under).length() < 1e-9);  // zoomed around the pointer
    view->PanBy(QPointF(40, 0));
    QVERIFY(view->Centre().x() < under.x() + 1e6);
    QTRY_VERIFY(view->PictureCurrent());  // rendered for the new view

    QTest::mouseClick(preview->FitButton(), Qt::LeftButton);
    QCOMPARE(view->Scale(), fitScale);
    QCOMPARE(view->Centre(), fitCentre);

    // Resizing a view the user has moved keeps its centre and scale.
    view->ZoomAt(pointer, 2.0);
    const QPointF centre = view->Centre();
    preview->resize(preview->width() + 80, preview->height() + 40);
    QCOMPARE(view->Centre(), centre);
    QCOMPARE(view->Scale(), fitScale * 2);
  }

  void UnreadableDrawingIsToldAndPicturesAreSaved() {
    PreviewFixture f;
    const std::string broken = f.folder.File("broken.jww");
    dorvan::testing::WriteBytesFile(broken, "not a drawing");
    f.window->List1()->AddPath(broken);
    f.window->ShowPreviewOf(f.window->List1(), RowOf(*f.window->List1(), broken));
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr);
    QVERIFY(!preview->View()->HasDrawing());
    QVERIFY(preview->View()->Message().contains(QStringLiteral("表示できません")));
    QCOMPARE(preview->View()->accessibleDescription(), preview->View()->Message());
    QVERIFY(!preview->SaveButton()->isEnabled());

    f.window->ShowPreviewOf(f.window->List1(), RowOf(*f.window->List1(), f.plan));
    QVERIFY(f.Loaded() != nullptr && preview->View()->HasDrawing());
    // Written on a worker thread: "保存…" is off until the picture is there.
    QSignalSpy saved(preview, &PreviewWindow::Saved);
    f.pictures.file = QString::fromStdString(f.folder.File("plan.pdf"));
    preview->SaveAs();
    QVERIFY(!preview->SaveButton()->isEnabled());
    QVERIFY(saved.wait());
    QVERIFY(QFile::exists(f.pictures.file));
    QVERIFY(preview->SaveButton()->isEnabled());
    f.pictures.file = QString::fromStdString(f.folder.File("missing/plan.png"));
    const std::size_t before = f.messages.shown.size();  // the run's result message
    preview->SaveAs();
    QVERIFY(saved.wait());
    QCOMPARE(saved.last().at(0).toBool(), false);
    QCOMPARE(f.messages.shown.size(), before + 1);
    QVERIFY(f.messages.shown.back().text.contains(QStringLiteral("保存できませんでした")));
  }

  // With a CAD program on the desktop the preview opens its drawing as DXF, and "保存…" and
  // the found list's menu write DXF files.
  void OpensAndSavesAsDxf() {
    PreviewFixture f;
    f.shell.applicationTypes.insert(kDxfContentType);
    f.window->ShowPreviewOf(f.window->List1(), RowOf(*f.window->List1(), f.plan));
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr && preview->OpenDxfButton()->isVisible());
    ClickButton(preview->OpenDxfButton());
    QTRY_COMPARE(f.shell.openedAs.size(), std::size_t{1});
    QVERIFY(f.shell.openedAs[0].first.ends_with("/plan.dxf"));

    QSignalSpy saved(preview, &PreviewWindow::Saved);
    f.pictures.file = QString::fromStdString(f.folder.File("plan.dxf"));
    preview->SaveAs();
    QVERIFY(saved.wait());
    QVERIFY(saved.last().at(0).toBool());
    f.pictures.file = QString::fromStdString(f.folder.File("found.dxf"));
    ListBox* found = f.window->List2();
    found->setCurrentRow(RowOf(*found, f.plan));
    QMenu* menu = f.window->List2Menu()->Menu();
    for (QAction* action : menu->actions())
      if (action->text() == QStringLiteral("DXF で保存…")) action->trigger();
    for (const char* name : {"plan.dxf", "found.dxf"}) {
      QFile file(QString::fromStdString(f.folder.File(name)));
      QTRY_VERIFY(file.exists());  // written on a worker thread
      QVERIFY(file.open(QIODevice::ReadOnly));
      QVERIFY(file.read(11) == "999\ndorvan\n");
    }
  }

  // The panel lists the drawing's layers checked as the drawing shows them; a hidden layer's
  // ink leaves the picture, and "全表示" brings it back.
  void HidingALayerRemovesItsInk() {
    PreviewFixture f;
    f.window->ShowPreviewOf(f.window->List1(), RowOf(*f.window->List1(), f.plan));
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr);
    QVERIFY(QTest::qWaitFor([&] { return preview->View()->PictureCurrent(); }));
    const int shown = Ink(preview->View());
    QVERIFY(shown > 0);
    QTreeWidget* panel = preview->LayerPanel();
    QCOMPARE(panel->topLevelItemCount(), 1);
    QTreeWidgetItem* layer = panel->topLevelItem(0)->child(0);
    QCOMPARE(layer->checkState(0), Qt::Checked);
    QSignalSpy ready(preview->View(), &DrawingView::PictureReady);
    layer->setCheckState(0, Qt::Unchecked);
    QVERIFY(ready.wait());
    QCOMPARE(Ink(preview->View()), 0);
    ClickButton(preview->ShowAllLayersButton());
    QVERIFY(ready.wait());
    QCOMPARE(Ink(preview->View()), shown);
  }

  // "印刷…" prints one page: the sheet's own paper at 1:1, or the chosen paper fitted.
  void PrintsTheSheet() {
    PreviewFixture f;
    f.window->ShowPreviewOf(f.window->List1(), RowOf(*f.window->List1(), f.plan));
    PreviewWindow* preview = f.Loaded();
    QVERIFY(preview != nullptr && preview->PrintButton()->isEnabled());
    FakePrintDialog dialog;
    preview->SetPrintDialog(&dialog);
    const struct {
      std::optional<QPageSize::PageSizeId> paper;
      bool fit;
      double width, height;  // points
    } cases[] = {{std::nullopt, false, 841 * 72 / 25.4, 594 * 72 / 25.4},  // the drawing's A1, landscape
                 {QPageSize::A4, true, 297 * 72 / 25.4, 210 * 72 / 25.4}};
    for (const auto& c : cases) {
      dialog.file = QString::fromStdString(f.folder.File(c.fit ? "fit.pdf" : "sheet.pdf"));
      dialog.paper = c.paper;
      dialog.fit = c.fit;
      QSignalSpy printed(preview, &PreviewWindow::Printed);
      QVERIFY(preview->Print());
      QVERIFY(!preview->PrintButton()->isEnabled());
      QVERIFY(printed.wait());
      QVERIFY(printed.last().at(0).toBool());
      QFile pdf(dialog.file);
      QVERIFY(pdf.open(QIODevice::ReadOnly));
      const QRegularExpressionMatch box =
          QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")).match(QString::fromLatin1(pdf.readAll()));
      QVERIFY(box.hasMatch());
      QVERIFY(qAbs(box.captured(1).toDouble() - c.width) < 1.5);
      QVERIFY(qAbs(box.captured(2).toDouble() - c.height) < 1.5);
    }
  }
};

QTEST_MAIN(PreviewWindowTest)
#include "preview_window_test.moc"
