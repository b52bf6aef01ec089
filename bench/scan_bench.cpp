// The folder scan against find(1) over the same tree, in the same run: 100,000 files in
// 5,000 folders (half of them drawings, in both letter cases, some with kanji names).
// The tree is built once in a temporary folder before timing, so both peers read a warm
// page cache, and removed afterwards. Prints the ratio find ÷ scan (above 1: the scan is
// faster).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "files/folder_scan.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kFoldersPerTop = 100;  // the top folder itself and 99 beneath it
constexpr int kFilesPerFolder = 20;

std::string& Tree() {
  static std::string tree;
  return tree;
}

void CreateFiles(const std::string& folder) {
  static const char* const kExtensions[] = {".jww", ".JWW", ".txt", "_jww.bak"};
  for (int j = 0; j < kFilesPerFolder; ++j) {
    const std::string name =
        (j % 5 == 0 ? "図面" : "plan") + std::to_string(j) + kExtensions[j % 4];
    const int fd = open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
}

bool BuildTree() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/dorvan-scan-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  Tree() = pattern;
  for (int top = 0; top < kTopFolders; ++top) {
    const std::string topFolder = Tree() + "/Top" + std::to_string(top);
    if (mkdir(topFolder.c_str(), 0755) != 0) return false;
    CreateFiles(topFolder);
    for (int sub = 1; sub < kFoldersPerTop; ++sub) {
      const std::string folder = topFolder + "/sub" + std::to_string(sub);
      if (mkdir(folder.c_str(), 0755) != 0) return false;
      CreateFiles(folder);
    }
  }
  return true;
}

std::size_t ScanOnce() {
  dorvan::ScanState state;
  const std::atomic<bool> cancel{false};
  std::size_t found = 0;
  dorvan::ScanCallbacks callbacks;
  callbacks.OnDrawing = [&found](const std::string& path) { found += !path.empty(); };
  dorvan::ScanFolder(Tree(), true, state, cancel, callbacks);
  return found;
}

// find writes each path to a pipe; reading them all is part of its cost, as the scan's
// callback receiving each path is part of the scan's.
std::size_t FindOnce() {
  const std::string command = "find '" + Tree() + "' -iname '*jww'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  std::size_t lines = 0;
  char buffer[1 << 16];
  std::size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    for (std::size_t i = 0; i < count; ++i) lines += buffer[i] == '\n';
  }
  pclose(pipe);
  return lines;
}

constexpr std::size_t kDrawings = kTopFolders * kFoldersPerTop * kFilesPerFolder / 2;

void BM_ScanFolder(benchmark::State& state) {
  for (auto _ : state) {
    if (ScanOnce() != kDrawings) state.SkipWithError("the scan missed drawings");
  }
  state.counters["files"] = kTopFolders * kFoldersPerTop * kFilesPerFolder;
}

void BM_Find(benchmark::State& state) {
  for (auto _ : state) {
    if (FindOnce() != kDrawings) state.SkipWithError("find gave another count");
  }
}

BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// Keeps the median wall time of each benchmark for the ratio.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!BuildTree()) {
    std::cerr << "cannot build the scan tree in the temporary folder\n";
    return 1;
  }
  // One pass of each warms the page cache and the directory entry cache.
  const std::size_t scanned = ScanOnce();
  const std::size_t found = FindOnce();
  std::cout << "tree: " << Tree() << ", drawings: scan " << scanned << ", find " << found << "\n";

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double scan = reporter.medians["BM_ScanFolder"];
  const double find = reporter.medians["BM_Find"];
  if (scan > 0 && find > 0) {
    std::printf("median: scan %.1f ms, find %.1f ms; find / scan = %.2f (target: at least 1)\n", scan,
                find, find / scan);
  }
  std::error_code error;
  std::filesystem::remove_all(Tree(), error);
  benchmark::Shutdown();
  return 0;
}
