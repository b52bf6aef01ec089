// For the read-back test: writes the test writer's drawings (sound and hostile) into a
// folder, then for every drawing given writes its DXF and a JSON file of what the reader
// read, in the terms a DXF reader sees (entities by kind at real size, layer names, texts,
// inserts), worked out from the record alone. The Python test reads the DXF with an
// independent reader and compares.
//
//   dxf_reference OUTDIR [DRAWING...]
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export/dxf_writer.h"
#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"

namespace {

using namespace dorvan;
using dorvan::testing::AddEntity;

std::string Json(std::u16string_view text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool Sound(double v) { return std::isfinite(v) && std::fabs(v) <= 1e9; }

class Reference {
 public:
  explicit Reference(const JwwDrawing& drawing) : d_(drawing) {}

  std::string Make() {
    Walk(d_.Data, true, "");
    std::set<std::u16string> blockNames;
    bool unique = true;
    for (std::size_t b = 1; b < d_.Data.BlockDefinitions.size(); ++b) {
      const std::u16string& name = d_.Data.BlockDefinitions[b].Name;
      unique = unique && !name.empty() && name[0] != u'*' && blockNames.insert(name).second;
      for (char16_t c : name) unique = unique && c >= 0x20 && std::u16string_view(u"<>/\\\":;?*|=`,").find(c) == std::u16string_view::npos;
    }
    std::ostringstream out;
    out << "{\"layers\": [\"0\"";
    for (const auto& [name, off] : layers_) out << ", " << Json(name);
    out << "], \"off\": [";
    bool first = true;
    for (const auto& [name, off] : layers_)
      if (off) out << (first ? "" : ", ") << Json(name), first = false;
    out << "], \"counts\": {";
    first = true;
    for (const auto& [kind, count] : counts_[""]) out << (first ? "" : ", ") << '"' << kind << "\": " << count, first = false;
    out << "}, \"blocks\": " << (unique ? "{" : "null");
    if (unique) {
      first = true;
      for (std::size_t b = 1; b < d_.Data.BlockDefinitions.size(); ++b) {
        const std::u16string& name = d_.Data.BlockDefinitions[b].Name;
        Walk(d_.Data.BlockDefinitions[b].Data, false, std::string(name.begin(), name.end()) + "#" + std::to_string(b));
        out << (first ? "" : ", ") << Json(name) << ": {";
        bool firstKind = true;
        for (const auto& [kind, count] : counts_[std::string(name.begin(), name.end()) + "#" + std::to_string(b)])
          out << (firstKind ? "" : ", ") << '"' << kind << "\": " << count, firstKind = false;
        out << "}";
        first = false;
      }
      out << "}";
    }
    out << ", \"lines\": [" << Joined(lines_) << "], \"curves\": [" << Joined(curves_) << "], \"points\": ["
        << Joined(points_) << "], \"texts\": [" << Joined(texts_) << "], \"inserts\": [" << Joined(inserts_)
        << "], \"insert_names\": " << (unique ? "true" : "false") << "}\n";
    return out.str();
  }

 private:
  static std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
  }

  double Scale(const EntityBase& base, bool top) const {
    if (!top || base.LayerGroup < 0 || base.LayerGroup >= 16) return 1.0;
    const double s = d_.Header.Groups[static_cast<std::size_t>(base.LayerGroup)].Scale;
    return std::isfinite(s) && s > 0 && s <= 1e6 ? s : 1.0;
  }

  void Layer(const EntityBase& base) {
    if (base.LayerGroup < 0 || base.LayerGroup >= 16 || base.Layer < 0 || base.Layer >= 16) return;
    const char16_t hex[] = u"0123456789ABCDEF";
    std::u16string name{hex[base.LayerGroup], u'-', hex[base.Layer]};
    std::u16string own = d_.Header.LayerNames[static_cast<std::size_t>(base.LayerGroup)][static_cast<std::size_t>(base.Layer)];
    for (char16_t& c : own)
      if (c < 0x20 || std::u16string_view(u"<>/\\\":;?*|=`,").find(c) != std::u16string_view::npos) c = u'_';
    if (!own.empty()) name += u" " + own;
    const LayerGroupSettings& group = d_.Header.Groups[static_cast<std::size_t>(base.LayerGroup)];
    layers_[name] = group.State == 0 || group.LayerState[static_cast<std::size_t>(base.Layer)] == 0;
  }

  void Line(const LineEntity& line, const EntityBase& layer, bool top, const std::string& owner) {
    if (!Sound(line.StartX) || !Sound(line.StartY) || !Sound(line.EndX) || !Sound(line.EndY)) return;
    ++counts_[owner]["LINE"];
    const double s = Scale(layer, top);
    if (top)
      lines_.push_back("[" + Number(line.StartX * s) + ", " + Number(line.StartY * s) + ", " + Number(line.EndX * s) +
                       ", " + Number(line.EndY * s) + "]");
  }

  void Text(const TextEntity& text, const EntityBase& layer, bool top, const std::string& owner) {
    if (text.Text.empty() || (text.StartX == text.EndX && text.StartY == text.EndY)) return;
    if (!Sound(text.StartX) || !Sound(text.StartY) || !Sound(text.Width) || !Sound(text.Height) ||
        !Sound(text.Spacing) || !std::isfinite(text.Angle))
      return;
    ++counts_[owner]["TEXT"];
    const double s = Scale(layer, top);
    if (top)
      texts_.push_back("[" + Json(text.Text) + ", " + Number(text.StartX * s) + ", " + Number(text.StartY * s) + ", " +
                       Number(text.Height * s) + "]");
  }

  void Walk(const EntityLists& lists, bool top, const std::string& owner) {
    for (std::size_t i = 1; i < lists.EntityOrder.size(); ++i) {
      const EntityOrderItem& item = lists.EntityOrder[i];
      const auto at = [&](const auto& items) -> decltype(&items[0]) {
        return item.Index > 0 && static_cast<std::size_t>(item.Index) < items.size() ? &items[static_cast<std::size_t>(item.Index)] : nullptr;
      };
      const EntityBase* base = nullptr;
      if (item.Kind == KindLine) {
        if (auto* e = at(lists.Lines)) Line(*e, e->Base, top, owner), base = &e->Base;
      } else if (item.Kind == KindArc) {
        if (auto* e = at(lists.Arcs)) {
          base = &e->Base;
          const bool full = e->FullCircle != 0 || std::fabs(e->ArcAngle) >= 2 * M_PI;
          if (Sound(e->CentreX) && Sound(e->CentreY) && Sound(e->Radius) && Sound(e->Flatness) &&
              std::isfinite(e->StartAngle) && std::isfinite(e->ArcAngle) && std::isfinite(e->TiltAngle) &&
              (full || e->ArcAngle != 0)) {
            const char* kind = std::fabs(e->Flatness) != 1.0 ? "ELLIPSE" : full ? "CIRCLE" : "ARC";
            const double s = Scale(e->Base, top);
            if (e->Radius == 0) {  // a point
              ++counts_[owner]["POINT"];
              if (top) points_.push_back("[" + Number(e->CentreX * s) + ", " + Number(e->CentreY * s) + "]");
              if (top) Layer(e->Base);
              continue;
            }
            ++counts_[owner][kind];
            const double major = std::fabs(e->Radius) * std::max(1.0, std::fabs(e->Flatness)) * s;
            if (top)
              curves_.push_back(std::string("[\"") + kind + "\", " + Number(e->CentreX * s) + ", " +
                                Number(e->CentreY * s) + ", " + Number(major) + "]");
          }
        }
      } else if (item.Kind == KindPoint) {
        if (auto* e = at(lists.Points); e && Sound(e->X) && Sound(e->Y)) {
          ++counts_[owner]["POINT"];
          const double s = Scale(e->Base, top);
          if (top) points_.push_back("[" + Number(e->X * s) + ", " + Number(e->Y * s) + "]");
        }
        if (auto* e = at(lists.Points)) base = &e->Base;
      } else if (item.Kind == KindText) {
        if (auto* e = at(lists.Texts)) Text(*e, e->Base, top, owner), base = &e->Base;
      } else if (item.Kind == KindSolid) {
        if (auto* e = at(lists.Solids)) {
          base = &e->Base;
          bool sound = true;
          for (double v : e->Corners) sound = sound && Sound(v);
          if (sound) ++counts_[owner]["SOLID"];
        }
      } else if (item.Kind == KindDimension) {
        if (auto* e = at(lists.Dimensions)) {
          base = &e->Base;
          Line(e->Line, e->Base, top, owner);
          for (const LineEntity* aux : {&e->AuxiliaryLine1, &e->AuxiliaryLine2})
            if (aux->StartX != aux->EndX || aux->StartY != aux->EndY) Line(*aux, e->Base, top, owner);
          Text(e->Label, e->Base, top, owner);
        }
      } else if (item.Kind == KindBlockInsert) {
        if (auto* e = at(lists.BlockInserts)) {
          base = &e->Base;
          const auto& index = d_.Data.BlockIndexByNumber;
          const bool known = e->Number >= 0 && static_cast<std::size_t>(e->Number) < index.size() &&
                             index[static_cast<std::size_t>(e->Number)] > 0;
          if (known && Sound(e->X) && Sound(e->Y) && Sound(e->ScaleX) && Sound(e->ScaleY) && std::isfinite(e->Rotation)) {
            ++counts_[owner]["INSERT"];
            const double s = Scale(e->Base, top);
            const std::u16string& name = d_.Data.BlockDefinitions[static_cast<std::size_t>(index[static_cast<std::size_t>(e->Number)])].Name;
            if (top)
              inserts_.push_back("[" + Json(name) + ", " + Number(e->X * s) + ", " + Number(e->Y * s) + ", " +
                                 Number(e->ScaleX * s) + ", " + Number(e->ScaleY * s) + ", " +
                                 Number(std::remainder(e->Rotation * 180 / M_PI, 360.0)) + "]");
          }
        }
      }
      if (top && base != nullptr) Layer(*base);
    }
  }

  const JwwDrawing& d_;
  std::map<std::u16string, bool> layers_;
  std::map<std::string, std::map<std::string, int>> counts_;
  std::vector<std::string> lines_, curves_, points_, texts_, inserts_;
};

EntityBase Pen(int16_t group, int16_t layer, int16_t colour = 2, uint8_t style = 1) {
  EntityBase base;
  base.LayerGroup = group;
  base.Layer = layer;
  base.PenColour = colour;
  base.PenStyle = style;
  return base;
}

// Every entity kind, two scales, named and hidden layers, nested and rotated inserts,
// texts that Shift-JIS cannot hold: the writer's drawing in the newer UTF-16 form.
JwwDrawing EveryKind() {
  JwwDrawing d;
  ClearDrawing(d);
  d.Header.Version = 700;
  d.Header.Groups[0].Scale = 50;
  d.Header.Groups[1].Scale = 1;
  d.Header.Groups[1].LayerState[3] = 0;
  d.Header.LayerNames[0][2] = u"壁: 外/内";
  d.Header.LayerNames[1][3] = u"寸法";
  AddEntity(d.Data, LineEntity{Pen(0, 2, 1, 2), 1.5, 2.25, 100.125, -40});
  AddEntity(d.Data, LineEntity{Pen(1, 3, 3, 5), 0, 0, 10, 10});
  AddEntity(d.Data, ArcEntity{Pen(0, 2), 10, 20, 5, 0, 2 * M_PI, 0, 1, 1});               // circle
  AddEntity(d.Data, ArcEntity{Pen(0, 2), 30, 20, 5, 0.5, 1.0, 0.25, 1, 0});               // arc
  AddEntity(d.Data, ArcEntity{Pen(0, 2), 50, 20, 8, 0.5, 2.0, 0.3, 0.5, 0});              // elliptic arc
  AddEntity(d.Data, ArcEntity{Pen(0, 2), 70, 20, 4, 1.0, -2.0, 0.1, 2.0, 0});             // flatter than tall
  AddEntity(d.Data, PointEntity{Pen(0, 2), 3, 4});
  AddEntity(d.Data, ArcEntity{Pen(0, 2), 9, 8, 0, 0, 1, 0, 0.5, 0});       // no radius: a point
  TextEntity text = dorvan::testing::MakeText(u"平面図 Ａ-1");
  text.Base = Pen(0, 2, 5);
  text.Spacing = 0.5;
  text.Angle = 30;
  AddEntity(d.Data, text);
  TextEntity wide = dorvan::testing::MakeText(u"한국어 \U00020BB7 ①\\U+0041");
  wide.Base = Pen(1, 3);
  AddEntity(d.Data, wide);
  SolidEntity solid{Pen(0, 2, 10), {0, 0, 10, 0, 10, 5, 0, 5}, 0x00336699};
  AddEntity(d.Data, solid);
  DimensionEntity dimension;
  dimension.Base = Pen(1, 3);
  dimension.Line = LineEntity{Pen(1, 3), 0, -10, 100, -10};
  dimension.Label = dorvan::testing::MakeText(u"100");
  dimension.AuxiliaryLine1 = LineEntity{Pen(1, 3), 0, 0, 0, -12};
  dimension.AuxiliaryLine2 = LineEntity{Pen(1, 3), 100, 0, 100, -12};
  AddEntity(d.Data, dimension);
  BlockDefinition inner, outer;
  inner.Number = 1;
  inner.Name = u"部品";
  AddEntity(inner.Data, LineEntity{Pen(0, 0), 0, 0, 1, 1});
  AddEntity(inner.Data, ArcEntity{Pen(0, 0), 0, 0, 1, 0, 2 * M_PI, 0, 1, 1});
  outer.Number = 2;
  outer.Name = u"組立";
  AddEntity(outer.Data, BlockInsertEntity{Pen(0, 0), 5, 5, 2, 2, 0.5, 1});
  AddEntity(outer.Data, dorvan::testing::MakeText(u"組"));
  d.Data.BlockDefinitions.push_back(inner);
  d.Data.BlockDefinitions.push_back(outer);
  d.Data.BlockIndexByNumber = {0, 1, 2};
  AddEntity(d.Data, BlockInsertEntity{Pen(0, 2), 200, 100, 1.5, -1.5, M_PI / 6, 2});
  AddEntity(d.Data, BlockInsertEntity{Pen(1, 3), -5, 7, 1, 1, 0, 1});
  return d;
}

// What no sound drawing holds: values beyond reach, blocks inside themselves, inserts of
// blocks that do not exist, texts with line breaks and escapes, names DXF forbids.
JwwDrawing Hostile() {
  JwwDrawing d;
  ClearDrawing(d);
  d.Header.Groups[2].Scale = std::nan("");
  d.Header.LayerNames[2][0] = u"\r\n0\nEOF";
  AddEntity(d.Data, LineEntity{Pen(2, 0), std::nan(""), 0, 1, 1});
  AddEntity(d.Data, LineEntity{Pen(2, 0), 1e300, 0, 1, 1});
  AddEntity(d.Data, LineEntity{Pen(2, 0), 0, 0, 1, 1});
  AddEntity(d.Data, ArcEntity{Pen(2, 0), 0, 0, 1, 0, 1, 0, 0, 0});         // flat to a line
  AddEntity(d.Data, ArcEntity{Pen(2, 0), 0, 0, -3, 1e308, 1, 0, 1, 0});    // start angle beyond reason
  AddEntity(d.Data, ArcEntity{Pen(2, 0), 5, 5, 0, 0, 1, 0, 0.5, 0});       // no radius
  AddEntity(d.Data, ArcEntity{Pen(2, 0), 5, 5, 0, 0, 1, 0, 1, 1});         // a circle of no radius
  AddEntity(d.Data, dorvan::testing::MakeText(u"line\nbreak\r\n  0\nEOF\t\\U+zz"));
  AddEntity(d.Data, BlockInsertEntity{Pen(2, 0), 0, 0, 1, 1, 0, 99});
  BlockDefinition a, b;
  a.Number = 1;
  a.Name = u"*A";
  AddEntity(a.Data, BlockInsertEntity{Pen(0, 0), 0, 0, 1, 1, 0, 2});
  b.Number = 2;
  b.Name = u"*A";
  AddEntity(b.Data, BlockInsertEntity{Pen(0, 0), 0, 0, 1, 1, 0, 1});
  AddEntity(b.Data, BlockInsertEntity{Pen(0, 0), 0, 0, 1, 1, 0, 2});
  d.Data.BlockDefinitions.push_back(a);
  d.Data.BlockDefinitions.push_back(b);
  d.Data.BlockIndexByNumber = {0, 1, 2};
  AddEntity(d.Data, BlockInsertEntity{Pen(2, 0), 1, 1, 1, 1, 0, 1});
  AddEntity(d.Data, BlockInsertEntity{Pen(2, 0), 1, 1, 0, 0, 0, 1});      // no scale
  TextEntity flat = dorvan::testing::MakeText(u"高さなし");
  flat.Height = flat.Width = 0;
  AddEntity(d.Data, flat);
  AddEntity(d.Data, SolidEntity{Pen(2, 0), {0, 0, 0, 0, 0, 0, 0, 0}, 0});  // a solid of no area
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dxf_reference OUTDIR [DRAWING...]\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  std::vector<std::string> inputs(argv + 2, argv + argc);
  const std::pair<const char*, JwwDrawing> written[] = {{"writer-every-kind.jww", EveryKind()},
                                                        {"writer-hostile.jww", Hostile()}};
  for (const auto& [name, drawing] : written) {
    const std::string path = (out / name).string();
    if (!dorvan::testing::WriteBytesFile(path, dorvan::testing::WriteDrawing(drawing, dorvan::testing::StringForm::Utf16))) {
      std::fprintf(stderr, "%s: cannot write\n", path.c_str());
      return 1;
    }
    inputs.push_back(path);
  }
  int failed = 0;
  JwwReader reader;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    if (reader.ReadWholeDrawing(inputs[i], drawing) != 0) {
      std::fprintf(stderr, "%s: not read\n", inputs[i].c_str());
      ++failed;
      continue;
    }
    const std::string stem = std::to_string(i) + "-" + std::filesystem::path(inputs[i]).stem().string();
    const std::string dxf = (out / (stem + ".dxf")).string();
    if (dorvan::dxf::WriteDxf(drawing, dxf) != dorvan::dxf::DxfOutcome::Written) {
      std::fprintf(stderr, "%s: no DXF written\n", inputs[i].c_str());
      ++failed;
      continue;
    }
    std::ofstream json(out / (stem + ".json"));
    const bool hostile = inputs[i].find("writer-hostile") != std::string::npos;
    json << "{\"source\": " << Json(std::u16string(inputs[i].begin(), inputs[i].end())) << ", \"dxf\": \"" << stem
         << ".dxf\", \"hostile\": " << (hostile ? "true" : "false") << ", \"expected\": " << Reference(drawing).Make()
         << "}\n";
  }
  return failed == 0 ? 0 : 1;
}
