// Logins: HTTP Basic authentication against an htpasswd file of bcrypt hashes, checked
// with libcrypt. A verified password is remembered as a fast salted digest, so that the
// deliberately slow bcrypt runs once per user and password; failed logins from one
// address are slowed down.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace dorvan::server {

class Logins {
 public:
  // Reads the file; false with `error` set when it cannot be read or holds a line that is
  // not "user:$2y$..." (comments and blank lines allowed).
  bool Load(const std::string& usersFile, std::string& error);

  // The user an Authorization header value names when its password is right.
  std::optional<std::string> Check(const std::string& authorization);

  // How long to hold back the answer to a failed login from `address` (grows with the
  // failures of the last quarter hour), and the bookkeeping of outcomes.
  std::chrono::milliseconds FailurePause(const std::string& address);
  void Failed(const std::string& address);
  void Succeeded(const std::string& address);

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> hashes_;    // user -> bcrypt hash
  std::map<std::string, std::string> verified_;  // user -> digest of the password last verified
  struct Failures {
    int Count = 0;
    std::chrono::steady_clock::time_point Last{};
  };
  std::map<std::string, Failures> failures_;
  std::string salt_;
};

// Standard base64 decoded; nothing for text that is not base64.
std::optional<std::string> DecodeBase64(const std::string& text);

}  // namespace dorvan::server
