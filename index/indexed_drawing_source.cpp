#include "index/indexed_drawing_source.h"

#include <chrono>
#include <exception>
#include <utility>

#include "reader/jww_reader.h"
#include "index/stored_drawing.h"
#include "search/range_evaluation.h"
#include "search/search_range.h"
#include "search/text_normaliser.h"

namespace dorvan::index {
namespace {

// Passes the reader's messages on and keeps them for the entry.
class KeepingMessages : public ReaderMessages {
 public:
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    kept.push_back({text, title});
    if (target != nullptr) target->ShowReaderMessage(text, title);
  }
  ReaderMessages* target = nullptr;
  std::vector<StoredMessage> kept;
};

}  // namespace

// The signatures may decide when every candidate of the data range is tested for the
// normalised text's occurrence or equality (a whole text also holds itself): not for
// case-sensitive searches (compared as typed, where width folding and kana composition at
// a text's edges make the normalised form no guide) nor patterns, and only for at least
// three units, the length of a trigram.
std::u16string PrefilterText(const SearchRequest& request) {
  if (request.LowestRange() != RangeData || request.CaseSensitive) return {};
  if (RuleTest(MatchRule::A, request.WordSearch, false, request.PatternSearch) == MatchKind::Pattern) return {};
  std::u16string normalised = Normalised(request.SearchText);
  if (normalised.size() < 3) return {};
  return normalised;
}

int64_t DaysSinceEpochNow() {
  return std::chrono::duration_cast<std::chrono::days>(std::chrono::system_clock::now().time_since_epoch()).count();
}

IndexedDrawingSource::IndexedDrawingSource(std::string indexPath, ProblemHandler onProblem,
                                           IndexSourceOptions options)
    : indexPath_(std::move(indexPath)), onProblem_(std::move(onProblem)), options_(options) {}

std::optional<FileStamp> IndexedDrawingSource::CurrentStampOf(const std::string& path) const {
  if (stampLookup_) {
    if (std::optional<FileStamp> kept = stampLookup_(path)) return kept;
  }
  return StampOf(path);
}

std::string IndexedDrawingSource::KeyOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return IndexKeyOf(path);
  std::lock_guard lock(keysMutex_);
  auto known = resolvedFolders_.find(folder);
  if (known == resolvedFolders_.end()) {
    std::string resolved = folderKeyLookup_ ? folderKeyLookup_(folder) : std::string();
    if (resolved.empty()) resolved = IndexKeyOf(folder + "/.");
    if (resolved.empty() || resolved.back() != '/') resolved += '/';
    known = resolvedFolders_.emplace(folder, std::move(resolved)).first;
  }
  return known->second + name;
}

IndexedDrawingSource::~IndexedDrawingSource() { EndRun(); }

void IndexedDrawingSource::GiveUp(const IndexProblem& problem) {
  active_.store(false);
  if (problem.Failure == IndexFailure::Corrupt && database_) database_->MarkForRebuild();
  if (!told_.exchange(true) && onProblem_) onProblem_(problem);
}

void IndexedDrawingSource::BeginRun(const SearchRequest& request) {
  {
    std::lock_guard lock(indexHeadersMutex_);
    indexHeaders_.clear();
  }
  told_.store(false);
  fromIndex_.store(0);
  fromFiles_.store(0);
  prefilter_ = false;
  searchKeys_.clear();
  {
    // A folder link may point elsewhere since the last run.
    std::lock_guard lock(keysMutex_);
    resolvedFolders_.clear();
  }
  today_ = options_.Today ? options_.Today() : DaysSinceEpochNow();
  IndexProblem problem;
  if (!database_) database_ = IndexDatabase::Open(indexPath_, today_, problem, options_.OwnFile);
  if (!database_) {
    GiveUp(problem);
    return;
  }
  database_->SetToday(today_);
  active_.store(true);
  heldEntries_ = database_->HasEntries(problem);
  const std::u16string text = PrefilterText(request);
  prefilter_ = !text.empty();
  if (prefilter_) searchKeys_ = TrigramKeys(text);
}

bool IndexedDrawingSource::HeldIndexHeader(const JwwHeader& header, bool holds) {
  std::lock_guard lock(indexHeadersMutex_);
  return holds ? !indexHeaders_.insert(&header).second : (indexHeaders_.erase(&header), false);
}

void IndexedDrawingSource::EndRun() {
  {
    // The drawings of a run end with it; another may take the same place.
    std::lock_guard lock(indexHeadersMutex_);
    indexHeaders_.clear();
  }
  if (!database_) return;
  IndexProblem problem;
  if (active_.load() && !database_->Flush(problem)) GiveUp(problem);
  if (!active_.load()) {
    // A failed index is opened afresh by the next run, and what was queued is dropped.
    database_->Discard();
    database_.reset();
  }
  active_.store(false);
}

bool IndexedDrawingSource::Stats(IndexStats& stats) {
  IndexProblem problem;
  return database_ && database_->Stats(stats, problem);
}

IndexedDrawingSource::Answer IndexedDrawingSource::FromIndex(IndexDatabase::ReadingSession* session,
                                                             const std::string& key, const std::string& path,
                                                             const FileStamp& stamp,
                                                             bool wholeDrawing, JwwDrawing& out,
                                                             ReaderMessages* messages) {
  std::vector<StoredMessage> replay;
  bool readable = false;
  bool seenToday = true;
  int64_t id = 0;
  IndexProblem problem;
  std::string seenSignature;  // the lookup's views end with it
  const auto wantData = [&](std::string_view signature) {
    if (wholeEntrySeen_) seenSignature = signature;
    return !prefilter_ || SignatureMayHold(signature, searchKeys_);
  };
  const auto visit = [&](const EntryView& entry) {
    id = entry.Id;
    seenToday = entry.SeenDay >= today_;
    readable = entry.Readable;
    if (!DecodeMessages(entry.Messages, replay)) return false;
    if (!readable) return true;
    out.FileName = path;
    ClearDrawingData(out.Data);
    // A drawing whose texts cannot hold the search text needs neither them nor its
    // header: it is evaluated as not matching, which reading it would also give.
    if (wholeDrawing && entry.Data.empty()) return true;
    // A header the index filled last needs no reset: a decode sets every field it holds.
    if (!HeldIndexHeader(out.Header, true)) ResetHeaderDefaults(out.Header);
    if (!DecodeHeader(entry.Header, out.Header)) {
      HeldIndexHeader(out.Header, false);
      return false;
    }
    return !wholeDrawing || DecodeData(entry.Data, out.Data);
  };
  const IndexDatabase::Lookup lookup =
      database_->Find(session, key, wholeDrawing ? ReadKind::Whole : ReadKind::Header, stamp, wantData, visit,
                      problem);
  if (lookup == IndexDatabase::Lookup::Failed) {
    GiveUp(problem);
    return Answer::NotIndexed;
  }
  if (lookup == IndexDatabase::Lookup::Miss) return Answer::NotIndexed;
  if (!seenToday && !database_->Touch(id, problem)) GiveUp(problem);
  if (wholeDrawing && wholeEntrySeen_) wholeEntrySeen_({path, stamp, readable, !replay.empty(), seenSignature});
  if (messages != nullptr) {
    for (const StoredMessage& message : replay) messages->ShowReaderMessage(message.Text, message.Title);
  }
  fromIndex_.fetch_add(1, std::memory_order_relaxed);
  return readable ? Answer::Readable : Answer::Unreadable;
}

void IndexedDrawingSource::Remember(const std::string& key, const std::string& path, const FileStamp& stamp,
                                    bool settled,
                                    bool wholeDrawing, ReadOutcome outcome, const JwwDrawing& drawing,
                                    std::vector<StoredMessage> messages) {
  fromFiles_.fetch_add(1, std::memory_order_relaxed);
  if (!active_.load() || !settled || outcome == ReadOutcome::FileFailed) return;
  const bool readable = outcome == ReadOutcome::Readable;
  NewEntry entry;
  entry.Path = key;
  entry.Stamp = stamp;
  entry.Kind = wholeDrawing ? ReadKind::Whole : ReadKind::Header;
  entry.Readable = readable;
  try {
    EncodeMessages(messages, entry.Messages);
    if (readable) {
      EncodeHeader(drawing.Header, entry.Header);
      if (wholeDrawing) {
        EncodeData(drawing.Data, entry.Data, &entry.Signature);
      }
    }
  } catch (const std::exception&) {
    return;  // without memory for the entry the drawing is simply read again next time
  }
  if (wholeDrawing && wholeEntrySeen_) wholeEntrySeen_({path, stamp, readable, !messages.empty(), entry.Signature});
  IndexProblem problem;
  if (!database_->Store(std::move(entry), problem)) GiveUp(problem);
}

bool IndexedDrawingSource::Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                                ReaderMessages* messages) {
  return ReadOne(nullptr, path, wholeDrawing, out, messages);
}

bool IndexedDrawingSource::ReadOne(IndexDatabase::ReadingSession* session, const std::string& path,
                                   bool wholeDrawing, JwwDrawing& out, ReaderMessages* messages) {
  // A file that is gone or is no regular file is read as today and not remembered. The
  // stamp is taken before the read: a write that begins during the read changes it.
  const int64_t takenNs = NowNs();
  const std::optional<FileStamp> stamp = active_.load() ? CurrentStampOf(path) : std::nullopt;
  if (!stamp) {
    HeldIndexHeader(out.Header, false);
    return files_.Read(path, wholeDrawing, out, messages);
  }
  const std::string key = KeyOf(path);
  try {
    const Answer answer =
        heldEntries_ ? FromIndex(session, key, path, *stamp, wholeDrawing, out, messages) : Answer::NotIndexed;
    if (answer != Answer::NotIndexed) return answer == Answer::Readable;
  } catch (const std::exception&) {
    // Without memory for the entry, the file is read.
  }
  KeepingMessages keeping;
  keeping.target = messages;
  HeldIndexHeader(out.Header, false);
  const ReadOutcome outcome = files_.ReadWithOutcome(path, wholeDrawing, out, &keeping);
  Remember(key, path, *stamp, SettledWhenTaken(*stamp, takenNs, options_.QuietPeriodNs), wholeDrawing, outcome, out,
           std::move(keeping.kept));
  return outcome == ReadOutcome::Readable;
}

void IndexedDrawingSource::ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing,
                                   JwwDrawing& out, const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                                   const std::function<void(std::size_t, bool)>& each) {
  IndexProblem problem;
  std::unique_ptr<IndexDatabase::ReadingSession> session;
  if (active_.load() && heldEntries_) {
    session = database_->BeginReading(problem);
    if (!session) GiveUp(problem);
  }
  if (!active_.load()) {
    HeldIndexHeader(out.Header, false);
    files_.ReadRun(paths, wholeDrawing, out, messagesFor, each);
    return;
  }
  if (wholeDrawing) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      bool readable = false;
      try {
        readable = ReadOne(session.get(), *paths[i], true, out, messagesFor(i));
      } catch (const std::exception&) {
        // A drawing too large for memory is as unreadable as a broken one.
      }
      each(i, readable);
    }
    return;
  }
  // Headers the index answers are answered first; the others are read as one run, so the
  // reader still fetches them together.
  std::vector<std::size_t> missed;
  std::vector<std::optional<FileStamp>> stamps(paths.size());
  std::vector<bool> settled(paths.size());
  std::vector<std::string> keys(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const int64_t takenNs = NowNs();
    stamps[i] = active_.load() ? CurrentStampOf(*paths[i]) : std::nullopt;
    if (stamps[i]) {
      settled[i] = SettledWhenTaken(*stamps[i], takenNs, options_.QuietPeriodNs);
      keys[i] = KeyOf(*paths[i]);
    }
    Answer answer = Answer::NotIndexed;
    if (stamps[i] && session) {
      try {
        answer = FromIndex(session.get(), keys[i], *paths[i], *stamps[i], false, out, messagesFor(i));
      } catch (const std::exception&) {
      }
    }
    if (answer == Answer::NotIndexed) {
      missed.push_back(i);
    } else {
      each(i, answer == Answer::Readable);
    }
  }
  session.reset();
  if (missed.empty()) return;
  std::vector<const std::string*> missedPaths;
  for (std::size_t i : missed) missedPaths.push_back(paths[i]);
  std::vector<KeepingMessages> keeping(missed.size());
  HeldIndexHeader(out.Header, false);
  files_.ReadRunWithOutcomes(
      missedPaths, false, out,
      [&](std::size_t m) -> ReaderMessages* {
        keeping[m].target = messagesFor(missed[m]);
        return &keeping[m];
      },
      [&](std::size_t m, ReadOutcome outcome) {
        const std::size_t i = missed[m];
        if (stamps[i]) {
          Remember(keys[i], *paths[i], *stamps[i], settled[i], false, outcome, out, std::move(keeping[m].kept));
        }
        each(i, outcome == ReadOutcome::Readable);
      });
}

}  // namespace dorvan::index
