#pragma once
// The label sheet layout of the template ("new") label method, without a window: the layout
// values (all lengths in millimetres), where each label of a print job lands on which page,
// and the label template file (a 302-byte header, then the layout as JSON).
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

inline constexpr const char* kNotValidTemplate = "This is not a valid template";
inline constexpr const char* kTemplateSignature = "TMKLabelTemplate0001";
constexpr size_t kTemplateHeaderSize = 302;
constexpr size_t kTemplateDescriptionLen = 80;
inline constexpr const char* kLabelDocumentName = "Tellmark labels";
inline constexpr const char* kDefaultTemplateDescription = "Avery 5160 (1\" x 2 5/8\")";
inline constexpr const char* kDefaultDevice = "Default";
inline constexpr const char* kCustomPaper = "Custom";
// At most this many labels in memory: adding to a list that holds more raises.
constexpr size_t kMaxLabelsInMemory = 14000;
inline constexpr const char* kMaxLabelsMessage = "Maximum number of labels in memory is exceeded";
constexpr int kDesignPageLimit = 2;

class ELabelTemplateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TLabelUnits { Inches, Millimetres };

struct TLabelFont {
  std::string family = "DejaVu Sans";
  double pointSize = 10;
  bool bold = false;
  bool italic = false;
  bool operator==(const TLabelFont&) const = default;
};

struct TLabelLayout {
  TLabelUnits units = TLabelUnits::Inches;  // how the options dialog shows lengths
  std::string printerName = kDefaultDevice;
  std::string binName = kDefaultDevice;
  std::string paperName = "Letter";
  double paperWidth = 215.9, paperHeight = 279.4;  // portrait
  bool portrait = true;
  double marginTop = 12.7, marginBottom = 12.7, marginLeft = 6.35, marginRight = 6.35;
  std::vector<double> columnPositions{5.08, 74.625, 145.263};  // from the paper's left edge
  int numColumns = 3;
  double columnWidth = 66.675;
  double labelHeight = 25.4;                                          // the detail band
  double bottomOffset = 0;                                            // space below each band
  double areaTop = 2, areaLeft = 4, areaWidth = 60, areaHeight = 22;  // printable area on a label
  TLabelFont font;
  int pageLimit = kDesignPageLimit;  // 0 = none
  std::string documentName = kLabelDocumentName;
  bool operator==(const TLabelLayout&) const = default;
};

// The layout's lengths in a unit and back.
double ToUnits(double mm, TLabelUnits units);
double FromUnits(double value, TLabelUnits units);
// General format with 4 significant digits ("2.625", "66.68", "0.5"), decimal point '.'.
std::string FormatLength(double mm, TLabelUnits units);

struct TLabelRect {
  double x = 0, y = 0, width = 0, height = 0;  // mm from the paper's top left corner
};
struct TLabelPlace {
  int page = 0;      // 0-based
  TLabelRect label;  // the label (column width x label height)
  TLabelRect area;   // its printable area
};

// Paper size as laid out (landscape swaps width and height).
double LayoutPaperWidth(const TLabelLayout& l);
double LayoutPaperHeight(const TLabelLayout& l);
// Left edges of the columns: the first numColumns positions; missing ones continue from the
// last at a column width's distance.
std::vector<double> ColumnLefts(const TLabelLayout& l);
// Rows of labels that fit between the top and bottom margin (1..1000).
int RowsPerPage(const TLabelLayout& l);
int LabelsPerPage(const TLabelLayout& l);
// Places of count labels, across the columns, then down the rows, then onto the next page;
// at most pageLimit pages when it is not 0.
std::vector<TLabelPlace> PlaceLabels(const TLabelLayout& l, size_t count);
// Why the layout cannot be printed (empty when it can): sizes that are not positive, a label
// under 1 mm, an area outside the label, a negative top or bottom margin, a column off the
// paper. Without a problem every label PlaceLabels gives lies on the paper.
std::string LayoutProblem(const TLabelLayout& l);

// Fitting a label's lines into the printable area. Lengths in mm, sizes in points.
// The smallest font a label is set in.
constexpr double kMinLabelPointSize = 6;
struct TLabelTextMeasure {
  std::function<double(const std::string& line, double pointSize)> width;
  std::function<double(double pointSize)> lineSpacing;  // from one line to the next
  std::function<double(double pointSize)> lineHeight;   // of the last line
};
struct TLabelFit {
  std::vector<std::string> lines;  // as set: a line may be wrapped onto the next
  double pointSize = 0;
  bool fits = true;  // false: even at the smallest size a line is wider or the label higher
};
// The lines at the largest size from pointSize down to kMinLabelPointSize (half-point steps)
// at which they fit the area: each size first as they are, then with every line that is too
// wide wrapped between words (at ", " first; the comma goes), so a call moves whole onto a
// line of its own. Words are never cut.
TLabelFit FitLabelLines(const std::vector<std::string>& lines, double areaWidth, double areaHeight,
                        double pointSize, const TLabelTextMeasure& measure);
// What the warning before printing lists of the labels that do not fit: their count and
// first lines (at most max of them, then "and N more").
std::string LabelsNotFittingText(const std::vector<std::vector<std::string>>& labels,
                                 const std::vector<size_t>& notFitting, size_t max = 3);

// Template files.
std::string TemplateHeader(const std::string& description);
// Checks the signature and returns the description; throws ELabelTemplateError
// "This is not a valid template" when the bytes do not begin with the signature.
std::string ReadTemplateHeader(const std::string& bytes);
std::string TemplateBytes(const TLabelLayout& l, const std::string& description);
// Parses a whole template file; the header as above, damaged layout data gives
// "The label template data is damaged: <reason>". Values missing from the data keep their
// design values.
TLabelLayout ParseTemplate(const std::string& bytes, std::string& description);
// File versions; write atomically, and throw ELabelTemplateError with the file error.
void SaveTemplateFile(const std::string& path, const TLabelLayout& l,
                      const std::string& description);
TLabelLayout LoadTemplateFile(const std::string& path, std::string& description);

// The eight predefined templates in the order offered: list entry and file name under labels/
// of the data set (tellmark-build writes them).
struct TPredefinedTemplateName {
  const char* entry;
  const char* file;
};
const std::vector<TPredefinedTemplateName>& PredefinedTemplateNames();

// The sample label printed in design mode.
const std::vector<std::string>& SampleLabelLines();
