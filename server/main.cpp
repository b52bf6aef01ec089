// dorvan-server: one index of an office's drawing archive, kept fresh by itself, searched
// over HTTP by everyone. A front end like the window and dorvan-search: request parsing,
// limits and JSON here, every rule of the search in the core.
#include <QGuiApplication>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "server/api.h"
#include "server/auth.h"
#include "server/catalog.h"
#include "server/config.h"
#include "server/http.h"

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadConfiguration = 2;
constexpr int kShutdownWaitMs = 5000;

const char kUsage[] = R"(Usage: dorvan-server [--config FILE] [--web FOLDER]
Search an office's JWW drawing archive over HTTP: one index beside the archive, kept
fresh by itself (inotify on local folders, rescans on network shares), answering the
JSON interface and serving the browser page.

  --config FILE   the configuration (default /etc/dorvan/server.toml)
  --web FOLDER    the browser page's files (default: the "web" key, else the
                  installed /usr/share/dorvan/web)
  --help          show this text
  --version       show the version

The interface: GET /api/search, /api/status, /api/health, /api/drawing/ID (and
/info, /thumbnail, /picture, /export below it). See dorvan-server(1).
Exit status: 0 stopped by SIGTERM or SIGINT, 1 could not start, 2 bad configuration
or command line.
)";

std::mutex logMutex;

void Log(const std::string& line) {
  std::lock_guard lock(logMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The page of the source tree for a program run from its build folder (an installed
// package's page may be older), else the installed one.
std::string WebFolder(const std::string& option, const std::string& configured) {
  if (!option.empty()) return option;
  if (!configured.empty()) return configured;
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string program = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
  const std::string build = DORVAN_BUILD_DIR "/";
  if (program.rfind(build, 0) == 0 && IsFolder(DORVAN_SOURCE_WEB_DIR)) return DORVAN_SOURCE_WEB_DIR;
  return DORVAN_INSTALLED_WEB_DIR;
}

void DropQtChatter(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) Log("dorvan-server: " + message.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
  std::string configPath = "/etc/dorvan/server.toml";
  std::string web;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const std::string& name, std::string& out) {
      if (arg == name && i + 1 < argc) {
        out = argv[++i];
        return true;
      }
      if (arg.rfind(name + "=", 0) == 0) {
        out = arg.substr(name.size() + 1);
        return true;
      }
      return false;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitStopped;
    }
    if (arg == "--version") {
      std::puts("dorvan-server " DORVAN_VERSION);
      return kExitStopped;
    }
    if (value("--config", configPath) || value("--web", web)) continue;
    std::fprintf(stderr, "dorvan-server: unknown option %s\nTry 'dorvan-server --help'.\n", arg.c_str());
    return kExitBadConfiguration;
  }

  std::string error;
  const std::optional<dorvan::server::ServerConfig> loaded = dorvan::server::LoadConfig(configPath, error);
  if (!loaded) {
    Log("dorvan-server: " + error);
    return kExitBadConfiguration;
  }
  const dorvan::server::ServerConfig& config = *loaded;
  std::unique_ptr<dorvan::server::Logins> logins;
  if (!config.UsersFile.empty()) {
    logins = std::make_unique<dorvan::server::Logins>();
    if (!logins->Load(config.UsersFile, error)) {
      Log("dorvan-server: " + error);
      return kExitBadConfiguration;
    }
  }

  // The stopSignals are taken by the main thread alone: every thread made from here on has
  // them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Large drawings' blocks go back to the system when freed, and the many connection and
  // search threads share a few heaps instead of keeping one each.
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
  mallopt(M_ARENA_MAX, 4);

  // The pictures' texts need fonts, and fonts a GUI application; there is no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(DropQtChatter);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  std::atomic<bool> stopping{false};
  dorvan::server::Catalog catalog(config, Log);
  dorvan::server::Api api(config, catalog, stopping);
  dorvan::server::HttpServer http(config, api, logins.get(), WebFolder(web, config.WebFolder), Log);
  if (!http.Start(error)) {
    Log("dorvan-server: " + error);
    return kExitFailed;
  }
  catalog.Start();
  const std::string host = config.ListenIpv6 ? "[" + config.ListenAddress + "]" : config.ListenAddress;
  Log("dorvan-server: listening on " + std::string(config.Tls() ? "https" : "http") + "://" + host + ":" +
      std::to_string(http.Port()) + " (" + std::to_string(config.Roots.size()) + " roots, index " + config.IndexPath +
      ")");

  int received = 0;
  sigwait(&stopSignals, &received);
  Log("dorvan-server: stopping");
  // Requests in flight may finish (5 s at most); searches still running then are stopped.
  http.Stop(kShutdownWaitMs, [&] { stopping.store(true); });
  catalog.Stop();
  Log("dorvan-server: stopped");
  // A search stopped at its deadline may still be finishing its drawing on a thread of
  // its own; the program ends without waiting for it (what it would still add to the
  // index is only a cache, and SQLite keeps the file whole whenever a process ends).
  std::fflush(nullptr);
  _exit(kExitStopped);
}
