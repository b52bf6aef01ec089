// Renderer benchmark: for each drawing, the read plus a 256-pixel thumbnail (what the
// thumbnailer does before it writes the PNG) beside its peer measured in the same run, the
// read alone; medians of a few runs on one core, the file in the page cache.
//
//   render_bench [--repetitions N] [--largest N] [--table FILE] [--corpus DIR] [PATH...]
//
// PATH is a drawing or a folder of drawings (all of them); --corpus adds the N largest
// drawings found anywhere below DIR (default 4). Targets: a typical real drawing (100 to
// 300 KB) read and rendered in under 30 ms, an 8 MB drawing in under 500 ms.
#include <sched.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reader/jww_reader.h"
#include "render/drawing_painter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Drawing {
  std::string path;
  uintmax_t bytes = 0;
};

bool IsDrawingName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return extension == ".jww";
}

std::vector<Drawing> DrawingsIn(const fs::path& folder, bool recursive) {
  std::vector<Drawing> found;
  std::error_code error;
  auto add = [&](const fs::directory_entry& entry) {
    if (entry.is_regular_file(error) && IsDrawingName(entry.path()))
      found.push_back({entry.path().string(), entry.file_size(error)});
  };
  if (recursive) {
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) add(entry);
  } else {
    for (const auto& entry : fs::directory_iterator(folder, error)) add(entry);
  }
  std::sort(found.begin(), found.end(), [](const Drawing& a, const Drawing& b) { return a.path < b.path; });
  return found;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Timing {
  double readMs = 0, readAndRenderMs = 0;
  bool readable = false;
};

Timing Measure(const Drawing& drawing, int repetitions) {
  std::vector<double> reads, totals;
  Timing timing;
  dorvan::JwwReader reader;
  dorvan::JwwDrawing record;
  for (int r = 0; r < repetitions; ++r) {
    // The peer: the read alone.
    auto start = Clock::now();
    dorvan::ClearDrawing(record);
    if (reader.ReadWholeDrawing(drawing.path, record) != 0) return timing;
    reads.push_back(Milliseconds(Clock::now() - start));

    start = Clock::now();
    dorvan::ClearDrawing(record);
    reader.ReadWholeDrawing(drawing.path, record);
    const QImage thumbnail = dorvan::render::RenderPicture(record, 256);
    totals.push_back(Milliseconds(Clock::now() - start));
    if (thumbnail.isNull()) return timing;
  }
  timing.readable = true;
  timing.readMs = Median(reads);
  timing.readAndRenderMs = Median(totals);
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  int repetitions = 7, largest = 4;
  std::string table, corpus;
  std::vector<Drawing> drawings;
  const QStringList arguments = application.arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    const std::string argument = arguments[i].toStdString();
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--repetitions" && hasValue) {
      repetitions = std::max(1, arguments[++i].toInt());
    } else if (argument == "--largest" && hasValue) {
      largest = std::max(0, arguments[++i].toInt());
    } else if (argument == "--table" && hasValue) {
      table = arguments[++i].toStdString();
    } else if (argument == "--corpus" && hasValue) {
      corpus = arguments[++i].toStdString();
    } else if (fs::is_directory(argument)) {
      for (Drawing& d : DrawingsIn(argument, false)) drawings.push_back(std::move(d));
    } else if (fs::is_regular_file(argument)) {
      drawings.push_back({argument, fs::file_size(argument)});
    } else {
      std::fprintf(stderr, "render_bench: %s is neither an option, a drawing nor a folder\n", argument.c_str());
      return 2;
    }
  }
  if (!corpus.empty()) {
    std::vector<Drawing> all = DrawingsIn(corpus, true);
    std::sort(all.begin(), all.end(), [](const Drawing& a, const Drawing& b) { return a.bytes > b.bytes; });
    all.resize(std::min<std::size_t>(all.size(), static_cast<std::size_t>(largest)));
    drawings.insert(drawings.end(), all.begin(), all.end());
  }
  if (drawings.empty()) {
    std::fprintf(stderr, "render_bench: no drawings given\n");
    return 2;
  }

  // One core, as the targets are stated.
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  sched_setaffinity(0, sizeof one, &one);

  std::ostringstream out;
  out << "| drawing | KB | read ms (peer) | read + 256 px thumbnail ms | ratio | target ms | met |\n"
      << "|---|---:|---:|---:|---:|---:|---|\n";
  int missed = 0;
  for (const Drawing& drawing : drawings) {
    const Timing timing = Measure(drawing, repetitions);
    const std::string name = fs::path(drawing.path).filename().string();
    char row[512];
    if (!timing.readable) {
      std::snprintf(row, sizeof row, "| %s | %ju | unreadable | | | | |\n", name.c_str(), drawing.bytes / 1000);
    } else {
      // 30 ms for drawings up to 300 KB, 500 ms for the large ones, scaled in between.
      const double target = drawing.bytes <= 300'000 ? 30.0 : drawing.bytes >= 8'000'000 ? 500.0 : 30.0 + 470.0 * (drawing.bytes - 300'000) / 7'700'000.0;
      const bool met = timing.readAndRenderMs <= target;
      missed += met ? 0 : 1;
      std::snprintf(row, sizeof row, "| %s | %ju | %.2f | %.2f | %.1f | %.0f | %s |\n", name.c_str(), drawing.bytes / 1000,
                    timing.readMs, timing.readAndRenderMs, timing.readAndRenderMs / std::max(timing.readMs, 1e-6),
                    target, met ? "yes" : "NO");
    }
    out << row;
    std::fputs(row, stdout);
    std::fflush(stdout);
  }
  if (!table.empty()) std::ofstream(table) << out.str();
  return missed == 0 ? 0 : 1;
}
