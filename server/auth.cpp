#include "server/auth.h"

#include <crypt.h>
#include <sys/random.h>

#include <fstream>
#include <memory>

namespace dorvan::server {
namespace {

std::optional<std::string> Crypt(const std::string& password, const std::string& setting) {
  auto data = std::make_unique<crypt_data>();
  const char* result = crypt_r(password.c_str(), setting.c_str(), data.get());
  if (result == nullptr || result[0] == '*') return std::nullopt;
  return std::string(result);
}

}  // namespace

std::optional<std::string> DecodeBase64(const std::string& text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + static_cast<std::size_t>(k)];
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        v[k] = 0;
        ++pad;
      } else if (pad > 0 || (v[k] = value(c)) < 0) {
        return std::nullopt;
      }
    }
    const uint32_t group = (static_cast<uint32_t>(v[0]) << 18) | (static_cast<uint32_t>(v[1]) << 12) |
                           (static_cast<uint32_t>(v[2]) << 6) | static_cast<uint32_t>(v[3]);
    out += static_cast<char>(group >> 16);
    if (pad < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

bool Logins::Load(const std::string& usersFile, std::string& error) {
  std::ifstream in(usersFile);
  if (!in) {
    error = usersFile + ": cannot be read";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string hash = colon == std::string::npos ? "" : line.substr(colon + 1);
    if (colon == 0 || colon == std::string::npos ||
        !(hash.rfind("$2y$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2a$", 0) == 0)) {
      error = usersFile + ":" + std::to_string(number) + ": not \"user:bcrypt hash\" (make it with htpasswd -B)";
      return false;
    }
    hashes_[line.substr(0, colon)] = hash;
  }
  unsigned char random[12];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    error = "no random numbers for the login cache";
    return false;
  }
  static constexpr char kSaltDigits[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  salt_ = "$6$rounds=5000$";
  for (unsigned char byte : random) salt_ += kSaltDigits[byte & 63];
  return true;
}

std::optional<std::string> Logins::Check(const std::string& authorization) {
  if (authorization.size() > 1024 || authorization.rfind("Basic ", 0) != 0) return std::nullopt;
  const std::optional<std::string> decoded = DecodeBase64(authorization.substr(6));
  if (!decoded) return std::nullopt;
  const std::size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string user = decoded->substr(0, colon);
  const std::string password = decoded->substr(colon + 1);
  if (password.find('\0') != std::string::npos) return std::nullopt;
  std::string hash;
  {
    std::lock_guard lock(mutex_);
    const auto found = hashes_.find(user);
    if (found == hashes_.end()) return std::nullopt;
    hash = found->second;
  }
  const std::optional<std::string> digest = Crypt(password, salt_);
  if (!digest) return std::nullopt;
  {
    std::lock_guard lock(mutex_);
    if (const auto known = verified_.find(user); known != verified_.end() && known->second == *digest) return user;
  }
  const std::optional<std::string> checked = Crypt(password, hash);
  if (!checked || *checked != hash) return std::nullopt;
  std::lock_guard lock(mutex_);
  verified_[user] = *digest;
  return user;
}

std::chrono::milliseconds Logins::FailurePause(const std::string& address) {
  std::lock_guard lock(mutex_);
  const auto found = failures_.find(address);
  if (found == failures_.end()) return std::chrono::milliseconds(0);
  if (std::chrono::steady_clock::now() - found->second.Last > std::chrono::minutes(15)) {
    failures_.erase(found);
    return std::chrono::milliseconds(0);
  }
  const int count = std::min(found->second.Count, 12);
  return std::chrono::milliseconds(std::min(250 * count * count, 5000));
}

void Logins::Failed(const std::string& address) {
  std::lock_guard lock(mutex_);
  Failures& failures = failures_[address];
  ++failures.Count;
  failures.Last = std::chrono::steady_clock::now();
  if (failures_.size() > 10000) failures_.clear();  // a flood of addresses cannot grow it without bound
}

void Logins::Succeeded(const std::string& address) {
  std::lock_guard lock(mutex_);
  failures_.erase(address);
}

}  // namespace dorvan::server
