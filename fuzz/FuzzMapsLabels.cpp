// Targets of the map block of the data file (directory, zoom chains, calibration, the images as
// the map window decodes them) and of the label template files.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>

#include "FuzzTargets.h"
#include "dataset/ULocator.h"
#include "labels/ULabelLayout.h"
#include "map/UMapStream.h"

#ifdef TELLMARK_FUZZ_QIMAGE
#include <QImage>
#include <QLoggingCategory>
#endif

namespace fuzz {

namespace {

constexpr size_t kMapHeader = 17;

struct TMapInput {
  int64_t dirOffset = 0;
  int maps[3] = {};
  std::string locator;
  int64_t seekOffset = 0;
  int seekOrigin = 0;
  int64_t readCount = 0;
  std::string_view file;
};

TMapInput ParseMapInput(const uint8_t* data, size_t size) {
  TMapInput in;
  in.dirOffset = data[0] | data[1] << 8 | data[2] << 16 | int64_t{data[3]} << 24;
  for (int i = 0; i < 3; ++i) in.maps[i] = data[4 + i];
  in.locator.assign(reinterpret_cast<const char*>(data + 7), 6);
  in.locator.resize(std::min(in.locator.size(), in.locator.find('\0')));
  in.seekOffset = static_cast<int16_t>(data[13] | data[14] << 8);
  in.seekOrigin = data[15] % 3;
  in.readCount = data[16];
  in.file = std::string_view(reinterpret_cast<const char*>(data + kMapHeader), size - kMapHeader);
  return in;
}

// What the map window keeps between calls (TMapForm's fields).
struct TMapWindow {
  TMapStream& stream;
  const TMapInput& in;
  double pointLon = 0, pointLat = 0;
  bool pointValid = false;
  int currentMap = 0;
  int32_t markerClass = 0;

  // Seek and Read on the selected image keep within it.
  void SeekAndRead() {
    const int64_t size = stream.Size();
    const int64_t at = stream.Seek(in.seekOffset, in.seekOrigin);
    if (at != stream.Position() || at < 0 || at > size) Fail("Seek left the image");
    char buffer[256];
    const int64_t got = stream.Read(buffer, in.readCount);
    if (got < 0 || got > in.readCount || at + got > size) Fail("Read past the count or the image");
    if (stream.Position() != at + got) Fail("Read moved the position by other than the bytes read");
    if (stream.Seek(-1, 1) > size || stream.Position() < 0) Fail("Seek left the image");
  }

  // Decodes the image as the window does: QImage::fromData(..., "BMP"), then RGB32.
  void Decode(int n, const std::string& bytes) {
#ifdef TELLMARK_FUZZ_QIMAGE
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                          static_cast<int>(bytes.size()), "BMP");
    if (image.isNull()) throw EMapError("Map " + std::to_string(n) + " is not a readable bitmap");
    if (int64_t{image.width()} * image.height() > kMaxMapPixels)
      Fail("a map image past the pixel limit decoded");
    const QImage picture = image.convertToFormat(QImage::Format_RGB32);
    if (picture.size() != image.size()) Fail("converted map changed its size");
#else
    (void)n;
    (void)bytes;
#endif
  }

  // TMapForm::ShowMap.
  void ShowMap(int n) {
    if (n != currentMap) {
      markerClass = 0;
      stream.SelectMap(n);
      if (stream.Position() != 0 || stream.Size() < 0) Fail("selected map not at its start");
      const std::string bytes = stream.ReadImage();
      if (static_cast<int64_t>(bytes.size()) != stream.Size()) Fail("image not read whole");
      SeekAndRead();
      Decode(n, bytes);
      markerClass = stream.MarkerClass(n);
      currentMap = n;
    }
    try {
      const TPixel p = stream.LocatePoint(n, pointLon, pointLat);
      // The pixel is the calibration's value rounded: finite and within half a pixel.
      const TMapEntry& e = stream.Entry(n);
      const double x =
          (pointLon - e.lon1) * ((static_cast<double>(e.x2) - e.x1) / (e.lon2 - e.lon1));
      const double y =
          (pointLat - e.lat1) * ((static_cast<double>(e.y2) - e.y1) / (e.lat2 - e.lat1));
      if (e.x1 == -1 || !std::isfinite(x) || !std::isfinite(y) || std::fabs(x + e.x1 - p.x) > 0.5 ||
          std::fabs(y + e.y1 - p.y) > 0.5)
        Fail("located pixel is not the calibration's");
    } catch (const EMapError&) {
    }
  }

  // TMapForm::ShowLocation with a visible window, then zooming out through the whole chain.
  void ShowLocation(int mapNr) {
    if (mapNr == 0) return;
    ShowMap(mapNr);
    const std::vector<int> chain = stream.ZoomChain(mapNr);
    if (chain.empty() || chain.size() > static_cast<size_t>(kMaxZoomChain) || chain[0] != mapNr)
      Fail("zoom chain of a wrong length or start");
    for (const int k : chain)
      if (k < 1 || k > stream.MapCount()) Fail("zoom chain holds an invalid map");
    if (stream.Position() != 0) Fail("ZoomChain did not reset the position");
    for (size_t i = 1; i < chain.size(); ++i) ShowMap(chain[i]);
  }
};

}  // namespace

// Input: 4 bytes of directory offset (little-endian), 3 map numbers (0: none), 6 characters of
// the entry locator (a zero byte ends it early), a seek offset (16-bit, little-endian), a seek
// origin (mod 3) and a read count, then the data file.
int FuzzMap(const uint8_t* data, size_t size) {
#ifdef TELLMARK_FUZZ_QIMAGE
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules("qt.gui.imageio=false");
    return true;
  }();
  (void)quiet;
#endif
  if (size < kMapHeader) return 0;
  const TMapInput in = ParseMapInput(data, size);
  const std::string path = WriteScratch("thedata.dat", in.file);
  std::unique_ptr<TMapStream> stream;
  try {
    stream = std::make_unique<TMapStream>(path, in.dirOffset);
  } catch (const EMapError&) {
    return 0;
  }
  if (stream->MapCount() < 0 || stream->MapCount() > kMapSlots) Fail("map count out of range");
  TMapWindow window{*stream, in};
  try {
    const TGeoPoint p = LocatorToCoord(in.locator);
    // The point is kept as 6-byte reals.
    window.pointLon = Real48ToDouble(DoubleToReal48(p.longitude));
    window.pointLat = Real48ToDouble(DoubleToReal48(p.latitude));
    window.pointValid = true;
  } catch (const std::exception&) {
  }
  for (const int mapNr : in.maps) {
    try {
      window.ShowLocation(mapNr);
    } catch (const EMapError&) {
      // The main window shows the message; the map window keeps what it showed.
    } catch (const std::exception& e) {
      Fail(std::string("map window call threw other than EMapError: ") + e.what());
    }
  }
  return 0;
}

namespace {

constexpr double kTolerance = 1e-5;  // mm

void CheckLength(double mm) {
  for (const TLabelUnits u : {TLabelUnits::Inches, TLabelUnits::Millimetres}) {
    const std::string text = FormatLength(mm, u);
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    const double shown = ToUnits(mm, u);
    if (text.empty() || *end != '\0' || std::fabs(back - shown) > 5e-4 * std::fabs(shown))
      Fail("FormatLength not 4 significant digits: " + text);
  }
}

void CheckPlaces(const TLabelLayout& l, size_t count, bool printable) {
  const size_t perPage = static_cast<size_t>(LabelsPerPage(l));
  const std::vector<TLabelPlace> places = PlaceLabels(l, count);
  const size_t expected =
      l.pageLimit > 0 ? std::min(count, perPage * static_cast<size_t>(l.pageLimit)) : count;
  if (places.size() != expected) Fail("PlaceLabels gave another number of labels");
  int page = 0;
  for (const TLabelPlace& p : places) {
    if (p.page < page || (l.pageLimit > 0 && p.page >= l.pageLimit))
      Fail("label pages out of order");
    page = p.page;
    if (!printable) continue;
    const TLabelRect& r = p.label;
    const TLabelRect& a = p.area;
    if (!(r.x >= -kTolerance && r.y >= -kTolerance &&
          r.x + r.width <= LayoutPaperWidth(l) + kTolerance &&
          r.y + r.height <= LayoutPaperHeight(l) + kTolerance))
      Fail("label of a printable layout off the paper");
    if (!(a.x >= r.x - kTolerance && a.y >= r.y - kTolerance &&
          a.x + a.width <= r.x + r.width + kTolerance &&
          a.y + a.height <= r.y + r.height + kTolerance))
      Fail("printable area of a printable layout outside its label");
  }
}

}  // namespace

// Input: a label template file (the 302-byte header, then the layout data).
int FuzzLabel(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TLabelLayout l;
  std::string description;
  try {
    const std::string header = ReadTemplateHeader(bytes);
    if (header.size() > kTemplateDescriptionLen) Fail("description longer than 80 characters");
    // As the options dialog loads it.
    l = LoadTemplateFile(WriteScratch("template.cls", bytes), description);
    if (description != header) Fail("the header read twice differs");
  } catch (const ELabelTemplateError&) {
    return 0;
  } catch (const std::exception& e) {
    Fail(std::string("label template refused with other than ELabelTemplateError: ") + e.what());
  }
  const int rows = RowsPerPage(l);
  const std::vector<double> lefts = ColumnLefts(l);
  if (rows < 1 || rows > 1000 || lefts.empty() || lefts.size() > 100 ||
      LabelsPerPage(l) != rows * static_cast<int>(lefts.size()))
    Fail("sheet of an unbounded size");
  const bool printable = LayoutProblem(l).empty();
  const size_t perPage = static_cast<size_t>(LabelsPerPage(l));
  for (const size_t n : {size_t{0}, size_t{1}, size_t{7}, std::min<size_t>(perPage + 1, 2001)})
    CheckPlaces(l, n, printable);
  TLabelLayout unlimited = l;
  unlimited.pageLimit = 0;
  CheckPlaces(unlimited, std::min<size_t>(2 * perPage + 1, 2001), printable);
  for (const double mm : {l.paperWidth, l.paperHeight, l.marginTop, l.marginBottom, l.marginLeft,
                          l.marginRight, l.columnWidth, l.labelHeight, l.bottomOffset, l.areaTop,
                          l.areaLeft, l.areaWidth, l.areaHeight})
    CheckLength(mm);
  for (const double mm : l.columnPositions) CheckLength(mm);
  // Saved and read back, the layout and its description are the same.
  try {
    std::string back;
    if (!(ParseTemplate(TemplateBytes(l, description), back) == l) || back != description)
      Fail("label template changed on a round trip");
  } catch (const std::exception& e) {
    Fail(std::string("saved label template not readable: ") + e.what());
  }
  return 0;
}

}  // namespace fuzz
