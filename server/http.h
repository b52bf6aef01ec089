// The HTTP layer: libmicrohttpd with its limits, one thread per connection (a search may
// block its handler for seconds), the security headers on every answer, logins, the
// browser page's static files, and one log line per request.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/api.h"
#include "server/auth.h"
#include "server/config.h"

struct MHD_Daemon;

namespace dorvan::server {

class HttpServer {
 public:
  // `logins` is null without [access]; `webFolder` holds the browser page.
  HttpServer(const ServerConfig& config, Api& api, Logins* logins, std::string webFolder, LogLine log);
  ~HttpServer();

  // Binds and starts answering; false with `error` set.
  bool Start(std::string& error);
  // The port it listens on (the chosen one when the configuration said 0).
  uint16_t Port() const;
  // Stops taking new connections, waits up to `waitMs` for the requests in flight to end,
  // then closes everything.
  void Stop(int waitMs, const std::function<void()>& beforeClosing);

  struct Request;

 private:
  friend struct Dispatch;
  ApiResponse StaticFile(const std::string& path, const QueryParameters& query) const;
  const ServerConfig& config_;
  Api& api_;
  Logins* logins_;
  const std::string webFolder_;
  const LogLine log_;
  std::string certificate_;
  std::string key_;
  MHD_Daemon* daemon_ = nullptr;
  std::atomic<int> inFlight_{0};
};

// Splits and decodes a query string ("a=1&b=%E5"); false for a malformed escape.
bool ParseQuery(std::string_view query, QueryParameters& out);
// Decodes %XX escapes of a URL path; false for a malformed one or an encoded NUL.
bool DecodePath(std::string_view path, std::string& out);
// The content type of a static file by its extension; empty for types not served.
std::string StaticType(const std::string& path);

}  // namespace dorvan::server
