// Runs the search engine's `Works` on a worker thread for the main window. Everything the
// run reports arrives as queued signals on the window's thread, in the order the run
// reported it; the reader's messages are shown on the window's thread while the run waits
// for each to be acknowledged.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "reader/reader_messages.h"
#include "search/search_run.h"

namespace dorvan::ui {

class SearchRunThread : public QObject, private SearchObserver, private ReaderMessages {
  Q_OBJECT
 public:
  // Shows one reader message and returns when the user has acknowledged it; called on the
  // thread that owns this object.
  using ReaderMessageHandler = std::function<void(const QString& text, const QString& title)>;

  // `request` and `source` must outlive the run; `cancel` is read once before each file.
  SearchRunThread(SearchControls controls, SearchRequest& request, DrawingSource& source,
                  RunSettings settings, const std::atomic<bool>& cancel,
                  ReaderMessageHandler onReaderMessage, QObject* parent = nullptr);
  // Waits for the worker, letting events through so that a pending reader message can be
  // answered.
  ~SearchRunThread() override;

  void Start();
  // The run's outcome; call after finished().
  SearchOutcome TakeOutcome();

 signals:
  void historyAdded(const QString& text);
  void progressed(int currentIndex, int total);
  void highlighted(int index);
  void deselected(int index);
  void drawingFound(const QByteArray& path);
  void drawingUnreadable(const QByteArray& path);
  // The last signal of a run.
  void finished();

 private:
  // SearchObserver, called on the worker thread.
  void AddHistory(const std::u16string& text) override;
  bool CancelRequested() override;
  void Progress(int currentIndex, int total) override;
  void Highlight(int index) override;
  void Deselect(int index) override;
  void Unreadable(const std::string& path) override;
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
  std::mutex messageMutex_;  // one reader message at a time
  std::thread worker_;
  std::atomic<bool> done_{false};
  SearchOutcome outcome_;
};

}  // namespace dorvan::ui
