#include "server/config.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace dorvan::server {
namespace {

class ConfigError {
 public:
  ConfigError(std::string file, std::string& error) : file_(std::move(file)), error_(error) {}
  bool Fail(const toml::node* at, const std::string& problem) {
    if (error_.empty()) {
      error_ = file_;
      if (at != nullptr && at->source().begin.line > 0) error_ += ":" + std::to_string(at->source().begin.line);
      error_ += ": " + problem;
    }
    return false;
  }

 private:
  std::string file_;
  std::string& error_;
};

bool ValidRootName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool CheckKeys(const toml::table& table, const std::set<std::string>& known, const std::string& where,
               ConfigError& fail) {
  for (const auto& [key, node] : table) {
    if (!known.contains(std::string(key.str()))) {
      return fail.Fail(&node, "unknown key \"" + std::string(key.str()) + "\"" + where);
    }
  }
  return true;
}

bool GetString(const toml::table& table, const char* key, std::string& out, ConfigError& fail,
               bool required, const toml::node* owner) {
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    if (required) return fail.Fail(owner, std::string("missing key \"") + key + "\"");
    return true;
  }
  const auto value = node->value<std::string>();
  if (!node->is_string() || !value || value->empty()) {
    return fail.Fail(node, std::string("\"") + key + "\" must be a text that is not empty");
  }
  out = *value;
  return true;
}

bool GetInt(const toml::table& table, const char* key, int& out, int low, int high, ConfigError& fail) {
  const toml::node* node = table.get(key);
  if (node == nullptr) return true;
  const auto value = node->value<int64_t>();
  if (!node->is_integer() || !value || *value < low || *value > high) {
    return fail.Fail(node, std::string("\"") + key + "\" must be a whole number from " + std::to_string(low) +
                               " to " + std::to_string(high));
  }
  out = static_cast<int>(*value);
  return true;
}

}  // namespace

bool ServerConfig::ListensOnLoopback() const {
  if (ListenIpv6) return ListenAddress == "::1";
  return ListenAddress.rfind("127.", 0) == 0;
}

bool ParseListen(const std::string& text, ServerConfig& config) {
  std::string host;
  std::string port;
  bool ipv6 = false;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
    ipv6 = true;
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  const long number = std::strtol(port.c_str(), nullptr, 10);
  if (number > 65535) return false;
  unsigned char buffer[16];
  if (inet_pton(ipv6 ? AF_INET6 : AF_INET, host.c_str(), buffer) != 1) return false;
  config.ListenAddress = host;
  config.ListenPort = static_cast<uint16_t>(number);
  config.ListenIpv6 = ipv6;
  return true;
}

std::string DefaultServerIndexPath() {
  if (const char* cache = std::getenv("CACHE_DIRECTORY"); cache != nullptr && cache[0] == '/') {
    std::string folder(cache);
    if (const std::size_t colon = folder.find(':'); colon != std::string::npos) folder.resize(colon);
    return folder + "/index.sqlite3";
  }
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/dorvan/server-index.sqlite3";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return std::string(home) + "/.cache/dorvan/server-index.sqlite3";
  }
  return "/var/cache/dorvan/index.sqlite3";
}

std::optional<ServerConfig> ParseConfig(const std::string& text, const std::string& path, std::string& error) {
  error.clear();
  ConfigError fail(path, error);
  toml::table document;
  try {
    document = toml::parse(text, path);
  } catch (const toml::parse_error& problem) {
    error = path + ":" + std::to_string(problem.source().begin.line) + ": " + std::string(problem.description());
    return std::nullopt;
  }
  ServerConfig config;
  config.File = path;
  if (!CheckKeys(document, {"listen", "index", "web", "root", "tls", "access", "limits"}, "", fail)) {
    return std::nullopt;
  }
  std::string listen;
  if (!GetString(document, "listen", listen, fail, false, nullptr)) return std::nullopt;
  if (!listen.empty() && !ParseListen(listen, config)) {
    fail.Fail(document.get("listen"), "\"listen\" must be an address and port such as 127.0.0.1:8730 or [::1]:8730");
    return std::nullopt;
  }
  if (!GetString(document, "index", config.IndexPath, fail, false, nullptr)) return std::nullopt;
  if (!config.IndexPath.empty() && config.IndexPath[0] != '/') {
    fail.Fail(document.get("index"), "\"index\" must be an absolute path");
    return std::nullopt;
  }
  if (config.IndexPath.empty()) config.IndexPath = DefaultServerIndexPath();
  if (!GetString(document, "web", config.WebFolder, fail, false, nullptr)) return std::nullopt;

  const toml::node* roots = document.get("root");
  if (roots == nullptr) {
    fail.Fail(nullptr, "no archive folder: add a [[root]] table with name, path and shown_as");
    return std::nullopt;
  }
  if (!roots->is_array_of_tables()) {
    fail.Fail(roots, "\"root\" must be written as [[root]] tables");
    return std::nullopt;
  }
  std::set<std::string> names;
  for (const toml::node& node : *roots->as_array()) {
    const toml::table& table = *node.as_table();
    if (!CheckKeys(table, {"name", "path", "shown_as", "rescan_minutes", "users"}, " in [[root]]", fail)) {
      return std::nullopt;
    }
    RootConfig root;
    if (!GetString(table, "name", root.Name, fail, true, &node) ||
        !GetString(table, "path", root.Path, fail, true, &node) ||
        !GetString(table, "shown_as", root.ShownAs, fail, false, &node) ||
        !GetInt(table, "rescan_minutes", root.RescanMinutes, 1, 10080, fail)) {
      return std::nullopt;
    }
    if (!ValidRootName(root.Name)) {
      fail.Fail(table.get("name"), "a root's name must be 1 to 64 letters, digits, '-', '_' or '.'");
      return std::nullopt;
    }
    if (!names.insert(root.Name).second) {
      fail.Fail(table.get("name"), "two roots are named \"" + root.Name + "\"");
      return std::nullopt;
    }
    if (root.Path[0] != '/') {
      fail.Fail(table.get("path"), "a root's path must be absolute");
      return std::nullopt;
    }
    while (root.Path.size() > 1 && root.Path.back() == '/') root.Path.pop_back();
    if (root.ShownAs.empty()) root.ShownAs = root.Path;
    if (const toml::node* users = table.get("users")) {
      const toml::array* list = users->as_array();
      if (list == nullptr) {
        fail.Fail(users, "\"users\" must be a list of user names");
        return std::nullopt;
      }
      for (const toml::node& user : *list) {
        const auto name = user.value<std::string>();
        if (!user.is_string() || !name || name->empty()) {
          fail.Fail(&user, "\"users\" must be a list of user names");
          return std::nullopt;
        }
        root.Users.push_back(*name);
      }
    }
    config.Roots.push_back(std::move(root));
  }
  if (config.Roots.empty()) {
    fail.Fail(roots, "no archive folder: add a [[root]] table with name, path and shown_as");
    return std::nullopt;
  }

  if (const toml::node* tls = document.get("tls")) {
    const toml::table* table = tls->as_table();
    if (table == nullptr) {
      fail.Fail(tls, "\"tls\" must be a table");
      return std::nullopt;
    }
    if (!CheckKeys(*table, {"certificate", "key"}, " in [tls]", fail) ||
        !GetString(*table, "certificate", config.TlsCertificate, fail, true, tls) ||
        !GetString(*table, "key", config.TlsKey, fail, true, tls)) {
      return std::nullopt;
    }
  }
  if (const toml::node* access = document.get("access")) {
    const toml::table* table = access->as_table();
    if (table == nullptr) {
      fail.Fail(access, "\"access\" must be a table");
      return std::nullopt;
    }
    if (!CheckKeys(*table, {"users_file"}, " in [access]", fail) ||
        !GetString(*table, "users_file", config.UsersFile, fail, true, access)) {
      return std::nullopt;
    }
    if (!config.Tls() && !config.ListensOnLoopback()) {
      fail.Fail(access, "[access] sends passwords, so it needs [tls] unless \"listen\" is a loopback address");
      return std::nullopt;
    }
  }
  for (const RootConfig& root : config.Roots) {
    if (!root.Users.empty() && config.UsersFile.empty()) {
      fail.Fail(document.get("root"), "root \"" + root.Name + "\" names users, but there is no [access] users_file");
      return std::nullopt;
    }
  }
  if (const toml::node* limits = document.get("limits")) {
    const toml::table* table = limits->as_table();
    if (table == nullptr) {
      fail.Fail(limits, "\"limits\" must be a table");
      return std::nullopt;
    }
    Limits& limit = config.Limit;
    if (!CheckKeys(*table,
                   {"connections", "connections_per_address", "timeout_seconds", "searches", "pictures",
                    "search_seconds"},
                   " in [limits]", fail) ||
        !GetInt(*table, "connections", limit.Connections, 1, 10000, fail) ||
        !GetInt(*table, "connections_per_address", limit.ConnectionsPerAddress, 1, 10000, fail) ||
        !GetInt(*table, "timeout_seconds", limit.TimeoutSeconds, 1, 3600, fail) ||
        !GetInt(*table, "searches", limit.Searches, 1, 256, fail) ||
        !GetInt(*table, "pictures", limit.Pictures, 1, 256, fail) ||
        !GetInt(*table, "search_seconds", limit.SearchSeconds, 1, 3600, fail)) {
      return std::nullopt;
    }
  }
  return config;
}

std::optional<ServerConfig> LoadConfig(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  return ParseConfig(text.str(), path, error);
}

}  // namespace dorvan::server
