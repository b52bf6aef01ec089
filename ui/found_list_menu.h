// The context menu of a list of drawings (right click or the menu key) and its Ctrl+C:
// "開く", "フォルダを開く", "パスをコピー" on the selected entries, and for the found list also
// "DXF で開く", "一致箇所を表示", "DXF で保存…" and "一覧を保存…", which its owner carries out.
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPoint;

namespace dorvan {
class ShellOpener;
}

namespace dorvan::ui {

class ListBox;
class MessageBoxes;

// "開く" asks before opening more drawings than this at once.
inline constexpr std::size_t kOpenWithoutAsking = 10;

// The show command of "フォルダを開く": a normal window.
inline constexpr int32_t kShowNormal = 1;

// The folder that holds `path`: everything before its last slash ("/" for a top-level
// entry); the bytes are kept as they are.
std::string ContainingFolder(const std::string& path);

class ListContextMenu : public QObject {
  Q_OBJECT
 public:
  // What the found list adds to the menu; both may be empty (the error window's list).
  struct FoundListActions {
    std::function<void(int row)> showMatches;  // "一致箇所を表示" for the current entry
    std::function<void()> saveList;            // "一覧を保存…"
    std::function<void(int row)> preview;      // "プレビュー" of the current entry
    std::function<void(int row)> saveDxf;      // "DXF で保存…" of the current entry
  };

  // What the desktop cannot open is reported through `messages`.
  ListContextMenu(ListBox& list, ShellOpener& shell, MessageBoxes& messages, FoundListActions found = {});

  // The menu as it would be shown now (actions enabled for the selection); tests trigger
  // its actions instead of showing it.
  QMenu* Menu();

  // The actions, also for callers that trigger them directly.
  void OpenSelected();
  void OpenSelectedFolders();
  void CopySelectedPaths();
  // "DXF で開く": each selected drawing opened as DXF in the desktop's CAD program.
  void OpenSelectedAsDxf();

 private:
  void ShowAt(const QPoint& position);

  ListBox& list_;
  ShellOpener& shell_;
  MessageBoxes& messages_;
  FoundListActions found_;
  QMenu* menu_ = nullptr;
  QAction* open_ = nullptr;
  QAction* showMatches_ = nullptr;
  QAction* preview_ = nullptr;
  QAction* openFolder_ = nullptr;
  QAction* copyPaths_ = nullptr;
  QAction* saveList_ = nullptr;
  QAction* openDxf_ = nullptr;
  QAction* saveDxf_ = nullptr;
};

}  // namespace dorvan::ui
