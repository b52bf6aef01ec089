// The server's configuration file (TOML): where it listens, where its index lives, the
// archive folders it searches and how each is shown on the office's PCs, TLS and access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvan::server {

struct RootConfig {
  std::string Name;     // how requests name the root (root=NAME)
  std::string Path;     // the folder on this machine
  std::string ShownAs;  // the prefix the office's PCs know it by, e.g. \\nas\図面
  int RescanMinutes = 10;
  std::vector<std::string> Users;  // empty: every user
};

struct Limits {
  int Connections = 64;
  int ConnectionsPerAddress = 16;
  int TimeoutSeconds = 30;
  int Searches = 4;           // searches at once; the next wait a little, then get 503
  int Pictures = 4;           // pictures at once
  int SearchSeconds = 20;     // the deadline of one search
};

struct ServerConfig {
  std::string File;           // the file it was read from
  std::string ListenAddress = "127.0.0.1";
  uint16_t ListenPort = 8730;
  bool ListenIpv6 = false;
  std::string IndexPath;
  std::string WebFolder;      // empty: the compiled-in default
  std::vector<RootConfig> Roots;
  std::string TlsCertificate; // both empty: plain HTTP
  std::string TlsKey;
  std::string UsersFile;      // empty: no login
  Limits Limit;

  bool Tls() const { return !TlsCertificate.empty(); }
  bool ListensOnLoopback() const;
};

// Reads and checks the file. On failure returns nothing and sets `error` to one line
// naming the file, the line and the problem.
std::optional<ServerConfig> LoadConfig(const std::string& path, std::string& error);
// The same over a text (for the tests), `path` naming it in errors.
std::optional<ServerConfig> ParseConfig(const std::string& text, const std::string& path, std::string& error);

// "HOST:PORT" or "[V6]:PORT" into the config; false when it is no address.
bool ParseListen(const std::string& text, ServerConfig& config);

// The index file when the configuration names none: in the service's cache folder
// ($CACHE_DIRECTORY under systemd), else the user's cache folder.
std::string DefaultServerIndexPath();

}  // namespace dorvan::server
