#include "ui/search_run.h"

#include <QCoreApplication>
#include <QThread>

namespace dorvan::ui {

namespace {
QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

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

void SearchRunThread::Progress(int currentIndex, int total) { emit progressed(currentIndex, total); }

void SearchRunThread::Highlight(int index) { emit highlighted(index); }

void SearchRunThread::Deselect(int index) { emit deselected(index); }

void SearchRunThread::Unreadable(const std::string& path) { emit drawingUnreadable(Bytes(path)); }

void SearchRunThread::Found(const std::string& path, std::size_t) { emit drawingFound(Bytes(path)); }

void SearchRunThread::ShowReaderMessage(const std::string& text, const std::string& title) {
  if (!onReaderMessage_) return;
  const QString qtext = QString::fromStdString(text);
  const QString qtitle = QString::fromStdString(title);
  if (QThread::currentThread() == thread()) {
    onReaderMessage_(qtext, qtitle);
    return;
  }
  std::lock_guard<std::mutex> lock(messageMutex_);
  QMetaObject::invokeMethod(
      this, [this, &qtext, &qtitle] { onReaderMessage_(qtext, qtitle); },
      Qt::BlockingQueuedConnection);
}

}  // namespace dorvan::ui
