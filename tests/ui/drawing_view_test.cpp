// The preview's picture area follows the user, not old work: its pictures are made on a
// thread of its own, the newest request wins, and the framing is worked out there.
#include <QResizeEvent>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <memory>

#include "render/framing.h"
#include "tests/support/drawing_writer.h"
#include "ui/drawing_view.h"

using namespace dorvan;

namespace {

// Block k inserts block k+1 three times, turned: a drawing of lines that takes the
// renderer its whole budget, framing and drawing.
std::shared_ptr<JwwDrawing> SlowDrawing() {
  auto drawing = std::make_shared<JwwDrawing>(testing::ToDrawing({}));
  constexpr int kLevels = 14;
  for (int level = 1; level <= kLevels; ++level) {
    BlockDefinition block;
    block.Number = level;
    LineEntity line;
    line.EndX = 1;
    testing::AddEntity(block.Data, line);
    for (int k = 0; level < kLevels && k < 3; ++k) {
      BlockInsertEntity insert;
      insert.Number = level + 1;
      insert.X = 2.0 * k;
      insert.ScaleX = insert.ScaleY = 1;
      insert.Rotation = 0.3;
      testing::AddEntity(block.Data, insert);
    }
    drawing->Data.BlockDefinitions.push_back(std::move(block));
    drawing->Data.BlockIndexByNumber.resize(level + 1, 0);
    drawing->Data.BlockIndexByNumber[level] = static_cast<int32_t>(drawing->Data.BlockDefinitions.size() - 1);
  }
  BlockInsertEntity top;
  top.Number = 1;
  top.ScaleX = top.ScaleY = 1;
  testing::AddEntity(drawing->Data, top);
  return drawing;
}

}  // namespace

class DrawingViewTest : public QObject {
  Q_OBJECT
 private slots:
  void TheNewestDrawingIsShownAndNothingIsFramedOnTheWindowsThread() {
    // Reads and saves have taken every thread of the shared pool. (The view is not shown:
    // the raster engine itself hands large fills, such as showing a picture, to that pool.)
    QThreadPool* shared = QThreadPool::globalInstance();
    QSemaphore release;
    const int busy = shared->maxThreadCount();
    for (int k = 0; k < busy; ++k) shared->start([&release] { release.acquire(); });

    ui::DrawingView view;
    const auto resize = [&view](QSize size) {
      QResizeEvent event(size, view.size());
      view.resize(size);
      QCoreApplication::sendEvent(&view, &event);
    };
    resize(QSize(400, 300));
    view.SetDrawing(SlowDrawing(), {});
    QVERIFY(!view.Frame().has_value());  // framed by the picture's job, not here
    resize(QSize(420, 310));
    resize(QSize(440, 320));
    auto small = std::make_shared<JwwDrawing>(testing::ToDrawing({.lines = 2}));
    view.SetDrawing(small, {});
    QTRY_VERIFY(view.PictureCurrent());
    QCOMPARE(*view.Frame(), render::PictureFrame(*small));

    // A resize fits again at once from the frame kept.
    resize(QSize(500, 200));
    QCOMPARE(view.Scale(), render::FitFrame(*view.Frame(), QRectF(0, 0, 500, 200)).m11());
    QTRY_VERIFY(view.PictureCurrent());
    release.release(busy);
    shared->waitForDone();
  }
};

QTEST_MAIN(DrawingViewTest)
#include "drawing_view_test.moc"
