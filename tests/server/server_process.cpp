#include "tests/server/server_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "server/api.h"

namespace dorvan::testing {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

HttpAnswer HttpGet(int port, const std::string& target, const std::string& extraHeaders) {
  HttpAnswer answer;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return answer;
  }
  const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string raw;
  char buffer[65536];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    raw.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const std::size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return answer;
  answer.status = std::stoi(raw.substr(9, 3));
  std::istringstream lines(raw.substr(0, end));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    answer.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
  }
  answer.body = raw.substr(end + 4);
  return answer;
}

std::string UrlEncoded(const std::string& text) { return server::PercentEncoded(text); }

ServerProcess::ServerProcess(const std::string& folder, const std::string& configText) : folder_(folder) {
  std::ofstream(folder_ + "/server.toml") << "listen = \"127.0.0.1:0\"\n" << configText;
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) Stop();
}

bool ServerProcess::Start() {
  const std::string log = folder_ + "/server.log";
  std::ofstream(log, std::ios::app) << "";
  pid_ = fork();
  if (pid_ == 0) {
    freopen(log.c_str(), "a", stderr);
    execl(DORVAN_SERVER_PROGRAM, "dorvan-server", "--config", (folder_ + "/server.toml").c_str(), "--web",
          (folder_ + "/web").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::size_t before = ReadAll(log).size();
  for (int i = 0; i < 500; ++i) {
    const std::string text = ReadAll(log).substr(before);
    const std::size_t at = text.find("listening on http://127.0.0.1:");
    if (at != std::string::npos) {
      port_ = std::stoi(text.substr(at + 30));
      return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

std::string ServerProcess::Log() const { return ReadAll(folder_ + "/server.log"); }

int RunServerProgram(const std::vector<std::string>& arguments, std::string& errorText) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[0]);
    std::vector<char*> argv{const_cast<char*>("dorvan-server")};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(DORVAN_SERVER_PROGRAM, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buffer[4096];
  errorText.clear();
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) errorText.append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dorvan::testing
