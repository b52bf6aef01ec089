// Drawing reader benchmark: whole-drawing reads (MB/s on one core) and header-only reads
// (reads per second) over more than 200 MB of generated drawings in the page cache, each
// beside its peer measured in the same run — one read() of the whole file, and one
// open + pread of the first header chunk + close — and the peak memory of a process that
// reads them all.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace dorvan;
using namespace dorvan::testing;

struct CorpusFile {
  std::string path;
  uint64_t size;
};

constexpr const char16_t* kTexts[] = {
    u"図面番号", u"１階平面図", u"S=1/100", u"有効開口 W1,690×H1,800", u"外壁：窯業系サイディング ｔ16",
    u"ﾍﾞﾗﾝﾀﾞ", u"設計者：山田太郎", u"GL+1,200", u"浴室 (ユニットバス 1616)", u"北側斜線 1.25/1",
};

// A drawing of `groups` groups of entities, each group the mix a floor plan holds: lines,
// arcs, a point, texts, a solid, a dimension and a block insertion; plus a few blocks.
JwwDrawing MakeDrawing(int32_t version, int groups, int seed) {
  DrawingRecipe recipe;
  recipe.version = version;
  recipe.memo = u"ベンチマーク用図面 " + std::u16string(1, static_cast<char16_t>(u'０' + seed % 10));
  recipe.layerGroupNames[0] = u"一般図";
  recipe.layerNames[0][0] = u"通り芯";
  recipe.layerNames[0][1] = u"壁";
  recipe.blocks = {{u"SHEET@@SfigorgFlag@@4", {u"図面枠", u"縮尺"}}, {u"WC", {u"便器"}}};
  if (version >= 700) recipe.images = {{u"site.jpg.gz", std::string(20000, 'J')}};
  JwwDrawing drawing = ToDrawing(recipe);
  EntityLists& data = drawing.Data;
  for (int g = 0; g < groups; ++g) {
    const double x = g * 10.0;
    for (int i = 0; i < 10; ++i) {
      LineEntity line;
      line.Base.PenColour = 2;
      line.StartX = x, line.StartY = i, line.EndX = x + 100, line.EndY = i * 2.0;
      AddEntity(data, line);
    }
    for (int i = 0; i < 2; ++i) {
      ArcEntity arc;
      arc.CentreX = x, arc.Radius = 450, arc.ArcAngle = 1.5707963, arc.Flatness = 1;
      AddEntity(data, arc);
    }
    PointEntity point;
    point.X = x;
    AddEntity(data, point);
    for (int i = 0; i < 3; ++i) AddEntity(data, MakeText(kTexts[(g * 3 + i + seed) % std::size(kTexts)]));
    SolidEntity solid;
    solid.Corners = {x, 0, x + 5, 0, x + 5, 5, x, 5};
    AddEntity(data, solid);
    DimensionEntity dimension;
    dimension.Line.EndX = 1820;
    dimension.Label = MakeText(u"1,820");
    AddEntity(data, dimension);
    BlockInsertEntity insert;
    insert.X = x, insert.ScaleX = insert.ScaleY = 1, insert.Number = 1 + g % 2;
    AddEntity(data, insert);
  }
  return drawing;
}

std::vector<CorpusFile> GenerateCorpus(const std::string& folder) {
  std::vector<CorpusFile> files;
  auto write = [&](const std::string& name, const JwwDrawing& drawing, StringForm form) {
    const std::string bytes = WriteDrawing(drawing, form);
    const std::string path = folder + "/" + name;
    if (!WriteBytesFile(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
    files.push_back({path, bytes.size()});
  };
  // Four large drawings of about 40 MB ...
  for (int i = 0; i < 4; ++i)
    write("large-" + std::to_string(i) + ".jww", MakeDrawing(i % 2 ? 700 : 600, 24000, i),
          i == 3 ? StringForm::Utf16 : StringForm::ShiftJis);
  // ... and 400 drawings of the size most drawings have (tens to a few hundred KB).
  const JwwDrawing small600 = MakeDrawing(600, 60, 1), small700 = MakeDrawing(700, 90, 2);
  for (int i = 0; i < 400; ++i)
    write("drawing-" + std::to_string(i) + ".jww", i % 2 ? small700 : small600,
          i % 5 == 4 ? StringForm::Utf16 : StringForm::ShiftJis);
  return files;
}

// Totals of the last run of each benchmark, for the ratios printed at the end.
struct Measured {
  double units = 0;  // bytes or reads
  double seconds = 0;
  double rate() const { return seconds > 0 ? units / seconds : 0; }
};
std::map<std::string, Measured> measured;

using Clock = std::chrono::steady_clock;

template <typename Body>
void Measure(benchmark::State& state, const std::string& name, const std::vector<CorpusFile>& files,
             bool countBytes, Body body) {
  Measured total;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (const CorpusFile& file : files) {
      body(file);
      total.units += countBytes ? static_cast<double>(file.size) : 1.0;
    }
    total.seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  measured[name] = total;
  if (countBytes) {
    state.SetBytesProcessed(static_cast<int64_t>(total.units));
  } else {
    state.counters["reads/s"] = benchmark::Counter(total.rate());
  }
}

// The peer of a whole read: the file into memory with one read() call.
void PlainRead(benchmark::State& state, const std::vector<CorpusFile>& files) {
  std::unique_ptr<uint8_t[]> buffer;
  std::size_t capacity = 0;
  Measure(state, "plain read", files, true, [&](const CorpusFile& file) {
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    ::fstat(fd, &info);
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > capacity) buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity = size);
    benchmark::DoNotOptimize(::read(fd, buffer.get(), size));
    ::close(fd);
  });
}

void WholeRead(benchmark::State& state, const std::vector<CorpusFile>& files) {
  JwwReader reader;
  Measure(state, "whole read", files, true, [&](const CorpusFile& file) {
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    if (reader.ReadWholeDrawing(file.path, drawing) != 0) state.SkipWithError("a drawing did not read");
  });
}

// The peer of a header-only read: open, one pread of the first chunk, close.
void HeaderPeer(benchmark::State& state, const std::vector<CorpusFile>& files) {
  std::vector<uint8_t> buffer(JwwReader::kFirstHeaderChunk);
  Measure(state, "open+pread+close", files, false, [&](const CorpusFile& file) {
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::pread(fd, buffer.data(), buffer.size(), 0));
    ::close(fd);
  });
}

// As the search reads headers: only the header reset before each read.
void HeaderRead(benchmark::State& state, const std::vector<CorpusFile>& files) {
  JwwReader reader;
  Measure(state, "header read", files, false, [&](const CorpusFile& file) {
    JwwDrawing& drawing = reader.CurrentDrawing();
    ResetHeaderDefaults(drawing.Header);
    reader.ReadDrawingHeader(file.path, drawing);
    if (reader.GetReadError() != 0) state.SkipWithError("a header did not read");
  });
}

long MaxRssKb() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Run in a process of its own so that generating the corpus does not count: reads every
// drawing of the folder with one reader, as a search does, and prints the peak memory
// before and after.
int MeasureMemory(const char* list) {
  std::vector<std::string> paths;
  if (FILE* in = std::fopen(list, "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, in)) {
      line[std::strcspn(line, "\n")] = 0;
      paths.emplace_back(line);
    }
    std::fclose(in);
  }
  JwwReader reader;
  JwwDrawing copy;
  ClearDrawing(copy);
  const long before = MaxRssKb();
  for (const std::string& path : paths) {
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    if (reader.ReadWholeDrawing(path, drawing) != 0) return 1;
  }
  std::printf("%ld %ld\n", before, MaxRssKb());
  return 0;
}

void PrintSummary(const std::vector<CorpusFile>& files, const std::string& folder) {
  double total = 0, largest = 0;
  for (const CorpusFile& file : files) {
    total += static_cast<double>(file.size);
    largest = std::max(largest, static_cast<double>(file.size));
  }
  const double mb = 1e6;
  const Measured plain = measured["plain read"], whole = measured["whole read"];
  const Measured peer = measured["open+pread+close"], header = measured["header read"];

  long before = 0, after = 0;
  const std::string list = folder + "/files.txt";
  if (FILE* out = std::fopen(list.c_str(), "w")) {
    for (const CorpusFile& file : files) std::fprintf(out, "%s\n", file.path.c_str());
    std::fclose(out);
  }
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return;
  const std::string command = std::string(self) + " --reader-memory=" + list;
  if (FILE* child = ::popen(command.c_str(), "r")) {
    if (std::fscanf(child, "%ld %ld", &before, &after) != 2) before = after = 0;
    ::pclose(child);
  }

  std::printf("\nDrawing reader, %zu drawings, %.0f MB (largest %.1f MB), page-cached, one core\n",
              files.size(), total / mb, largest / mb);
  std::printf("  whole read      %8.0f MB/s   plain read() peer %8.0f MB/s   ratio %.2f\n",
              whole.rate() / mb, plain.rate() / mb, plain.rate() > 0 ? whole.rate() / plain.rate() : 0);
  std::printf("  header read     %8.0f /s     open+pread+close  %8.0f /s     ratio %.2f\n", header.rate(),
              peer.rate(), peer.rate() > 0 ? header.rate() / peer.rate() : 0);
  std::printf("  peak memory     %8.1f MB before reading, %.1f MB after reading all (largest drawing %.1f MB)\n",
              static_cast<double>(before) / 1024, static_cast<double>(after) / 1024, largest / (1024 * 1024));
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--reader-memory=", 16) == 0) return MeasureMemory(argv[i] + 16);

  benchmark::Initialize(&argc, argv);
  TempFolder folder;
  std::fprintf(stderr, "writing the drawings to %s ...\n", folder.path().c_str());
  const std::vector<CorpusFile> files = GenerateCorpus(folder.path());
  std::vector<CorpusFile> headerFiles(files.begin(), files.end());

  benchmark::RegisterBenchmark("PlainRead", PlainRead, files)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
  benchmark::RegisterBenchmark("WholeRead", WholeRead, files)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
  benchmark::RegisterBenchmark("HeaderPeer", HeaderPeer, headerFiles)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
  benchmark::RegisterBenchmark("HeaderRead", HeaderRead, headerFiles)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  PrintSummary(files, folder.path());
  benchmark::Shutdown();
  return 0;
}
