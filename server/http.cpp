#include "server/http.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace dorvan::server {

constexpr std::size_t kLongestUrl = 8 * 1024;
constexpr std::size_t kConnectionMemory = 64 * 1024;

struct HttpServer::Request {
  std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
  std::string Uri;
  std::string User = "-";
  std::string Method = "-";
  int Status = 0;
  bool HeadersSeen = false;
};

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(std::string_view text, bool plusIsSpace, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size()) return false;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (plusIsSpace && text[i] == '+') {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return true;
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return "-";
  char text[INET6_ADDRSTRLEN] = "-";
  if (info->client_addr->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr, text, sizeof text);
  } else if (info->client_addr->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(info->client_addr)->sin6_addr, text, sizeof text);
  }
  return text;
}

std::string UtcNow() {
  const time_t now = time(nullptr);
  struct tm utc {};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

bool ReadFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

}  // namespace

bool ParseQuery(std::string_view query, QueryParameters& out) {
  out.clear();
  std::size_t at = 0;
  while (at < query.size()) {
    const std::size_t amp = std::min(query.find('&', at), query.size());
    const std::string_view item = query.substr(at, amp - at);
    at = amp + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    std::string name;
    std::string value;
    if (!Unescape(item.substr(0, eq), true, name)) return false;
    if (eq != std::string_view::npos && !Unescape(item.substr(eq + 1), true, value)) return false;
    out.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

bool DecodePath(std::string_view path, std::string& out) {
  return Unescape(path, false, out) && out.find('\0') == std::string::npos;
}

std::string StaticType(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
  const std::string ext = path.substr(dot + 1);
  if (ext == "html") return "text/html; charset=utf-8";
  if (ext == "css") return "text/css; charset=utf-8";
  if (ext == "js") return "text/javascript; charset=utf-8";
  if (ext == "svg") return "image/svg+xml";
  if (ext == "png") return "image/png";
  if (ext == "json") return "application/json; charset=utf-8";
  if (ext == "ico") return "image/x-icon";
  return {};
}

struct Dispatch {
  static void* Begin(void* cls, const char* uri, MHD_Connection*) {
    auto* server = static_cast<HttpServer*>(cls);
    server->inFlight_.fetch_add(1);
    auto* request = new HttpServer::Request;
    request->Uri = uri != nullptr ? uri : "";
    return request;
  }

  static void Completed(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
    auto* server = static_cast<HttpServer*>(cls);
    auto* request = static_cast<HttpServer::Request*>(*context);
    if (request == nullptr) return;
    *context = nullptr;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - request->Start)
                        .count();
    std::string path = request->Uri.substr(0, request->Uri.find('?'));
    if (path.size() > 200) path = path.substr(0, 200) + "…";
    for (char& c : path) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    server->log_(UtcNow() + " " + ClientAddress(connection) + " " + request->User + " " + request->Method + " " + path +
                 " " + std::to_string(request->Status) + " " + std::to_string(ms) + "ms");
    delete request;
    server->inFlight_.fetch_sub(1);
  }

  static MHD_Result Send(MHD_Connection* connection, HttpServer::Request& request, const ApiResponse& answer,
                         bool api) {
    MHD_Response* response = nullptr;
    if (!answer.FilePath.empty()) {
      const int fd = open(answer.FilePath.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat info {};
      if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) close(fd);
        return Send(connection, request, ErrorResponse(404, "the drawing cannot be read now"), api);
      }
      response = MHD_create_response_from_fd64(static_cast<uint64_t>(info.st_size), fd);
    } else {
      response = MHD_create_response_from_buffer(answer.Body.size(), const_cast<char*>(answer.Body.data()),
                                                 MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, "Content-Type", answer.ContentType.c_str());
    MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    bool cacheSet = false;
    for (const auto& [name, value] : answer.Headers) {
      MHD_add_response_header(response, name.c_str(), value.c_str());
      cacheSet = cacheSet || name == "Cache-Control";
    }
    if (!cacheSet) MHD_add_response_header(response, "Cache-Control", api ? "no-store" : "no-cache");
    request.Status = answer.Status;
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.Status), response);
    MHD_destroy_response(response);
    return queued;
  }

  static MHD_Result Answer(void* cls, MHD_Connection* connection, const char* /*url*/, const char* method,
                           const char* /*version*/, const char* /*upload*/, size_t* uploadSize, void** context) {
    auto* server = static_cast<HttpServer*>(cls);
    auto* request = static_cast<HttpServer::Request*>(*context);
    if (request == nullptr) return MHD_NO;
    request->Method = method != nullptr ? method : "";
    // Answered once the whole request is in: an answer queued on the first call, with the
    // headers only, makes the connection close after it, and a browser then opens a new
    // connection for each of the page's files and requests.
    if (!request->HeadersSeen) {
      request->HeadersSeen = true;
      return MHD_YES;
    }
    if (uploadSize != nullptr && *uploadSize > 0) {
      *uploadSize = 0;  // bodies are not wanted; the answer below refuses them
      return MHD_YES;
    }
    const bool get = request->Method == "GET" || request->Method == "HEAD";
    const std::string& uri = request->Uri;
    const std::size_t question = uri.find('?');
    const std::string rawPath = uri.substr(0, question);
    const bool api = rawPath.rfind("/api/", 0) == 0;
    if (uri.size() > kLongestUrl) return Send(connection, *request, ErrorResponse(413, "the URL is longer than 8 KB"), api);
    if (!get) {
      ApiResponse refused = ErrorResponse(405, "only GET is answered: the server changes nothing");
      refused.Headers.emplace_back("Allow", "GET, HEAD");
      return Send(connection, *request, refused, api);
    }
    std::string path;
    QueryParameters query;
    if (!DecodePath(rawPath, path)) return Send(connection, *request, ErrorResponse(400, "the URL's path is malformed"), api);
    if (question != std::string::npos && !ParseQuery(std::string_view(uri).substr(question + 1), query)) {
      return Send(connection, *request, ErrorResponse(400, "the URL's query is malformed"), api);
    }
    std::string user;
    if (server->logins_ != nullptr && path != "/api/health") {
      const char* authorization = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization");
      const std::string address = ClientAddress(connection);
      std::optional<std::string> checked;
      if (authorization != nullptr) {
        checked = server->logins_->Check(authorization);
        if (!checked) {
          std::this_thread::sleep_for(server->logins_->FailurePause(address));
          server->logins_->Failed(address);
        } else {
          server->logins_->Succeeded(address);
        }
      }
      if (!checked) {
        ApiResponse refused = ErrorResponse(401, "a user name and password are needed");
        refused.Headers.emplace_back("WWW-Authenticate", "Basic realm=\"dorvan\", charset=\"UTF-8\"");
        return Send(connection, *request, refused, api);
      }
      user = *checked;
      request->User = user;
    }
    if (api) return Send(connection, *request, server->api_.Handle(path, query, user), true);
    return Send(connection, *request, server->StaticFile(path, query), false);
  }
};

HttpServer::HttpServer(const ServerConfig& config, Api& api, Logins* logins, std::string webFolder, LogLine log)
    : config_(config), api_(api), logins_(logins), webFolder_(std::move(webFolder)), log_(std::move(log)) {}

HttpServer::~HttpServer() {
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
}

ApiResponse HttpServer::StaticFile(const std::string& path, const QueryParameters& query) const {
  (void)query;
  std::string relative = path == "/" ? "/index.html" : path;
  if (relative.find("/.") != std::string::npos || relative.find('\\') != std::string::npos ||
      relative.find("//") != std::string::npos || relative.back() == '/') {
    return ErrorResponse(404, "no such file");
  }
  const std::string type = StaticType(relative);
  if (type.empty() || webFolder_.empty()) return ErrorResponse(404, "no such file");
  char real[PATH_MAX];
  char realBase[PATH_MAX];
  const std::string full = webFolder_ + relative;
  if (realpath(full.c_str(), real) == nullptr || realpath(webFolder_.c_str(), realBase) == nullptr ||
      std::string(real).rfind(std::string(realBase) + "/", 0) != 0) {
    return ErrorResponse(404, "no such file");
  }
  ApiResponse response;
  response.ContentType = type;
  response.FilePath = real;
  return response;
}

bool HttpServer::Start(std::string& error) {
  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ITC;
  sockaddr_in v4 {};
  sockaddr_in6 v6 {};
  const sockaddr* address = nullptr;
  if (config_.ListenIpv6) {
    flags |= MHD_USE_IPv6;
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(config_.ListenPort);
    inet_pton(AF_INET6, config_.ListenAddress.c_str(), &v6.sin6_addr);
    address = reinterpret_cast<const sockaddr*>(&v6);
  } else {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(config_.ListenPort);
    inet_pton(AF_INET, config_.ListenAddress.c_str(), &v4.sin_addr);
    address = reinterpret_cast<const sockaddr*>(&v4);
  }
  if (config_.Tls()) {
    if (!ReadFile(config_.TlsCertificate, certificate_)) {
      error = config_.TlsCertificate + ": cannot be read";
      return false;
    }
    if (!ReadFile(config_.TlsKey, key_)) {
      error = config_.TlsKey + ": cannot be read";
      return false;
    }
    flags |= MHD_USE_TLS;
  }
  MHD_OptionItem options[16];
  int count = 0;
  auto add = [&](MHD_OPTION option, intptr_t value, void* pointer) {
    options[count++] = MHD_OptionItem{option, value, pointer};
  };
  add(MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(address));
  add(MHD_OPTION_CONNECTION_LIMIT, config_.Limit.Connections, nullptr);
  add(MHD_OPTION_PER_IP_CONNECTION_LIMIT, config_.Limit.ConnectionsPerAddress, nullptr);
  add(MHD_OPTION_CONNECTION_TIMEOUT, config_.Limit.TimeoutSeconds, nullptr);
  add(MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr);
  add(MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Dispatch::Begin), this);
  add(MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Dispatch::Completed), this);
  if (config_.Tls()) {
    add(MHD_OPTION_HTTPS_MEM_CERT, 0, certificate_.data());
    add(MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data());
  }
  add(MHD_OPTION_END, 0, nullptr);
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Dispatch::Answer, this, MHD_OPTION_ARRAY, options,
                             MHD_OPTION_END);
  if (daemon_ == nullptr) {
    error = "cannot listen on " + config_.ListenAddress + ":" + std::to_string(config_.ListenPort) +
            " (in use, not this machine's address, or a TLS certificate and key that do not fit)";
    return false;
  }
  return true;
}

uint16_t HttpServer::Port() const {
  const MHD_DaemonInfo* info = daemon_ != nullptr ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  return info != nullptr ? info->port : 0;
}

void HttpServer::Stop(int waitMs, const std::function<void()>& beforeClosing) {
  if (daemon_ == nullptr) return;
  const MHD_socket listening = MHD_quiesce_daemon(daemon_);
  if (listening != MHD_INVALID_SOCKET) close(listening);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (inFlight_.load() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (beforeClosing) beforeClosing();
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

}  // namespace dorvan::server
