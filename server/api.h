// The JSON interface, apart from HTTP: each request as a path, its query parameters and
// the user, each answer as a status, a content type and a body. The HTTP layer only
// carries them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server/catalog.h"
#include "server/config.h"
#include "server/picture.h"

namespace dorvan::index {
class IndexedDrawingSource;
}

namespace dorvan::server {

using QueryParameters = std::vector<std::pair<std::string, std::string>>;

struct ApiResponse {
  int Status = 200;
  std::string ContentType = "application/json; charset=utf-8";
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string FilePath;  // when set, the body is this file's contents (a drawing)
};

// {"error": "..."} with `status`.
ApiResponse ErrorResponse(int status, const std::string& message);

// True when `text` is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// A bounded number of jobs at once; a job that cannot start within the wait is refused.
class JobSlots {
 public:
  explicit JobSlots(int slots) : free_(slots) {}
  bool Acquire(std::chrono::milliseconds wait);
  void Release();

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
};

class Api {
 public:
  Api(const ServerConfig& config, Catalog& catalog, const std::atomic<bool>& stopping);
  ~Api();

  // `user` is empty without [access]. `path` is the URL path, undecoded parts refused.
  ApiResponse Handle(const std::string& path, const QueryParameters& query, const std::string& user);

  ApiResponse Search(const QueryParameters& query, const std::string& user);
  ApiResponse Status(const std::string& user);
  ApiResponse Drawing(const std::string& id, const std::string& what, const QueryParameters& query,
                      const std::string& user);

  // Whether `user` may see root `root` (always without [access]).
  bool Allowed(std::size_t root, const std::string& user) const;

 private:
  struct SourcePool;
  struct FinishedSearch;
  class SearchCache;
  class FolderKeys;
  ApiResponse SearchPage(const FinishedSearch& search, int offset, int limit) const;
  struct Located {
    std::size_t Root = 0;
    CatalogEntry Entry;
  };
  // The drawing an id names now, for this user; nothing when there is none.
  std::optional<Located> Locate(const std::string& id, const std::string& user);
  std::string DrawingJson(std::size_t root, const CatalogEntry& entry) const;

  const ServerConfig& config_;
  Catalog& catalog_;
  const std::atomic<bool>& stopping_;
  std::unique_ptr<SourcePool> sources_;
  std::unique_ptr<SearchCache> searchCache_;
  std::unique_ptr<FolderKeys> folderKeys_;
  JobSlots searchSlots_;
  std::atomic<int> runningSearches_{0};
  JobSlots pictureSlots_;
  PictureMaker pictures_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// `bytes` with every byte but letters, digits and "-._~" as %XX (RFC 3986).
std::string PercentEncoded(std::string_view bytes);

// The Windows path a PC knows a drawing by: the root's shown_as and the relative path,
// with backslashes when shown_as has any.
std::string ShownAs(const RootConfig& root, const std::string& relative);

}  // namespace dorvan::server
