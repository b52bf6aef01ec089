#include "cli/json_output.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "cli/cli_options.h"
#include "reader/unicode_text.h"
#include "search/search_range.h"

namespace dorvan::cli {
namespace {

// Length of the valid UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  std::size_t length = 0;
  uint32_t minimum = 0;
  uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, value = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

void AppendPaths(std::string& out, const std::vector<std::string>& paths) {
  out += '[';
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonPath(paths[i]);
  }
  out += ']';
}

std::string JsonText(std::u16string_view text) { return JsonString(Utf16ToUtf8(text)); }

std::string JsonNumber(double value) {
  // A file may hold any bit pattern; JSON has no form for what is not a number.
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    const uint8_t c = static_cast<uint8_t>(utf8[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(utf8, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(utf8.substr(i, length));
      i += length;
    }
  }
  out += '"';
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (left > 1) group |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    if (left > 2) group |= static_cast<uint8_t>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
    out += left > 2 ? kDigits[group & 63] : '=';
  }
  return out;
}

std::string JsonPath(std::string_view path) {
  for (std::size_t i = 0; i < path.size();) {
    if (static_cast<uint8_t>(path[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(path, i);
    if (length == 0) return "{\"bytes\": \"" + Base64(path) + "\"}";
    i += length;
  }
  return JsonString(path);
}

std::string MatchItemJson(const MatchRecord& record) {
  std::string out = "{\"range\": " + JsonString(RangeName(record.Range)) + ", \"text\": " + JsonText(record.Text);
  auto field = [&out](std::string_view name, const std::string& value) {
    out.append(", \"").append(name).append("\": ").append(value);
  };
  switch (record.Range) {
    case RangeData:
      field("block", record.InBlock ? "{\"name\": " + JsonText(record.BlockName) +
                                          ", \"number\": " + std::to_string(record.BlockNumber) + "}"
                                    : "null");
      field("layer_group", std::to_string(record.LayerGroup));
      field("layer", std::to_string(record.Layer));
      field("layer_group_name", JsonText(record.LayerGroupName));
      field("layer_name", JsonText(record.LayerName));
      field("x", JsonNumber(record.X));
      field("y", JsonNumber(record.Y));
      field("index", std::to_string(record.Index));
      break;
    case RangeMemo:
      field("line", std::to_string(record.FirstLine));
      field("last_line", std::to_string(record.LastLine));
      break;
    case RangeLayerGroupName:
      field("layer_group", std::to_string(record.LayerGroup));
      break;
    case RangeLayerName:
      field("layer_group", std::to_string(record.LayerGroup));
      field("layer", std::to_string(record.Layer));
      field("layer_group_name", JsonText(record.LayerGroupName));
      break;
    case RangeBlockName:
      field("block", "{\"name\": " + JsonText(record.BlockName) + ", \"number\": " +
                         std::to_string(record.BlockNumber) + "}");
      field("index", std::to_string(record.Index));
      break;
    default:
      field("value", std::to_string(record.Value));
  }
  out += '}';
  return out;
}

std::string ResultJson(const std::vector<std::string>& found,
                       const std::vector<std::string>& unreadable, int code,
                       std::string_view message, const std::vector<DrawingMatches>* matches,
                       bool withItems, const std::vector<std::string>& undecided) {
  std::string out = "{\"found\": ";
  AppendPaths(out, found);
  out += ", \"unreadable\": ";
  AppendPaths(out, unreadable);
  if (!undecided.empty()) {
    out += ", \"undecided\": ";
    AppendPaths(out, undecided);
  }
  out += ", \"code\": " + std::to_string(code) + ", \"message\": " + JsonString(message);
  if (matches != nullptr) {
    out += ", \"matches\": [";
    for (std::size_t i = 0; i < found.size(); ++i) {
      if (i > 0) out += ", ";
      const DrawingMatches empty;
      const DrawingMatches& drawing = i < matches->size() ? (*matches)[i] : empty;
      out += "{\"path\": " + JsonPath(found[i]) + ", \"total\": " + std::to_string(drawing.Total);
      if (withItems) {
        out += ", \"items\": [";
        for (std::size_t r = 0; r < drawing.Records.size(); ++r) {
          if (r > 0) out += ", ";
          out += MatchItemJson(drawing.Records[r]);
        }
        out += ']';
      }
      out += '}';
    }
    out += ']';
  }
  out += '}';
  return out;
}

}  // namespace dorvan::cli
