// A main window on the offscreen screen with fake message boxes and opener, and the
// user's gestures the tests repeat.
#pragma once

#include <QAbstractButton>
#include <QStringList>
#include <QTabBar>
#include <QTest>
#include <memory>

#include "tests/ui/fake_services.h"
#include "ui/error_window.h"
#include "ui/list_box.h"
#include "ui/main_window.h"
#include "ui/tab_control.h"

namespace dorvan::ui::testing {

struct WindowFixture {
  FakeMessageBoxes messages;
  FakeShell shell;
  std::unique_ptr<MainWindow> window;
  // The entries of each error window the runs showed; no test waits on the real window
  // unless it puts the real one back.
  std::vector<QStringList> errorWindows;

  // `services` may bring further fakes (the save dialogs); the message boxes and the opener
  // are always the fixture's own.
  explicit WindowFixture(WindowServices services = {}) {
    services.messages = &messages;
    services.shell = &shell;
    window = std::make_unique<MainWindow>(services);
    window->SetErrorWindowPresenter([this](ErrorWindow& shown) {
      QStringList entries;
      for (int row = 0; row < shown.List1()->count(); ++row) entries << shown.List1()->item(row)->text();
      errorWindows.push_back(entries);
    });
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get())) qWarning("the main window did not become active");
  }
  MainWindow& w() { return *window; }
};

// A click of the mouse where a user clicks a check box or an option button: on its box.
inline void ClickBox(QAbstractButton* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(7, box->height() / 2));
}

inline void ClickButton(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Brings a page to the front by clicking its tab.
inline void ClickTab(MainWindow& window, int page) {
  QTabBar* bar = window.SSTab1()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
}

}  // namespace dorvan::ui::testing
