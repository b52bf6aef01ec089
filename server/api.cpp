#include "server/api.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <list>
#include <map>
#include <set>
#include <thread>

#include "cli/cli_options.h"
#include "cli/json_output.h"
#include "index/indexed_drawing_source.h"
#include "index/stored_drawing.h"
#include "reader/unicode_text.h"
#include "search/result_report.h"
#include "search/search_items.h"
#include "search/search_range.h"
#include "search/search_request.h"
#include "search/search_run.h"
#include "server/picture.h"

namespace dorvan::server {
namespace {

using cli::JsonPath;
using cli::JsonString;

constexpr std::size_t kLongestSearchText = 1000;  // characters
constexpr int kLargestPictureSide = 4096;
constexpr int kDefaultLimit = 100;
constexpr int kLargestLimit = 1000;
constexpr auto kSlotWait = std::chrono::milliseconds(2000);
constexpr std::size_t kThumbnailCacheBytes = 64u << 20;

std::string Iso8601(int64_t ns) {
  const time_t seconds = static_cast<time_t>(ns / 1'000'000'000);
  struct tm utc {};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::size_t CodePoints(std::string_view utf8) {
  std::size_t count = 0;
  for (char c : utf8) count += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return count;
}

// One value per parameter, each of them known.
class Parameters {
 public:
  Parameters(const QueryParameters& query, std::set<std::string> known) : known_(std::move(known)) {
    for (const auto& [name, value] : query) {
      if (!error_.empty()) break;
      if (!known_.contains(name)) {
        error_ = IsValidUtf8(name) && name.size() <= 64 ? "unknown parameter \"" + name + "\"" : "unknown parameter";
      } else if (!values_.emplace(name, value).second) {
        error_ = "parameter \"" + name + "\" is given more than once";
      } else if (!IsValidUtf8(value)) {
        error_ = "parameter \"" + name + "\" is not valid UTF-8";
      }
    }
  }
  const std::string& Error() const { return error_; }
  const std::string* Get(const std::string& name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? nullptr : &found->second;
  }
  // A whole number from low to high; false with the error set.
  bool Int(const std::string& name, int low, int high, int& out) {
    const std::string* value = Get(name);
    if (value == nullptr) return true;
    if (value->empty() || value->size() > 9 || value->find_first_not_of("0123456789") != std::string::npos ||
        std::atoi(value->c_str()) < low || std::atoi(value->c_str()) > high) {
      error_ = "parameter \"" + name + "\" must be a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
      return false;
    }
    out = std::atoi(value->c_str());
    return true;
  }
  bool Flag(const std::string& name, bool& out) {
    const std::string* value = Get(name);
    if (value == nullptr) return true;
    if (*value == "1" || *value == "true") {
      out = true;
    } else if (*value == "0" || *value == "false" || value->empty()) {
      out = false;
    } else {
      error_ = "parameter \"" + name + "\" must be 1 or 0";
      return false;
    }
    return true;
  }
  void Fail(std::string error) { error_ = std::move(error); }

 private:
  std::set<std::string> known_;
  std::map<std::string, std::string> values_;
  std::string error_;
};

// A folder below a root as a request names it: relative, no "." or ".." parts.
bool ValidFolder(const std::string& folder) {
  if (folder.empty() || folder[0] == '/' || folder.find('\0') != std::string::npos || folder.find('\\') != std::string::npos) {
    return false;
  }
  std::size_t at = 0;
  while (at <= folder.size()) {
    const std::size_t slash = std::min(folder.find('/', at), folder.size());
    const std::string part = folder.substr(at, slash - at);
    if (part == "." || part == "..") return false;
    if (part.empty() && slash != folder.size()) return false;
    at = slash + 1;
  }
  return true;
}

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& items, std::string_view value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (items[i] == value) return static_cast<int>(i);
  }
  return -1;
}

// The observer of one search: the deadline and shutdown stop it, reader messages are
// kept per target.
class SearchWatch : public SearchObserver, public ReaderMessages {
 public:
  SearchWatch(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stopping)
      : deadline_(deadline), stopping_(stopping) {}
  bool CancelRequested() override {
    if (stopping_.load()) return stoppedByShutdown = true;
    if (std::chrono::steady_clock::now() > deadline_) return stoppedByDeadline = true;
    return false;
  }
  void Highlight(int index) override { current_ = index; }
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    messages[current_].push_back({title, text});
  }
  std::map<int, std::vector<std::pair<std::string, std::string>>> messages;
  bool stoppedByDeadline = false;
  bool stoppedByShutdown = false;

 private:
  const std::chrono::steady_clock::time_point deadline_;
  const std::atomic<bool>& stopping_;
  int current_ = 0;
};

class ThumbnailCache {
 public:
  bool Get(const std::string& key, std::string& png) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) return false;
    order_.splice(order_.begin(), order_, found->second.second);
    png = found->second.first;
    return true;
  }
  void Put(const std::string& key, const std::string& png) {
    std::lock_guard lock(mutex_);
    if (entries_.contains(key) || png.size() > kThumbnailCacheBytes / 4) return;
    order_.push_front(key);
    entries_.emplace(key, std::make_pair(png, order_.begin()));
    bytes_ += png.size();
    while (bytes_ > kThumbnailCacheBytes && !order_.empty()) {
      const auto last = entries_.find(order_.back());
      bytes_ -= last->second.first.size();
      entries_.erase(last);
      order_.pop_back();
    }
  }

 private:
  std::mutex mutex_;
  std::list<std::string> order_;
  std::unordered_map<std::string, std::pair<std::string, std::list<std::string>::iterator>> entries_;
  std::size_t bytes_ = 0;
};

ThumbnailCache& Thumbnails() {
  static ThumbnailCache cache;
  return cache;
}


// attachment with an ASCII name for old clients and the real one (RFC 5987).
std::string ContentDisposition(const std::string& name) {
  std::string ascii;
  for (char c : name) {
    const auto u = static_cast<uint8_t>(c);
    ascii += (u >= 0x20 && u < 0x7F && c != '"' && c != '\\') ? c : '_';
  }
  return "attachment; filename=\"" + ascii + "\"; filename*=UTF-8''" + PercentEncoded(name);
}

}  // namespace

std::string PercentEncoded(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto u = static_cast<uint8_t>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.' ||
        u == '_' || u == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    uint32_t value = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

ApiResponse ErrorResponse(int status, const std::string& message) {
  ApiResponse response;
  response.Status = status;
  response.Body = "{\"error\": " + JsonString(message) + "}";
  return response;
}

bool JobSlots::Acquire(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!freed_.wait_for(lock, wait, [this] { return free_ > 0; })) return false;
  --free_;
  return true;
}

void JobSlots::Release() {
  {
    std::lock_guard lock(mutex_);
    ++free_;
  }
  freed_.notify_one();
}

// Index sources, each used by one search at a time (a run's prefilter is the source's own).
struct Api::SourcePool {
  std::mutex mutex;
  std::vector<std::unique_ptr<index::IndexedDrawingSource>> idle;
};

std::string ShownAs(const RootConfig& root, const std::string& relative) {
  const bool windows = root.ShownAs.find('\\') != std::string::npos;
  std::string shown = root.ShownAs;
  const char separator = windows ? '\\' : '/';
  if (!shown.empty() && shown.back() != separator) shown += separator;
  for (char c : relative) shown += c == '/' ? separator : c;
  return shown;
}

// What the pages of one finished search are made from.
struct Api::FinishedSearch {
  SearchOutcome Outcome;
  // The reader's messages of each unreadable drawing, by its path.
  std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> Messages;
  std::vector<std::pair<std::size_t, std::shared_ptr<const RootList>>> Lists;
  std::string Unavailable;
  std::string Scanning;
};

// The last finished searches by request, for their next pages; all are forgotten when the
// archive's lists change, and each after a minute.
class Api::SearchCache {
 public:
  std::shared_ptr<const FinishedSearch> Get(const std::string& key, uint64_t generation) {
    std::lock_guard lock(mutex_);
    Follow(generation);
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
      if (it->Key != key) continue;
      if (std::chrono::steady_clock::now() - it->When > kLifetime || generation != generation_) {
        kept_.erase(it);
        return nullptr;
      }
      kept_.splice(kept_.begin(), kept_, it);
      return it->Search;
    }
    return nullptr;
  }
  void Put(const std::string& key, uint64_t generation, std::shared_ptr<const FinishedSearch> search) {
    std::lock_guard lock(mutex_);
    Follow(generation);
    if (generation != generation_) return;  // made from lists replaced meanwhile
    kept_.remove_if([&](const Kept& kept) { return kept.Key == key; });
    kept_.push_front({key, std::chrono::steady_clock::now(), std::move(search)});
    if (kept_.size() > kKept) kept_.pop_back();
  }

 private:
  // Eight searches of a few thousand found drawings each hold some megabytes.
  static constexpr std::size_t kKept = 8;
  static constexpr auto kLifetime = std::chrono::seconds(60);
  struct Kept {
    std::string Key;
    std::chrono::steady_clock::time_point When;
    std::shared_ptr<const FinishedSearch> Search;
  };
  void Follow(uint64_t generation) {
    if (generation <= generation_) return;
    kept_.clear();
    generation_ = generation;
  }
  std::mutex mutex_;
  uint64_t generation_ = 0;
  std::list<Kept> kept_;
};

// The real paths of the archive's folders, the index's keys: resolved once while the
// archive's lists stay as they were (a link changed in a root changes its list too),
// instead of once per search, which made every search walk each folder's path again.
class Api::FolderKeys {
 public:
  explicit FolderKeys(const Catalog& catalog) : catalog_(catalog) {}
  std::string RealFolder(const std::string& folder) {
    const uint64_t generation = catalog_.Generation();
    {
      std::lock_guard lock(mutex_);
      if (generation != generation_) {
        real_.clear();
        generation_ = generation;
      }
      if (const auto known = real_.find(folder); known != real_.end()) return known->second;
    }
    std::string real = index::IndexKeyOf(folder + "/.");
    if (real.empty() || real.back() != '/') real += '/';
    std::lock_guard lock(mutex_);
    if (generation == generation_ && real_.size() < kMostFolders) real_.emplace(folder, real);
    return real;
  }

 private:
  static constexpr std::size_t kMostFolders = 1'000'000;
  const Catalog& catalog_;
  std::mutex mutex_;
  uint64_t generation_ = 0;
  std::unordered_map<std::string, std::string> real_;
};

Api::Api(const ServerConfig& config, Catalog& catalog, const std::atomic<bool>& stopping)
    : config_(config),
      catalog_(catalog),
      stopping_(stopping),
      sources_(std::make_unique<SourcePool>()),
      searchCache_(std::make_unique<SearchCache>()),
      folderKeys_(std::make_unique<FolderKeys>(catalog)),
      searchSlots_(config.Limit.Searches),
      pictureSlots_(config.Limit.Pictures) {}

Api::~Api() = default;

bool Api::Allowed(std::size_t root, const std::string& user) const {
  const RootConfig& config = config_.Roots[root];
  if (config_.UsersFile.empty() || config.Users.empty()) return true;
  for (const std::string& allowed : config.Users) {
    if (allowed == user) return true;
  }
  return false;
}

std::string Api::DrawingJson(std::size_t root, const CatalogEntry& entry) const {
  const RootConfig& config = config_.Roots[root];
  return "{\"id\": \"" + DrawingId(config.Name, entry.Relative) + "\", \"root\": " + JsonString(config.Name) +
         ", \"path\": " + JsonPath(entry.Relative) + ", \"shown_as\": " + JsonPath(ShownAs(config, entry.Relative)) +
         ", \"size\": " + std::to_string(entry.Size) + ", \"modified\": \"" + Iso8601(entry.ModifiedNs) + "\"";
}

ApiResponse Api::Handle(const std::string& path, const QueryParameters& query, const std::string& user) {
  if (path == "/api/search") return Search(query, user);
  if (path == "/api/status") {
    if (!query.empty()) return ErrorResponse(400, "unknown parameter \"" + query.front().first + "\"");
    return Status(user);
  }
  if (path == "/api/health") return ApiResponse{200, "application/json; charset=utf-8", "{\"ok\": true}", {}, {}};
  const std::string prefix = "/api/drawing/";
  if (path.rfind(prefix, 0) == 0) {
    const std::string rest = path.substr(prefix.size());
    const std::size_t slash = rest.find('/');
    const std::string id = rest.substr(0, slash);
    const std::string what = slash == std::string::npos ? "" : rest.substr(slash + 1);
    return Drawing(id, what, query, user);
  }
  return ErrorResponse(404, "no such resource");
}

ApiResponse Api::Search(const QueryParameters& query, const std::string& user) {
  Parameters parameters(query, {"range", "text", "word", "case", "regex", "version", "size", "dpi", "root", "under",
                                "limit", "offset"});
  if (!parameters.Error().empty()) return ErrorResponse(400, parameters.Error());
  cli::CliOptions options;
  if (const std::string* range = parameters.Get("range")) {
    options.range = -1;
    for (int r = 0; r < 8; ++r) {
      if (cli::RangeName(r) == *range) options.range = r;
    }
    if (options.range < 0) {
      return ErrorResponse(400, "parameter \"range\" must be one of data|memo|version|size|layer-group|layer|line-width-base|block");
    }
  }
  if (const std::string* text = parameters.Get("text")) {
    if (CodePoints(*text) > kLongestSearchText) {
      return ErrorResponse(413, "parameter \"text\" is longer than 1000 characters");
    }
    options.text = *text;
  }
  if (!parameters.Flag("word", options.word) || !parameters.Flag("case", options.caseSensitive) ||
      !parameters.Flag("regex", options.regex)) {
    return ErrorResponse(400, parameters.Error());
  }
  if (const std::string* version = parameters.Get("version")) {
    options.versionIndex = IndexOf(kVersionItems, *version);
    if (options.versionIndex < 0) {
      return ErrorResponse(400, "parameter \"version\" must be one of 220|223|225|230|300|351|420|600|700");
    }
  }
  if (const std::string* size = parameters.Get("size")) {
    options.sizeIndex = IndexOf(kSizeItems, *size);
    if (options.sizeIndex < 0) {
      return ErrorResponse(400, "parameter \"size\" must be one of A0|A1|A2|A3|A4|2A|3A|4A|5A|10m|50m|100m");
    }
  }
  if (const std::string* dpi = parameters.Get("dpi")) {
    if (*dpi != "300" && *dpi != "600") return ErrorResponse(400, "parameter \"dpi\" must be 300 or 600");
    options.dpi = *dpi == "300" ? 300 : 600;
  }
  int limit = kDefaultLimit;
  int offset = 0;
  if (!parameters.Int("limit", 1, kLargestLimit, limit) || !parameters.Int("offset", 0, 100'000'000, offset)) {
    return ErrorResponse(400, parameters.Error());
  }
  std::vector<std::size_t> roots;
  if (const std::string* name = parameters.Get("root")) {
    for (std::size_t r = 0; r < catalog_.RootCount(); ++r) {
      if (catalog_.Root(r).Name == *name && Allowed(r, user)) roots.push_back(r);
    }
    if (roots.empty()) return ErrorResponse(400, "parameter \"root\" names no root");
  } else {
    for (std::size_t r = 0; r < catalog_.RootCount(); ++r) {
      if (Allowed(r, user)) roots.push_back(r);
    }
  }
  std::string under;
  if (const std::string* folder = parameters.Get("under")) {
    if (!ValidFolder(*folder)) {
      return ErrorResponse(400, "parameter \"under\" must be a folder below the root, without \".\" or \"..\"");
    }
    under = *folder;
    while (!under.empty() && under.back() == '/') under.pop_back();
    under += '/';
  }

  // The pages after the first are taken from the run that answered the first, while the
  // archive's lists stay as they were: paging must not run the whole search again, and the
  // pages of one search must agree. A first page always runs, so it tells the archive now.
  const uint64_t generation = catalog_.Generation();
  std::string cacheKey = user + '\0' + std::to_string(options.range) + '\0' + options.text + '\0' +
                         std::to_string(options.word) + std::to_string(options.caseSensitive) +
                         std::to_string(options.regex) + '\0' + std::to_string(options.versionIndex) + '\0' +
                         std::to_string(options.sizeIndex) + '\0' + std::to_string(options.dpi) + '\0' + under + '\0';
  // Each root's folder is looked at once: the key and the targets must agree on it.
  std::vector<bool> available;
  for (std::size_t root : roots) {
    available.push_back(catalog_.Available(root));
    cacheKey += std::to_string(root) + (available.back() ? "+" : "-");
  }
  if (offset > 0) {
    if (std::shared_ptr<const FinishedSearch> kept = searchCache_->Get(cacheKey, generation)) {
      return SearchPage(*kept, offset, limit);
    }
  }

  if (!searchSlots_.Acquire(kSlotWait)) {
    ApiResponse busy = ErrorResponse(503, "too many searches at once; try again in a moment");
    busy.Headers.emplace_back("Retry-After", "2");
    return busy;
  }
  struct Release {
    JobSlots& slots;
    bool owned = true;
    ~Release() {
      if (owned) slots.Release();
    }
  } release{searchSlots_};

  // The targets: each root's drawings in walk order, roots in the configuration's order,
  // without those whose signatures prove they cannot match (they would be found not
  // matching by the run too, so the found list and its order stay the same).
  SearchControls controls = cli::ControlsFor(options, {});
  std::vector<uint64_t> keys;
  if (Check_data(controls, true).RequestValid) {
    SearchRequest request;
    ReadRequest(controls, request, {});
    keys = index::TrigramKeys(index::PrefilterText(request));
  }
  std::optional<SignatureTable::Verdict> verdict;
  if (!keys.empty()) verdict.emplace(catalog_.Signatures().Decide(keys));
  std::vector<std::string> targets;
  std::vector<std::pair<std::size_t, std::shared_ptr<const RootList>>> lists;
  std::string unavailable = "[";
  std::string scanning = "[";
  for (std::size_t r = 0; r < roots.size(); ++r) {
    const std::size_t root = roots[r];
    const RootConfig& config = catalog_.Root(root);
    if (!available[r]) {
      unavailable += (unavailable.size() > 1 ? ", " : "") + JsonString(config.Name);
      continue;
    }
    if (catalog_.FirstScanPending(root)) scanning += (scanning.size() > 1 ? ", " : "") + JsonString(config.Name);
    std::shared_ptr<const RootList> list = catalog_.List(root);
    const std::string base = config.Path == "/" ? "/" : config.Path + "/";
    for (std::size_t i = 0; i < list->Entries.size(); ++i) {
      if (verdict && verdict->RulesOut(list->Rows[i])) continue;
      const CatalogEntry& entry = list->Entries[i];
      if (!under.empty() && entry.Relative.compare(0, under.size(), under) != 0) continue;
      targets.push_back(base + entry.Relative);
    }
    lists.emplace_back(root, std::move(list));
  }
  // A run without targets is refused: one drawing that cannot match keeps it a search.
  for (std::size_t l = 0; l < lists.size() && targets.empty() && verdict; ++l) {
    const std::string& path = catalog_.Root(lists[l].first).Path;
    for (const CatalogEntry& entry : lists[l].second->Entries) {
      if (under.empty() || entry.Relative.compare(0, under.size(), under) == 0) {
        targets.push_back((path == "/" ? "/" : path + "/") + entry.Relative);
        break;
      }
    }
  }
  unavailable += "]";
  scanning += "]";
  if (lists.empty()) {
    // Nothing searchable: say which roots are missing instead of "nothing found".
    ApiResponse missing = ErrorResponse(503, "the archive folders asked for are unavailable");
    missing.Body = "{\"error\": \"the archive folders asked for are unavailable\", \"unavailable\": " + unavailable + "}";
    missing.Headers.emplace_back("Retry-After", "30");
    return missing;
  }

  // The run has a thread of its own: a pathological pattern can hold one drawing for
  // long, and the answer must not wait for it. A run past its deadline stops at its next
  // drawing and gives its slot back then.
  struct Run {
    Run(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stopping) : watch(deadline, stopping) {}
    std::unique_ptr<index::IndexedDrawingSource> source;
    SearchWatch watch;
    SearchControls controls;
    SearchOutcome outcome;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(config_.Limit.SearchSeconds);
  auto run = std::make_shared<Run>(deadline, stopping_);
  {
    std::lock_guard lock(sources_->mutex);
    if (!sources_->idle.empty()) {
      run->source = std::move(sources_->idle.back());
      sources_->idle.pop_back();
    }
  }
  if (!run->source) run->source = std::make_unique<index::IndexedDrawingSource>(config_.IndexPath);
  // The watcher and the scans keep every drawing's stamp: a search asks the file system
  // about none of them (a drawing changed since is read again once the watcher has seen it).
  std::vector<std::pair<std::string, std::shared_ptr<const RootList>>> stampsByBase;
  for (const auto& [root, list] : lists) {
    const std::string& path = catalog_.Root(root).Path;
    stampsByBase.emplace_back(path == "/" ? "/" : path + "/", list);
  }
  run->source->SetFolderKeyLookup([this](const std::string& folder) { return folderKeys_->RealFolder(folder); });
  run->source->SetStampLookup([stampsByBase = std::move(stampsByBase)](const std::string& path) {
    for (const auto& [base, list] : stampsByBase) {
      if (path.compare(0, base.size(), base) != 0) continue;
      const auto found = list->ByRelative.find(path.substr(base.size()));
      if (found != list->ByRelative.end()) return list->Entries[found->second].Stamp;
    }
    return std::optional<index::FileStamp>();
  });
  // 100,000 targets take some megabytes: the run holds the only copy.
  controls.TargetList = std::move(targets);
  run->controls = std::move(controls);
  release.owned = false;
  std::thread([this, run] {
    RunSettings settings;
    settings.CollectMatches = true;
    // A search alone reads on two threads; searches side by side keep the cores busy
    // already, and a thread each wastes less of them on handing drawings over.
    settings.ReadThreads = runningSearches_.fetch_add(1) == 0 ? 2 : 1;
    run->outcome = Works(run->controls, *run->source, run->watch, &run->watch, settings);
    runningSearches_.fetch_sub(1);
    run->source->SetStampLookup({});  // the lists are this search's
    run->source->SetFolderKeyLookup({});
    {
      std::lock_guard lock(sources_->mutex);
      sources_->idle.push_back(std::move(run->source));
    }
    searchSlots_.Release();
    std::lock_guard lock(run->mutex);
    run->done = true;
    run->finished.notify_all();
  }).detach();
  {
    std::unique_lock lock(run->mutex);
    while (!run->done) {
      run->finished.wait_for(lock, std::chrono::milliseconds(100));
      if (run->done) break;
      if (stopping_.load()) return ErrorResponse(503, "the server is stopping");
      if (std::chrono::steady_clock::now() > deadline + std::chrono::milliseconds(500)) {
        return ErrorResponse(503, "the search took longer than " + std::to_string(config_.Limit.SearchSeconds) +
                                      " seconds and was stopped; narrow it down");
      }
    }
  }
  SearchOutcome& outcome = run->outcome;
  SearchWatch& watch = run->watch;
  if (outcome.Ending == RunEnding::Refused || outcome.Ending == RunEnding::MalformedPattern) {
    ApiResponse refused = ErrorResponse(400, outcome.Message);
    refused.Body = "{\"error\": " + JsonString(outcome.Message) + ", \"refused\": true, \"code\": 0, \"message\": " +
                   JsonString(outcome.Message) + "}";
    return refused;
  }
  if (watch.stoppedByShutdown) return ErrorResponse(503, "the server is stopping");
  if (watch.stoppedByDeadline) {
    return ErrorResponse(503, "the search took longer than " + std::to_string(config_.Limit.SearchSeconds) +
                                  " seconds and was stopped; narrow it down");
  }
  // The run is over: what its pages need is kept, the target list is not.
  auto finished = std::make_shared<FinishedSearch>();
  const std::set<std::string> unreadable(outcome.ErrorFileList.begin(), outcome.ErrorFileList.end());
  for (auto& [index, messages] : watch.messages) {
    const std::string& path = run->controls.TargetList[static_cast<std::size_t>(index)];
    if (unreadable.contains(path)) finished->Messages.emplace(path, std::move(messages));
  }
  finished->Outcome = std::move(outcome);
  finished->Lists = std::move(lists);
  finished->Unavailable = std::move(unavailable);
  finished->Scanning = std::move(scanning);
  searchCache_->Put(cacheKey, generation, finished);
  return SearchPage(*finished, offset, limit);
}

ApiResponse Api::SearchPage(const FinishedSearch& search, int offset, int limit) const {
  const SearchOutcome& outcome = search.Outcome;
  // Back from full paths to roots and entries.
  auto locate = [&](const std::string& path) -> std::optional<std::pair<std::size_t, const CatalogEntry*>> {
    for (const auto& [root, list] : search.Lists) {
      const std::string& base = catalog_.Root(root).Path;
      const std::size_t prefix = base == "/" ? 1 : base.size() + 1;
      if (path.size() <= prefix || path.compare(0, base.size(), base) != 0) continue;
      const auto found = list->ByRelative.find(path.substr(prefix));
      if (found != list->ByRelative.end()) return std::make_pair(root, &list->Entries[found->second]);
    }
    return std::nullopt;
  };
  std::string body = "{\"found\": [";
  const std::size_t total = outcome.FoundList.size();
  const std::size_t first = std::min<std::size_t>(static_cast<std::size_t>(offset), total);
  const std::size_t last = std::min<std::size_t>(first + static_cast<std::size_t>(limit), total);
  bool firstFound = true;
  for (std::size_t i = first; i < last; ++i) {
    const auto where = locate(outcome.FoundList[i]);
    if (!where) continue;
    body += firstFound ? "" : ", ";
    firstFound = false;
    body += DrawingJson(where->first, *where->second);
    const DrawingMatches none;
    const DrawingMatches& matches = i < outcome.FoundMatches.size() ? outcome.FoundMatches[i] : none;
    body += ", \"total\": " + std::to_string(matches.Total) + ", \"items\": [";
    for (std::size_t r = 0; r < matches.Records.size(); ++r) {
      if (r > 0) body += ", ";
      body += cli::MatchItemJson(matches.Records[r]);
    }
    body += "]}";
  }
  body += "], \"total\": " + std::to_string(total) + ", \"offset\": " + std::to_string(offset) +
          ", \"limit\": " + std::to_string(limit) + ", \"unreadable\": [";
  bool firstUnreadable = true;
  for (const std::string& path : outcome.ErrorFileList) {
    const auto where = locate(path);
    if (!where) continue;
    body += firstUnreadable ? "" : ", ";
    firstUnreadable = false;
    body += DrawingJson(where->first, *where->second) + ", \"messages\": [";
    if (const auto at = search.Messages.find(path); at != search.Messages.end()) {
      bool firstMessage = true;
      for (const auto& [title, text] : at->second) {
        body += firstMessage ? "" : ", ";
        firstMessage = false;
        body += "{\"title\": " + JsonString(title) + ", \"text\": " + JsonString(text) + "}";
      }
    }
    body += "]}";
  }
  // Drawings the pattern could not decide: neither found nor surely not found.
  body += "], \"undecided\": [";
  bool firstUndecided = true;
  for (const std::string& path : outcome.UndecidedList) {
    const auto where = locate(path);
    if (!where) continue;
    body += firstUndecided ? "" : ", ";
    firstUndecided = false;
    body += DrawingJson(where->first, *where->second) + "}";
  }
  body += "], \"unavailable\": " + search.Unavailable + ", \"scanning\": " + search.Scanning +
          ", \"code\": " + std::to_string(outcome.SearchResult) + ", \"message\": " + JsonString(outcome.Message) + "}";
  ApiResponse response;
  response.Body = std::move(body);
  return response;
}

ApiResponse Api::Status(const std::string& user) {
  const auto uptime =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_).count();
  std::string body = "{\"version\": \"" DORVAN_VERSION "\", \"uptime\": " + std::to_string(uptime) + ", \"roots\": [";
  bool first = true;
  for (std::size_t r = 0; r < catalog_.RootCount(); ++r) {
    if (!Allowed(r, user)) continue;
    catalog_.Available(r);
    const RootStatus status = catalog_.Status(r);
    const RootConfig& config = catalog_.Root(r);
    body += first ? "" : ", ";
    first = false;
    body += "{\"name\": " + JsonString(config.Name) + ", \"shown_as\": " + JsonPath(config.ShownAs) +
            ", \"state\": \"" + RootStateName(status.State) + "\", \"network\": " + (status.Network ? "true" : "false") +
            ", \"known\": " + std::to_string(status.Known) + ", \"indexed\": " + std::to_string(status.Indexed) +
            ", \"unreadable\": " + std::to_string(status.Unreadable) + ", \"queue\": " + std::to_string(status.Queue) +
            ", \"last_complete_scan\": " +
            (status.LastCompleteScan > 0 ? "\"" + Iso8601(status.LastCompleteScan * 1'000'000'000) + "\"" : "null") +
            "}";
  }
  body += "]}";
  ApiResponse response;
  response.Body = std::move(body);
  return response;
}

std::optional<Api::Located> Api::Locate(const std::string& id, const std::string& user) {
  if (id.size() != 32 || id.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
  for (std::size_t r = 0; r < catalog_.RootCount(); ++r) {
    if (!Allowed(r, user)) continue;
    const std::shared_ptr<const RootList> list = catalog_.List(r);
    const auto found = list->ById.find(id);
    if (found == list->ById.end()) continue;
    const CatalogEntry& entry = list->Entries[found->second];
    // A link changed since the scan to point out of the archive is not followed.
    const std::string& base = catalog_.Root(r).Path;
    char real[PATH_MAX];
    char realBase[PATH_MAX];
    const std::string full = base + "/" + entry.Relative;
    if (realpath(full.c_str(), real) == nullptr || realpath(base.c_str(), realBase) == nullptr) return std::nullopt;
    const std::string inside = std::string(realBase) == "/" ? "/" : std::string(realBase) + "/";
    if (std::string(real).rfind(inside, 0) != 0) return std::nullopt;
    return Located{r, entry};
  }
  return std::nullopt;
}

ApiResponse Api::Drawing(const std::string& id, const std::string& what, const QueryParameters& query,
                         const std::string& user) {
  const std::optional<Located> located = Locate(id, user);
  if (!located) return ErrorResponse(404, "no such drawing");
  const std::string path = catalog_.Root(located->Root).Path + "/" + located->Entry.Relative;
  const std::string gone = "the drawing cannot be read now";
  if (what.empty()) {
    if (!query.empty()) return ErrorResponse(400, "unknown parameter \"" + query.front().first + "\"");
    ApiResponse response;
    response.ContentType = "application/octet-stream";
    response.FilePath = path;
    const std::size_t slash = located->Entry.Relative.rfind('/');
    const std::string name =
        slash == std::string::npos ? located->Entry.Relative : located->Entry.Relative.substr(slash + 1);
    response.Headers.emplace_back("Content-Disposition", ContentDisposition(name));
    return response;
  }
  if (what == "info") {
    if (!query.empty()) return ErrorResponse(400, "unknown parameter \"" + query.front().first + "\"");
    ApiResponse response;
    std::string info;
    if (!pictures_.InfoJson(path, info)) return ErrorResponse(404, gone);
    response.Body = "{\"id\": \"" + id + "\", \"drawing\": " + DrawingJson(located->Root, located->Entry) + "}, " +
                    info.substr(1);
    return response;
  }
  if (what != "thumbnail" && what != "picture" && what != "export") return ErrorResponse(404, "no such resource");
  Parameters parameters(query, what == "thumbnail" ? std::set<std::string>{"size"}
                               : what == "export"  ? std::set<std::string>{"format"}
                                                   : std::set<std::string>{"width", "height", "view", "hide"});
  if (!parameters.Error().empty()) return ErrorResponse(400, parameters.Error());
  ApiResponse response;
  response.ContentType = "image/png";
  std::string bytes;
  int size = 256;
  PictureRequest picture{1200, 800, std::nullopt, {}};
  ExportKind kind = ExportKind::Png;
  std::string thumbnailKey;
  if (what == "thumbnail") {
    if (!parameters.Int("size", 16, 1024, size)) return ErrorResponse(400, parameters.Error());
    // Kept under the file's own stamp, not the catalog's: a network share's change is seen
    // by its next rescan only, and a thumbnail must not lag behind the file until then.
    const std::optional<index::FileStamp> stamp = index::StampOf(path);
    if (!stamp) return ErrorResponse(404, gone);
    thumbnailKey = id + ":" + std::to_string(size) + ":" + std::to_string(stamp->Device) + ":" +
                   std::to_string(stamp->Inode) + ":" + std::to_string(stamp->Size) + ":" +
                   std::to_string(stamp->ModifiedNs) + ":" + std::to_string(stamp->ChangedNs);
    if (Thumbnails().Get(thumbnailKey, bytes)) {
      response.Body = std::move(bytes);
      response.Headers.emplace_back("Cache-Control", "private, max-age=60");
      return response;
    }
  } else if (what == "picture") {
    if (!parameters.Int("width", 1, kLargestPictureSide, picture.Width) ||
        !parameters.Int("height", 1, kLargestPictureSide, picture.Height)) {
      return ErrorResponse(400, parameters.Error());
    }
    if (const std::string* view = parameters.Get("view")) {
      std::array<double, 4> v{};
      const char* at = view->c_str();
      bool ok = view->size() < 200;
      for (int i = 0; ok && i < 4; ++i) {
        char* end = nullptr;
        v[static_cast<std::size_t>(i)] = std::strtod(at, &end);
        ok = end != at && std::isfinite(v[static_cast<std::size_t>(i)]) && std::abs(v[static_cast<std::size_t>(i)]) < 1e9 &&
             (i == 3 ? *end == '\0' : *end == ',');
        at = end + 1;
      }
      if (!ok || v[0] == v[2] || v[1] == v[3]) {
        return ErrorResponse(400, "parameter \"view\" must be x0,y0,x1,y1: four numbers, a box that is not empty");
      }
      picture.View = v;
    }
    if (const std::string* hide = parameters.Get("hide")) {
      if (!ParseLayers(*hide, picture.Hidden)) {
        return ErrorResponse(400, "parameter \"hide\" must be layers such as 0-5,1-a,2 (group-layer in hexadecimal)");
      }
    }
  } else {
    const std::string* format = parameters.Get("format");
    if (format == nullptr || (*format != "png" && *format != "svg" && *format != "pdf")) {
      return ErrorResponse(400, "parameter \"format\" must be png, svg or pdf");
    }
    kind = *format == "png" ? ExportKind::Png : *format == "svg" ? ExportKind::Svg : ExportKind::Pdf;
    response.ContentType = *format == "png" ? "image/png" : *format == "svg" ? "image/svg+xml" : "application/pdf";
  }
  if (!pictureSlots_.Acquire(kSlotWait)) {
    ApiResponse busy = ErrorResponse(503, "too many pictures at once; try again in a moment");
    busy.Headers.emplace_back("Retry-After", "2");
    return busy;
  }
  struct Release {
    JobSlots& slots;
    ~Release() { slots.Release(); }
  } release{pictureSlots_};
  bool made = false;
  if (what == "thumbnail") {
    made = pictures_.ThumbnailPng(path, size, bytes);
    if (made) {
      Thumbnails().Put(thumbnailKey, bytes);
      response.Headers.emplace_back("Cache-Control", "private, max-age=60");
    }
  } else if (what == "picture") {
    made = pictures_.PicturePng(path, picture, bytes);
  } else {
    made = pictures_.ExportBytes(path, kind, bytes);
    if (made) {
      std::string name = located->Entry.Relative.substr(located->Entry.Relative.rfind('/') + 1);
      if (name.size() > 4) name.resize(name.size() - 4);
      response.Headers.emplace_back("Content-Disposition",
                                    ContentDisposition(name + "." + *parameters.Get("format")));
    }
  }
  if (!made) return ErrorResponse(404, gone);
  response.Body = std::move(bytes);
  return response;
}

}  // namespace dorvan::server
