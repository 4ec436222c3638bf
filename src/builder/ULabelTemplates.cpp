#include "builder/ULabelTemplates.h"

#include <filesystem>

#include "common/UStatus.h"

namespace {

constexpr double kInch = 25.4;

struct TSheet {
  const char* file;
  const char* description;
  const char* paper;
  double paperWidth, paperHeight;  // portrait
  bool portrait;
  double top, bottom;
  std::vector<double> columns;
  double width, height, offset;
  double areaTop, areaLeft, areaWidth, areaHeight;
  // Sized so that the address lines of nearly every label fit the printable area as they are;
  // the rest are set smaller or wrapped when printed.
  double pointSize = 10;
};

TLabelLayout Layout(const TSheet& s, TLabelUnits units) {
  TLabelLayout l;
  l.units = units;
  l.paperName = s.paper;
  l.paperWidth = s.paperWidth;
  l.paperHeight = s.paperHeight;
  l.portrait = s.portrait;
  l.marginTop = s.top;
  l.marginBottom = s.bottom;
  l.marginLeft = s.columns.front();
  const double right = s.columns.back() + s.width;
  l.marginRight = (s.portrait ? s.paperWidth : s.paperHeight) - right;
  l.columnPositions = s.columns;
  l.numColumns = static_cast<int>(s.columns.size());
  l.columnWidth = s.width;
  l.labelHeight = s.height;
  l.bottomOffset = s.offset;
  l.areaTop = s.areaTop;
  l.areaLeft = s.areaLeft;
  l.areaWidth = s.areaWidth;
  l.areaHeight = s.areaHeight;
  l.font.pointSize = s.pointSize;
  return l;
}

std::vector<double> Columns(double first, double pitch, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(first + pitch * i);
  return v;
}

}  // namespace

const std::vector<TPredefinedTemplate>& PredefinedTemplates() {
  static const std::vector<TPredefinedTemplate> templates = [] {
    const double letterW = 8.5 * kInch, letterH = 11 * kInch;
    const double envW = 4.125 * kInch, envH = 9.5 * kInch;
    // Sheets: Avery 5160 30 labels 1" x 2 5/8", 5261 20 labels 1" x 4", 5262 14 labels
    // 1 1/3" x 4" (U.S. Letter); Zweckform 3490 24 labels 70 x 36 mm, 4780 40 labels
    // 48.5 x 25.4 mm, 6023 16 labels 105 x 37 mm (A4); #10 envelopes 4 1/8" x 9 1/2" fed
    // landscape, the address block where each printer family puts it.
    const TSheet sheets[] = {
        {"av5160.cls", "Avery 5160 (1\" x 2 5/8\")", "Letter", letterW, letterH, true, 0.5 * kInch,
         0.5 * kInch, Columns(0.1875 * kInch, 2.75 * kInch, 3), 2.625 * kInch, 1 * kInch, 0, 1.5,
         3.5, 60, 22, 9},
        {"av5261.cls", "Avery 5261 (1\" x 4\")", "Letter", letterW, letterH, true, 0.5 * kInch,
         0.5 * kInch, Columns(0.15625 * kInch, 4.1875 * kInch, 2), 4 * kInch, 1 * kInch, 0, 1.5, 5,
         92, 22},
        {"av5262.cls", "Avery 5262 (1 1/3\" x 4\")", "Letter", letterW, letterH, true,
         0.8333 * kInch, 0.8333 * kInch, Columns(0.15625 * kInch, 4.1875 * kInch, 2), 4 * kInch,
         1.3333 * kInch, 0, 2, 5, 92, 30},
        {"zf3490.cls", "Zweckform 3490 (70 x 36 mm)", "A4", 210, 297, true, 4.5, 4.5,
         Columns(0, 70, 3), 70, 36, 0, 3, 5, 62, 30, 9},
        {"zf4780.cls", "Zweckform 4780 (48.5 x 25.4 mm)", "A4", 210, 297, true, 21.5, 21.5,
         Columns(8, 48.5, 4), 48.5, 25.4, 0, 1.5, 2.5, 44, 22, 7.5},
        {"zf6023.cls", "Zweckform 6023 (105 x 37 mm)", "A4", 210, 297, true, 0.5, 0.5,
         Columns(0, 105, 2), 105, 37, 0, 3, 8, 92, 31},
        {"env10dj.cls",
         "Envelope #10 (Deskjet)",
         "Envelope #10",
         envW,
         envH,
         false,
         1.75 * kInch,
         0.25 * kInch,
         {3.75 * kInch},
         5 * kInch,
         1.75 * kInch,
         0,
         0,
         0,
         5 * kInch,
         1.75 * kInch},
        {"env10lj.cls",
         "Envelope #10 (Laserjet)",
         "Envelope #10",
         envW,
         envH,
         false,
         2 * kInch,
         0.25 * kInch,
         {4 * kInch},
         5 * kInch,
         1.75 * kInch,
         0,
         0,
         0,
         5 * kInch,
         1.75 * kInch}};
    std::vector<TPredefinedTemplate> v;
    for (const TSheet& s : sheets) {
      const bool metric = s.file[0] == 'z';
      v.push_back({s.file, s.description,
                   Layout(s, metric ? TLabelUnits::Millimetres : TLabelUnits::Inches)});
    }
    return v;
  }();
  return templates;
}

void WriteLabelTemplates(const std::string& outDir) {
  const std::filesystem::path dir = std::filesystem::path(outDir) / "labels";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec)
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                            "cannot create " + dir.string() + ": " + ec.message()));
  for (const TPredefinedTemplate& t : PredefinedTemplates())
    SaveTemplateFile((dir / t.file).string(), t.layout, t.description);
}
