// A dorvan-server run by a test: its configuration written to a folder, the program
// started on a free loopback port, requests made over a plain socket, and the program
// stopped with SIGTERM by the test.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace dorvan::testing {

struct HttpAnswer {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// One request (HTTP/1.0, so the server closes the connection after answering).
HttpAnswer HttpGet(int port, const std::string& target, const std::string& extraHeaders = {});

// Percent-encodes a query value.
std::string UrlEncoded(const std::string& text);

class ServerProcess {
 public:
  // `configText` is written to `folder`/server.toml, with listen on 127.0.0.1:0.
  ServerProcess(const std::string& folder, const std::string& configText);
  ~ServerProcess();

  // Starts the program and waits until it listens; false when it did not.
  bool Start();
  // SIGTERM; the exit status (-1 when it had to be killed after 10 s).
  int Stop();
  // The program's standard error so far.
  std::string Log() const;
  HttpAnswer Get(const std::string& target, const std::string& extraHeaders = {}) const {
    return HttpGet(port_, target, extraHeaders);
  }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  std::string folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// Runs the program with these arguments; its exit status and standard error.
int RunServerProgram(const std::vector<std::string>& arguments, std::string& errorText);

}  // namespace dorvan::testing
