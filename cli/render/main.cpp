// dorvan-render: writes a drawing as a PNG, SVG or PDF picture or as a DXF drawing. It is
// also the desktop's thumbnailer for JWW drawings (dorvan.thumbnailer).
#include <QGuiApplication>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/render/render_options.h"
#include "export/dxf_writer.h"
#include "reader/jww_reader.h"
#include "render/picture_export.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

const char* ReadFailure(int32_t result) {
  switch (result) {
    case dorvan::kMissingSignature: return "it is not a JWW drawing";
    case dorvan::kUnsupportedVersion: return "its version is not one that can be read";
    case dorvan::kUnreadableFile: return "the file cannot be opened or read";
    default: return "the drawing is damaged";
  }
}

void DropQtChatter(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "dorvan-render: %s\n", message.toLocal8Bit().constData());
}

bool IsDxfName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash + 2) || dot == 0) return false;
  std::string suffix = path.substr(dot + 1);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == "dxf";
}

// Reads the input drawing whole into the reader's record; false after printing why not.
// The reader shows no messages: the reason is printed here.
bool ReadInput(const dorvan::cli::RenderOptions& options, dorvan::JwwReader& reader) {
  dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  dorvan::ClearDrawing(drawing);
  const int32_t result = reader.ReadWholeDrawing(options.input, drawing);
  if (result == 0 && reader.GetReadError() == 0) return true;
  std::fprintf(stderr, "dorvan-render: %s: %s\n", options.input.c_str(), ReadFailure(result));
  return false;
}

// A DXF needs no fonts and so no GUI application.
int WriteDxfFile(const dorvan::cli::RenderOptions& options) {
  dorvan::JwwReader reader;
  if (!ReadInput(options, reader)) return kExitFailed;
  const dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  dorvan::dxf::DxfOptions dxfOptions;
  dxfOptions.units = options.sheet ? dorvan::dxf::DxfUnits::Sheet : dorvan::dxf::DxfUnits::RealSize;
  switch (dorvan::dxf::WriteDxf(drawing, options.output, dxfOptions)) {
    case dorvan::dxf::DxfOutcome::Written: return kExitWritten;
    case dorvan::dxf::DxfOutcome::TooLarge:
      std::fprintf(stderr, "dorvan-render: %s: the drawing has more than %lld entities, too many to write\n",
                   options.input.c_str(), static_cast<long long>(dorvan::dxf::kMaxDxfEntities));
      return kExitFailed;
    default:
      std::fprintf(stderr, "dorvan-render: %s: the file cannot be written\n", options.output.c_str());
      return kExitFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments == std::vector<std::string>{"--version"}) {
    std::puts("dorvan-render " DORVAN_VERSION);
    return kExitWritten;
  }
  const dorvan::cli::RenderOptions options = dorvan::cli::ParseRenderOptions(arguments);
  if (options.help) {
    std::fputs(dorvan::cli::RenderUsage().c_str(), stdout);
    return kExitWritten;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "dorvan-render: %s\n%s", options.error.c_str(), dorvan::cli::RenderUsage().c_str());
    return kExitBadArguments;
  }
  const std::optional<dorvan::render::PictureFormat> format = dorvan::render::FormatForPath(options.output);
  const bool dxf = IsDxfName(options.output);
  if (!format && !dxf) {
    std::fprintf(stderr, "dorvan-render: %s: the output name must end in .png, .svg, .pdf or .dxf\n",
                 options.output.c_str());
    return kExitBadArguments;
  }
  if (dxf) return WriteDxfFile(options);

  // Fonts need a GUI application, but a thumbnailer runs without a display; the platform's
  // chatter (no runtime folder and the like) would bury the one line that matters.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(DropQtChatter);
  QGuiApplication application(argc, argv);

  dorvan::JwwReader reader;
  if (!ReadInput(options, reader)) return kExitFailed;
  const dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  switch (dorvan::render::ExportPicture(drawing, options.output, *format, options.longerSide)) {
    case dorvan::render::ExportOutcome::Written: return kExitWritten;
    case dorvan::render::ExportOutcome::TooLarge:
      std::fprintf(stderr,
                   "dorvan-render: %s: the drawing has too much to draw to be written whole as SVG or PDF; "
                   "write it as PNG, which shows as much of it as can be drawn\n",
                   options.input.c_str());
      return kExitFailed;
    case dorvan::render::ExportOutcome::CannotWrite: break;
  }
  std::fprintf(stderr, "dorvan-render: %s: the file cannot be written\n", options.output.c_str());
  return kExitFailed;
}
