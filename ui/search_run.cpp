#include "ui/search_run.h"

#include <QCoreApplication>
#include <QThread>

namespace dorvan::ui {

SearchRunThread::SearchRunThread(SearchControls controls, SearchRequest& request,
                                 DrawingSource& source, RunSettings settings,
                                 const std::atomic<bool>& cancel,
                                 ReaderMessageHandler onReaderMessage, QObject* parent)
    : QObject(parent),
      controls_(std::move(controls)),
      request_(request),
      source_(source),
      settings_(settings),
      cancel_(cancel),
      onReaderMessage_(std::move(onReaderMessage)) {}

SearchRunThread::~SearchRunThread() {
  if (!worker_.joinable()) return;
  // The worker may be waiting for a reader message to be answered on this thread.
  while (!done_.load()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  worker_.join();
}

void SearchRunThread::Start() {
  worker_ = std::thread([this] { Run(); });
}

SearchOutcome SearchRunThread::TakeOutcome() {
  if (worker_.joinable()) worker_.join();
  return std::move(outcome_);
}

void SearchRunThread::Run() {
  outcome_ = Works(controls_, request_, source_, *this, this, settings_);
  done_.store(true);
  emit finished();
}

void SearchRunThread::AddHistory(const std::u16string& text) {
  emit historyAdded(QString::fromStdU16String(text));
}

bool SearchRunThread::CancelRequested() { return cancel_.load(); }

void SearchRunThread::Progress(int currentIndex, int total) {
  std::lock_guard lock(stateMutex_);
  state_.currentIndex = currentIndex;
  state_.total = total;
}

void SearchRunThread::Highlight(int index) {
  std::lock_guard lock(stateMutex_);
  state_.highlighted.push_back(index);
  newestHighlight_ = index;
}

void SearchRunThread::Deselect(int index) {
  std::lock_guard lock(stateMutex_);
  std::erase(state_.highlighted, index);
}

void SearchRunThread::Found(const std::string& path, std::size_t) {
  std::lock_guard lock(stateMutex_);
  state_.found.push_back(path);
}

RunState SearchRunThread::TakeState() {
  std::lock_guard lock(stateMutex_);
  RunState taken;
  taken.currentIndex = state_.currentIndex;
  taken.total = state_.total;
  taken.highlighted = state_.highlighted;
  // A file read between two looks at the state is still shown once.
  if (taken.highlighted.empty() && newestHighlight_ >= 0) taken.highlighted.push_back(newestHighlight_);
  newestHighlight_ = -1;
  taken.found.swap(state_.found);
  return taken;
}

void SearchRunThread::ShowReaderMessage(const std::string& text, const std::string& title) {
  if (!onReaderMessage_) return;
  const QString qtext = QString::fromStdString(text);
  const QString qtitle = QString::fromStdString(title);
  if (QThread::currentThread() == thread()) {
    if (flush_) flush_();
    onReaderMessage_(qtext, qtitle);
    return;
  }
  std::lock_guard<std::mutex> lock(messageMutex_);
  QMetaObject::invokeMethod(
      this,
      [this, &qtext, &qtitle] {
        if (flush_) flush_();
        onReaderMessage_(qtext, qtitle);
      },
      Qt::BlockingQueuedConnection);
}

}  // namespace dorvan::ui
