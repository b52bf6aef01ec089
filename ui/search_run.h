// Runs the search engine's `Works` on a worker thread for the main window. The worker does
// not post an event per drawing: it keeps the run's state (the file being read, the rows
// highlighted, the drawings found since the window last looked) and the window takes it at
// the screen's pace, so the window's queue stays short and Escape reaches it at once. The
// reader's messages are shown on the window's thread while the run waits for each to be
// acknowledged.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reader/reader_messages.h"
#include "search/search_run.h"

namespace dorvan::ui {

// What a run has done since the window last took its state.
struct RunState {
  int currentIndex = 0;  // 1-based position of the file being read; 0 before the first
  int total = 0;
  // Target rows highlighted now (0-based), at most two; else the row highlighted last since
  // the previous take.
  std::vector<int> highlighted;
  std::vector<std::string> found;   // drawings found since the last take, in order of finding
};

class SearchRunThread : public QObject, private SearchObserver, private ReaderMessages {
  Q_OBJECT
 public:
  // Shows one reader message and returns when the user has acknowledged it; called on the
  // thread that owns this object.
  using ReaderMessageHandler = std::function<void(const QString& text, const QString& title)>;
  // Called on the owner's thread before a reader message is shown, so the window shows the
  // file the message is about.
  using StateFlush = std::function<void()>;

  // `request` and `source` must outlive the run; `cancel` is read once before each file.
  SearchRunThread(SearchControls controls, SearchRequest& request, DrawingSource& source,
                  RunSettings settings, const std::atomic<bool>& cancel,
                  ReaderMessageHandler onReaderMessage, QObject* parent = nullptr);
  // Waits for the worker, letting events through so that a pending reader message can be
  // answered.
  ~SearchRunThread() override;

  void Start();
  void SetStateFlush(StateFlush flush) { flush_ = std::move(flush); }
  // Moves the newest found drawings out and copies the rest; any thread may call it.
  RunState TakeState();
  // The run's outcome; call after finished().
  SearchOutcome TakeOutcome();

 signals:
  void historyAdded(const QString& text);
  // The last signal of a run.
  void finished();

 private:
  // SearchObserver, called on the worker thread.
  void AddHistory(const std::u16string& text) override;
  bool CancelRequested() override;
  void Progress(int currentIndex, int total) override;
  void Highlight(int index) override;
  void Deselect(int index) override;
  void Found(const std::string& path, std::size_t position) override;
  // ReaderMessages, called on whichever thread reads a drawing.
  void ShowReaderMessage(const std::string& text, const std::string& title) override;

  void Run();

  SearchControls controls_;
  SearchRequest& request_;
  DrawingSource& source_;
  RunSettings settings_;
  const std::atomic<bool>& cancel_;
  ReaderMessageHandler onReaderMessage_;
  StateFlush flush_;
  std::mutex stateMutex_;
  RunState state_;
  int newestHighlight_ = -1;  // the row highlighted last since the state was last taken
  std::mutex messageMutex_;  // one reader message at a time
  std::thread worker_;
  std::atomic<bool> done_{false};
  SearchOutcome outcome_;
};

}  // namespace dorvan::ui
