// The whole program on the offscreen screen with stand-ins for the message boxes, the
// opener, the file dialog, the volumes, the gzip probe and the end of the process.
#pragma once

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <deque>
#include <memory>

#include "tests/ui/fake_services.h"
#include "tests/ui/window_fixture.h"
#include "ui/file_dialog.h"
#include "ui/list_box.h"
#include "ui/program.h"
#include "ui/volume_source.h"

namespace dorvan::ui::testing {

class FakeFileDialog : public DrawingFileDialog {
 public:
  std::vector<std::string> ChooseFiles(QWidget*) override {
    ++opened;
    if (choices.empty()) return {};
    std::vector<std::string> chosen = choices.front();
    choices.pop_front();
    return chosen;
  }
  // What the user chooses at each opening; nothing (a cancel) once they run out.
  std::deque<std::vector<std::string>> choices;
  int opened = 0;
};

class FakeVolumes : public VolumeSource {
 public:
  std::vector<Volume> Volumes() const override { return volumes; }
  bool IsReady(const QString& root) const override { return !notReady.contains(root); }
  std::vector<Volume> volumes{{"/", "root"}, {"/media/empty-card", "CARD"}};
  QSet<QString> notReady{"/media/empty-card"};
};

struct ProgramFixture {
  FakeMessageBoxes messages;
  FakeShell shell;
  FakeFileDialog dialog;
  FakeVolumes volumes;
  int32_t archiverAnswer = 0;
  int processEnds = 0;
  std::unique_ptr<Program> program;

  explicit ProgramFixture(bool show = true) {
    ProgramServices services;
    services.window.messages = &messages;
    services.window.shell = &shell;
    services.file_dialog = &dialog;
    services.volumes = &volumes;
    services.check_archiver = [this] { return archiverAnswer; };
    services.end_process = [this] { ++processEnds; };
    program = std::make_unique<Program>(services);
    if (show) {
      w().show();
      w().activateWindow();
      if (!QTest::qWaitForWindowActive(&w())) qWarning("main window did not become active");
    }
  }
  Program& p() { return *program; }
  MainWindow& w() { return program->Window(); }
};

// A drag of local files, as the file manager starts it.
inline std::unique_ptr<QMimeData> FileDrag(const std::vector<std::string>& paths) {
  auto data = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
  data->setUrls(urls);
  return data;
}

// Enters `list` with the drag and drops it there, as the file manager does; returns whether
// the list accepted the drop.
inline bool DropOn(ListBox* list, const QMimeData& data) {
  const QPoint at = list->viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(list->viewport(), &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(list->viewport(), &drop);
  return drop.isAccepted();
}

}  // namespace dorvan::ui::testing
