#include "labels/ULabelLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/IOUtil.h"

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kEps = 1e-6;
constexpr size_t kMaxColumns = 100;
constexpr int kMaxRows = 1000;
constexpr double kMinLabelSize = 1;  // mm

using nlohmann::json;

template <class T>
void Get(const json& j, const char* key, T& value) {
  if (const auto it = j.find(key); it != j.end()) value = it->get<T>();
}

// A whole number limited to lo..hi; a fraction or a number past every int is damage (a plain
// get<int> of 1e20 is undefined).
void GetInt(const json& j, const char* key, int& value, int lo, int hi) {
  double v = value;
  Get(j, key, v);
  if (!std::isfinite(v) || v != std::floor(v)) throw std::runtime_error(key);
  value = static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

void GetLength(const json& j, const char* key, double& value) {
  double v = value;
  Get(j, key, v);
  if (!std::isfinite(v) || std::fabs(v) > 10000) throw std::runtime_error(key);
  value = v;
}

}  // namespace

double ToUnits(double mm, TLabelUnits units) {
  return units == TLabelUnits::Inches ? mm / kMmPerInch : mm;
}
double FromUnits(double value, TLabelUnits units) {
  return units == TLabelUnits::Inches ? value * kMmPerInch : value;
}

std::string FormatLength(double mm, TLabelUnits units) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", ToUnits(mm, units));
  return buf;
}

double LayoutPaperWidth(const TLabelLayout& l) { return l.portrait ? l.paperWidth : l.paperHeight; }
double LayoutPaperHeight(const TLabelLayout& l) {
  return l.portrait ? l.paperHeight : l.paperWidth;
}

std::vector<double> ColumnLefts(const TLabelLayout& l) {
  const size_t n = static_cast<size_t>(std::clamp(l.numColumns, 1, static_cast<int>(kMaxColumns)));
  std::vector<double> lefts(
      l.columnPositions.begin(),
      l.columnPositions.begin() + static_cast<long>(std::min(n, l.columnPositions.size())));
  while (lefts.size() < n)
    lefts.push_back(lefts.empty() ? l.marginLeft : lefts.back() + l.columnWidth);
  return lefts;
}

int RowsPerPage(const TLabelLayout& l) {
  const double room = LayoutPaperHeight(l) - l.marginTop - l.marginBottom;
  const double pitch = l.labelHeight + l.bottomOffset;
  if (!(pitch > 0) || !(l.labelHeight > 0)) return 1;
  // The last row needs only the label height, not the offset below it. Limited before the
  // conversion: a tiny pitch gives a quotient past every int.
  const double rows = std::floor((room + l.bottomOffset + kEps) / pitch);
  return static_cast<int>(std::clamp(rows, 1.0, static_cast<double>(kMaxRows)));
}

int LabelsPerPage(const TLabelLayout& l) {
  return RowsPerPage(l) * static_cast<int>(ColumnLefts(l).size());
}

std::vector<TLabelPlace> PlaceLabels(const TLabelLayout& l, size_t count) {
  std::vector<TLabelPlace> places;
  const std::vector<double> lefts = ColumnLefts(l);
  const size_t perPage = static_cast<size_t>(LabelsPerPage(l));
  const size_t cols = lefts.size();
  if (l.pageLimit > 0) count = std::min(count, perPage * static_cast<size_t>(l.pageLimit));
  places.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t onPage = i % perPage;
    TLabelPlace p;
    p.page = static_cast<int>(i / perPage);
    p.label = {lefts[onPage % cols],
               l.marginTop + static_cast<double>(onPage / cols) * (l.labelHeight + l.bottomOffset),
               l.columnWidth, l.labelHeight};
    p.area = {p.label.x + l.areaLeft, p.label.y + l.areaTop, l.areaWidth, l.areaHeight};
    places.push_back(p);
  }
  return places;
}

std::string LayoutProblem(const TLabelLayout& l) {
  // Written so that a NaN (from a number typed as "nan") is a problem too.
  const auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi + kEps; };
  if (!(l.paperWidth > 0) || !(l.paperHeight > 0)) return "The paper has no size.";
  if (!(l.labelHeight > 0) || !(l.columnWidth > 0)) return "The label has no size.";
  if (l.labelHeight < kMinLabelSize || l.columnWidth < kMinLabelSize)
    return "The label must be at least 1 mm high and wide.";
  if (l.numColumns < 1) return "The number of columns must be at least 1.";
  if (!(l.areaWidth > 0) || !(l.areaHeight > 0)) return "The printable area on the label is empty.";
  if (!within(l.areaLeft, 0, l.columnWidth - l.areaWidth) ||
      !within(l.areaTop, 0, l.labelHeight - l.areaHeight))
    return "The printable area lies outside the label.";
  if (!(l.marginTop >= 0) || !(l.marginBottom >= 0))
    return "The top and bottom margins must not be negative.";
  if (!within(l.marginTop, 0, LayoutPaperHeight(l) - l.labelHeight))
    return "Not even one label fits on the paper.";
  const std::vector<double> lefts = ColumnLefts(l);
  for (size_t c = 0; c < lefts.size(); ++c)
    if (!within(lefts[c], 0, LayoutPaperWidth(l) - l.columnWidth))
      return "Column " + std::to_string(c + 1) + " does not fit on the paper.";
  return {};
}

namespace {

// Splits at sep; the separator itself is dropped.
std::vector<std::string> SplitAt(const std::string& s, const std::string& sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t p; (p = s.find(sep, start)) != std::string::npos; start = p + sep.size())
    parts.push_back(s.substr(start, p - start));
  parts.push_back(s.substr(start));
  return parts;
}

// Greedy: as many pieces on a line as fit, joined by glue; a piece wider than the width stays
// alone on its line (the caller splits it further or gives up).
std::vector<std::string> Pack(const std::vector<std::string>& pieces, const std::string& glue,
                              const std::function<bool(const std::string&)>& fits) {
  std::vector<std::string> out;
  for (const std::string& piece : pieces) {
    if (!out.empty() && fits(out.back() + glue + piece))
      out.back() += glue + piece;
    else
      out.push_back(piece);
  }
  return out;
}

std::vector<std::string> WrapLine(const std::string& line,
                                  const std::function<bool(const std::string&)>& fits) {
  if (fits(line)) return {line};
  std::vector<std::string> out;
  for (const std::string& part : Pack(SplitAt(line, ", "), ", ", fits)) {
    if (fits(part)) {
      out.push_back(part);
      continue;
    }
    for (std::string& w : Pack(SplitAt(part, " "), " ", fits)) out.push_back(std::move(w));
  }
  return out;
}

}  // namespace

TLabelFit FitLabelLines(const std::vector<std::string>& lines, double areaWidth, double areaHeight,
                        double pointSize, const TLabelTextMeasure& measure) {
  constexpr double kTolerance = 1e-3;  // mm
  const auto fitsAt = [&](const std::vector<std::string>& set, double pt) {
    for (const std::string& l : set)
      if (measure.width(l, pt) > areaWidth + kTolerance) return false;
    if (set.empty()) return true;
    const double height =
        static_cast<double>(set.size() - 1) * measure.lineSpacing(pt) + measure.lineHeight(pt);
    return height <= areaHeight + kTolerance;
  };
  TLabelFit fit;
  const double largest = std::max(pointSize, kMinLabelPointSize);
  for (double pt = largest; pt >= kMinLabelPointSize - kTolerance;
       pt = std::max(pt - 0.5, kMinLabelPointSize - 1)) {
    fit.pointSize = pt;
    if (fitsAt(lines, pt)) {
      fit.lines = lines;
      return fit;
    }
    const auto lineFits = [&](const std::string& l) {
      return measure.width(l, pt) <= areaWidth + kTolerance;
    };
    std::vector<std::string> wrapped;
    for (const std::string& l : lines)
      for (std::string& w : WrapLine(l, lineFits)) wrapped.push_back(std::move(w));
    fit.lines = std::move(wrapped);
    if (fitsAt(fit.lines, pt)) return fit;
  }
  fit.pointSize = kMinLabelPointSize;
  fit.fits = false;
  return fit;
}

std::string LabelsNotFittingText(const std::vector<std::vector<std::string>>& labels,
                                 const std::vector<size_t>& notFitting, size_t max) {
  std::string text =
      std::to_string(notFitting.size()) + (notFitting.size() == 1 ? " label does" : " labels do") +
      " not fit the printable area even at " +
      std::to_string(static_cast<int>(kMinLabelPointSize)) + " pt; their lines would be cut:";
  for (size_t i = 0; i < notFitting.size() && i < max; ++i) {
    const auto& l = labels[notFitting[i]];
    text += "\n" + std::to_string(notFitting[i] + 1) + ": " + (l.empty() ? "" : l.front());
  }
  if (notFitting.size() > max) text += "\nand " + std::to_string(notFitting.size() - max) + " more";
  return text;
}

std::string TemplateHeader(const std::string& description) {
  std::string h(kTemplateHeaderSize, '\0');
  const size_t sigLen = std::char_traits<char>::length(kTemplateSignature);
  h[0] = static_cast<char>(sigLen);
  h.replace(1, sigLen, kTemplateSignature);
  const std::string d = description.substr(0, kTemplateDescriptionLen);
  h[21] = static_cast<char>(d.size());
  h.replace(22, d.size(), d);
  return h;
}

std::string ReadTemplateHeader(const std::string& bytes) {
  const size_t sigLen = std::char_traits<char>::length(kTemplateSignature);
  if (bytes.size() < kTemplateHeaderSize) throw ELabelTemplateError(kNotValidTemplate);
  // The first (byte 0) + 1 bytes against the 21 signature bytes.
  const size_t n = static_cast<unsigned char>(bytes[0]) + 1u;
  const std::string sig = std::string(1, static_cast<char>(sigLen)) + kTemplateSignature;
  if (n != sig.size() || bytes.compare(0, n, sig) != 0)
    throw ELabelTemplateError(kNotValidTemplate);
  const size_t len =
      std::min<size_t>(static_cast<unsigned char>(bytes[21]), kTemplateDescriptionLen);
  return bytes.substr(22, len);
}

std::string TemplateBytes(const TLabelLayout& l, const std::string& description) {
  json j;
  j["format"] = 1;
  j["units"] = l.units == TLabelUnits::Inches ? "inches" : "mm";
  j["printer"] = l.printerName;
  j["bin"] = l.binName;
  j["paper"] = {{"name", l.paperName},
                {"width", l.paperWidth},
                {"height", l.paperHeight},
                {"portrait", l.portrait}};
  j["margins"] = {{"top", l.marginTop},
                  {"bottom", l.marginBottom},
                  {"left", l.marginLeft},
                  {"right", l.marginRight}};
  j["columns"] = {
      {"positions", l.columnPositions}, {"count", l.numColumns}, {"width", l.columnWidth}};
  j["label"] = {{"height", l.labelHeight}, {"bottomOffset", l.bottomOffset}};
  j["area"] = {
      {"top", l.areaTop}, {"left", l.areaLeft}, {"width", l.areaWidth}, {"height", l.areaHeight}};
  j["font"] = {{"family", l.font.family},
               {"size", l.font.pointSize},
               {"bold", l.font.bold},
               {"italic", l.font.italic}};
  j["pageLimit"] = l.pageLimit;
  j["documentName"] = l.documentName;
  return TemplateHeader(description) + j.dump(2) + "\n";
}

TLabelLayout ParseTemplate(const std::string& bytes, std::string& description) {
  description = ReadTemplateHeader(bytes);
  TLabelLayout l;
  try {
    const json j = json::parse(bytes.begin() + static_cast<long>(kTemplateHeaderSize), bytes.end());
    if (!j.is_object()) throw std::runtime_error("no layout object");
    std::string units = "inches";
    Get(j, "units", units);
    l.units = units == "mm" ? TLabelUnits::Millimetres : TLabelUnits::Inches;
    Get(j, "printer", l.printerName);
    Get(j, "bin", l.binName);
    if (const auto p = j.find("paper"); p != j.end()) {
      Get(*p, "name", l.paperName);
      GetLength(*p, "width", l.paperWidth);
      GetLength(*p, "height", l.paperHeight);
      Get(*p, "portrait", l.portrait);
    }
    if (const auto m = j.find("margins"); m != j.end()) {
      GetLength(*m, "top", l.marginTop);
      GetLength(*m, "bottom", l.marginBottom);
      GetLength(*m, "left", l.marginLeft);
      GetLength(*m, "right", l.marginRight);
    }
    if (const auto c = j.find("columns"); c != j.end()) {
      Get(*c, "positions", l.columnPositions);
      if (l.columnPositions.size() > kMaxColumns) l.columnPositions.resize(kMaxColumns);
      for (double x : l.columnPositions)
        if (!std::isfinite(x) || std::fabs(x) > 10000) throw std::runtime_error("positions");
      GetInt(*c, "count", l.numColumns, 1, static_cast<int>(kMaxColumns));
      GetLength(*c, "width", l.columnWidth);
    }
    if (const auto b = j.find("label"); b != j.end()) {
      GetLength(*b, "height", l.labelHeight);
      GetLength(*b, "bottomOffset", l.bottomOffset);
    }
    if (const auto a = j.find("area"); a != j.end()) {
      GetLength(*a, "top", l.areaTop);
      GetLength(*a, "left", l.areaLeft);
      GetLength(*a, "width", l.areaWidth);
      GetLength(*a, "height", l.areaHeight);
    }
    if (const auto f = j.find("font"); f != j.end()) {
      Get(*f, "family", l.font.family);
      Get(*f, "size", l.font.pointSize);
      if (!(l.font.pointSize >= 1 && l.font.pointSize <= 500)) throw std::runtime_error("size");
      Get(*f, "bold", l.font.bold);
      Get(*f, "italic", l.font.italic);
    }
    GetInt(j, "pageLimit", l.pageLimit, 0, 100000);
    Get(j, "documentName", l.documentName);
  } catch (const std::exception& e) {
    throw ELabelTemplateError(std::string("The label template data is damaged: ") + e.what());
  }
  return l;
}

void SaveTemplateFile(const std::string& path, const TLabelLayout& l,
                      const std::string& description) {
  if (!WriteFileAtomically(path, TemplateBytes(l, description)))
    throw ELabelTemplateError("Could not write the label template " + path + ": " +
                              ErrorCodeText(LastErrorCode()));
}

TLabelLayout LoadTemplateFile(const std::string& path, std::string& description) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes))
    throw ELabelTemplateError("Could not read the label template " + path + ": " +
                              ErrorCodeText(LastErrorCode()));
  return ParseTemplate(bytes, description);
}

const std::vector<TPredefinedTemplateName>& PredefinedTemplateNames() {
  static const std::vector<TPredefinedTemplateName> names = {
      {"Avery 5160", "av5160.cls"},
      {"Avery 5261", "av5261.cls"},
      {"Avery 5262", "av5262.cls"},
      {"Zweckform 3490", "zf3490.cls"},
      {"Zweckform 4780", "zf4780.cls"},
      {"Zweckform 6023", "zf6023.cls"},
      {"Envelope #10 (Deskjet)", "env10dj.cls"},
      {"Envelope #10 (Laserjet)", "env10lj.cls"}};
  return names;
}

const std::vector<std::string>& SampleLabelLines() {
  static const std::vector<std::string> lines = {"John \"Long Name\" Doe, CALL",
                                                 "Famous DXer house",
                                                 "9933 Test Hill Rd",
                                                 "Upper Testbanks, XY 12345",
                                                 "In a distant country",
                                                 "Line 6",
                                                 "Line 7",
                                                 "Line 8",
                                                 "Line 9",
                                                 "Line 10",
                                                 "Line 11",
                                                 "Line 12",
                                                 "Line 13",
                                                 "Line 14"};
  return lines;
}
