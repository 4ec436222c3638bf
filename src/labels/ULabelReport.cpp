#include "labels/ULabelReport.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <map>
#include <stdexcept>

#include "common/IOUtil.h"
#include "labels/ULabel.h"
#include "labels/ULabelPaint.h"
#include "labels/ULabelPrinter.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

std::function<bool(QPrinter&)>& PrintDialogHandler() {
  static std::function<bool(QPrinter&)> h;
  return h;
}
std::function<void(QPrintPreviewDialog&)>& PreviewHandler() {
  static std::function<void(QPrintPreviewDialog&)> h;
  return h;
}

constexpr double kCornerMm = 2.0;

const std::pair<QPrinter::PaperSource, const char*> kBins[] = {
    {QPrinter::Auto, "Automatic"},
    {QPrinter::Upper, "Upper"},
    {QPrinter::Lower, "Lower"},
    {QPrinter::Middle, "Middle"},
    {QPrinter::Manual, "Manual"},
    {QPrinter::Envelope, "Envelope"},
    {QPrinter::EnvelopeManual, "Manual envelope"},
    {QPrinter::Tractor, "Tractor"},
    {QPrinter::SmallFormat, "Small format"},
    {QPrinter::LargeFormat, "Large format"},
    {QPrinter::LargeCapacity, "Large capacity"},
    {QPrinter::Cassette, "Cassette"},
    {QPrinter::FormSource, "Form source"}};

QPrinterInfo InfoOf(const QString& printer) {
  if (printer.isEmpty() || printer == kDefaultDevice) return QPrinterInfo::defaultPrinter();
  return QPrinterInfo::printerInfo(printer);
}

// The paper names every printer offers when the system names none.
const QPageSize::PageSizeId kStandardPapers[] = {
    QPageSize::Letter, QPageSize::Legal, QPageSize::Executive, QPageSize::A4,
    QPageSize::A5,     QPageSize::B5,    QPageSize::Comm10E,   QPageSize::DLE};

// Paper names by the short keys ("Letter", "A4"), which templates store.
QString PaperName(QPageSize::PageSizeId id) {
  if (id == QPageSize::Comm10E) return "Envelope #10";
  return QPageSize::key(id);
}

// Measures label lines in a font on a paint device, one metrics object per point size.
class TQtMeasure {
 public:
  TQtMeasure(const QFont& font, QPaintDevice* device)
      : font_(font), device_(device), dpmm_(device->logicalDpiX() / 25.4) {}
  const QFontMetricsF& At(double pt) {
    auto it = metrics_.find(pt);
    if (it == metrics_.end()) {
      QFont f(font_);
      f.setPointSizeF(pt);
      it = metrics_.emplace(pt, QFontMetricsF(f, device_)).first;
    }
    return it->second;
  }
  TLabelTextMeasure Measure() {
    return {[this](const std::string& line, double pt) {
              return At(pt).horizontalAdvance(FromData(line)) / dpmm_;
            },
            [this](double pt) { return At(pt).lineSpacing() / dpmm_; },
            [this](double pt) { return At(pt).height() / dpmm_; }};
  }

 private:
  QFont font_;
  QPaintDevice* device_;
  double dpmm_;
  std::map<double, QFontMetricsF> metrics_;
};

QFont LayoutFont(const TLabelFont& lf) {
  QFont font(QString::fromStdString(lf.family));
  font.setPointSizeF(lf.pointSize);
  font.setBold(lf.bold);
  font.setItalic(lf.italic);
  return font;
}

}  // namespace

QStringList LabelPrinterNames() {
  QStringList names{kDefaultDevice};
  names += QPrinterInfo::availablePrinterNames();
  return names;
}

QStringList LabelPaperNames(const QString& printer) {
  QStringList names;
  const QPrinterInfo info = InfoOf(printer);
  if (!info.isNull())
    for (const QPageSize& s : info.supportedPageSizes()) {
      if (s.id() == QPageSize::Custom) continue;  // "Custom" comes last, once
      if (const QString n = PaperName(s.id()); !names.contains(n)) names << n;
    }
  if (names.isEmpty())
    for (const auto id : kStandardPapers) names << PaperName(id);
  names.removeAll(kCustomPaper);
  names << kCustomPaper;
  return names;
}

bool LabelPaperSize(const QString& name, double& widthMm, double& heightMm) {
  for (int i = 0; i < QPageSize::LastPageSize; ++i) {
    const auto id = static_cast<QPageSize::PageSizeId>(i);
    if (PaperName(id) != name && QPageSize::name(id) != name) continue;
    const QSizeF s = QPageSize::size(id, QPageSize::Millimeter);
    widthMm = s.width();
    heightMm = s.height();
    return true;
  }
  return false;
}

QStringList LabelPaperBins(const QString& printer) {
  QStringList bins{kDefaultDevice};
  const QPrinterInfo info = InfoOf(printer);
  if (info.isNull()) return bins;
  // Qt names no bins per printer: the common paper sources, which the print system maps.
  for (const auto& [s, name] : kBins)
    if (s == QPrinter::Auto || s == QPrinter::Upper || s == QPrinter::Lower ||
        s == QPrinter::Manual || s == QPrinter::Envelope)
      bins << name;
  return bins;
}

TLabelReportForm::TLabelReportForm(QObject* parent) : QObject(parent) {}
TLabelReportForm::~TLabelReportForm() = default;

void TLabelReportForm::AddLabel(std::vector<std::string> lines) {
  if (labels_.size() > kMaxLabelsInMemory) throw std::runtime_error(kMaxLabelsMessage);
  labels_.push_back(std::move(lines));
  emit LabelCountChanged(labels_.size());
}

bool TLabelReportForm::IsMarked(const std::vector<std::string>& lines) const {
  return std::find(labels_.begin(), labels_.end(), lines) != labels_.end();
}

bool TLabelReportForm::MarkLabel(std::vector<std::string> lines) {
  if (IsMarked(lines) &&
      ShowInfoBox(ApplicationTitle(), kAskMarkAgain, mbYesNo | mbIconQuestion) != idYes)
    return false;
  AddLabel(std::move(lines));
  return true;
}

void TLabelReportForm::ClearLabels() {
  const bool had = !labels_.empty();
  labels_.clear();
  labels_.shrink_to_fit();
  current_ = 0;
  if (had) emit LabelCountChanged(0);
}

QString MarkedLabelsText(size_t count) {
  return count == 1 ? QString("1 label marked for printing")
                    : QString("%1 labels marked for printing").arg(count);
}

std::vector<std::string> TLabelReportForm::AdressMemoGetMemo() const {
  if (designMode_) return SampleLabelLines();
  if (current_ < 0 || current_ >= static_cast<long>(labels_.size())) return {};
  return labels_[static_cast<size_t>(current_)];
}

void TLabelReportForm::ApplyToPrinter(QPrinter& printer) const {
  const QString name = QString::fromStdString(layout_.printerName);
  if (name != kDefaultDevice && !name.isEmpty() &&
      QPrinterInfo::availablePrinterNames().contains(name))
    printer.setPrinterName(name);
  printer.setDocName(QString::fromStdString(layout_.documentName));
  printer.setFullPage(true);
  ApplyLabelPage(printer, layout_);
  for (const auto& [source, bin] : kBins)
    if (layout_.binName == bin) printer.setPaperSource(source);
}

int TLabelReportForm::Render(QPrinter& printer) {
  // The template's paper and orientation again: the print dialog (a PDF file chosen there) and
  // the preview's printer start from their own defaults (A4).
  ApplyLabelPage(printer, layout_);
  QPainter painter;
  if (!painter.begin(&printer)) throw std::runtime_error("The printer cannot be started.");
  const double dpmm = printer.resolution() / 25.4;
  auto px = [dpmm](const TLabelRect& r) {
    return QRectF(r.x * dpmm, r.y * dpmm, r.width * dpmm, r.height * dpmm);
  };
  const QFont font = LayoutFont(layout_.font);
  painter.setFont(font);
  TQtMeasure measure(font, &printer);
  size_t count = 0;
  if (designMode_) {
    count = static_cast<size_t>(LabelsPerPage(layout_)) *
            static_cast<size_t>(layout_.pageLimit > 0 ? layout_.pageLimit : 1);
  } else {
    PrintLabelPipelineGotoFirstRecord();
    count = labels_.size();
  }
  const std::vector<TLabelPlace> places = PlaceLabels(layout_, count);
  int page = 0;
  for (const TLabelPlace& p : places) {
    if (!designMode_ && PrintLabelPipelineCheckEOF()) break;
    while (page < p.page) {
      printer.newPage();
      ++page;
    }
    if (designMode_) {  // LabelShape
      painter.setPen(QPen(Qt::gray, 0.2 * dpmm));
      painter.drawRoundedRect(px(p.label), kCornerMm * dpmm, kCornerMm * dpmm);
      painter.setPen(Qt::black);
    }
    // AdressMemo: line by line from the top of the printable area. A label's lines are fitted
    // (a smaller size, a line wrapped between words); the sample label of design mode shows the
    // font as set. What still does not fit is left out (whole lines below the area, characters
    // right of it), so the output holds only what shows; PrintLabels warns of such labels.
    const QRectF area = px(p.area);
    TLabelFit fit{AdressMemoGetMemo(), layout_.font.pointSize, true};
    if (!designMode_)
      fit = FitLabelLines(fit.lines, p.area.width, p.area.height, layout_.font.pointSize,
                          measure.Measure());
    QFont sized = font;
    sized.setPointSizeF(fit.pointSize);
    painter.setFont(sized);
    const QFontMetricsF& fm = measure.At(fit.pointSize);
    double y = area.top();
    for (const std::string& line : fit.lines) {
      if (y + fm.height() > area.bottom() + 0.5) break;
      QString text = FromData(line);
      while (!text.isEmpty() && fm.horizontalAdvance(text) > area.width()) text.chop(1);
      painter.drawText(QPointF(area.left(), y + fm.ascent()), text);
      y += fm.lineSpacing();
    }
    if (!designMode_) PrintLabelPipelineTraverseBy(1);
  }
  painter.end();
  return places.empty() ? 1 : places.back().page + 1;
}

std::vector<size_t> TLabelReportForm::LabelsNotFitting(QPaintDevice& device) const {
  const QFont font = LayoutFont(layout_.font);
  TQtMeasure measure(font, &device);
  std::vector<size_t> out;
  for (size_t i = 0; i < labels_.size(); ++i)
    if (!FitLabelLines(labels_[i], layout_.areaWidth, layout_.areaHeight, layout_.font.pointSize,
                       measure.Measure())
             .fits)
      out.push_back(i);
  return out;
}

bool TLabelReportForm::PrintLabels(QWidget* parent) {
  current_ = 0;
  if (labels_.empty()) throw std::runtime_error(kNothingToPrint);
  if (const std::string problem = LayoutProblem(layout_); !problem.empty())
    throw std::runtime_error(problem);
  struct TRestore {
    TLabelReportForm* f;
    ~TRestore() {
      f->designMode_ = true;
      f->layout_.pageLimit = kDesignPageLimit;
    }
  } restore{this};
  designMode_ = false;
  layout_.pageLimit = 0;
  QPrinter printer(QPrinter::HighResolution);
  ApplyToPrinter(printer);
  // Before the print dialog: which labels would lose part of a line.
  if (const std::vector<size_t> cut = LabelsNotFitting(printer);
      !cut.empty() &&
      ShowInfoBox(ApplicationTitle(),
                  FromData(LabelsNotFittingText(labels_, cut)) + "\n\nPrint anyway?",
                  mbYesNo | mbIconWarning) != idYes)
    return false;
  bool accepted = false;
  if (PrintDialogHandler()) {
    accepted = PrintDialogHandler()(printer);
  } else {
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(PrintDialogTitle(labels_.size()));
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (accepted) Render(printer);
  return accepted;
}

void TLabelReportForm::PrintMarkedLabels(QWidget* parent) {
  try {
    if (!PrintLabels(parent)) return;  // cancelled: nothing printed, nothing to delete
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    return;
  }
  if (ShowInfoBox(ApplicationTitle(), kAskDeleteMarkedLabels, mbYesNo | mbIconQuestion) == idYes)
    ClearLabels();
}

void TLabelReportForm::Preview(QWidget* parent) {
  if (const std::string problem = LayoutProblem(layout_); !problem.empty())
    throw std::runtime_error(problem);
  QPrinter printer(QPrinter::HighResolution);
  ApplyToPrinter(printer);
  QPrintPreviewDialog dialog(&printer, parent);
  dialog.setWindowTitle("Label preview");
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { Render(*p); });
  if (PreviewHandler())
    PreviewHandler()(dialog);
  else
    dialog.exec();
}

void TLabelReportForm::LoadTemplate(const std::string& path) {
  if (path.empty()) return;
  std::string description;
  TLabelLayout loaded = LoadTemplateFile(path, description);
  layout_ = std::move(loaded);
  layout_.pageLimit = designMode_ ? kDesignPageLimit : layout_.pageLimit;
  TemplateDescription = description;
}

void TLabelReportForm::SaveTemplate(const std::string& path) const {
  TLabelLayout saved = layout_;
  saved.documentName = kLabelDocumentName;
  SaveTemplateFile(path, saved, TemplateDescription);
}

QString PrintDialogTitle(size_t count) {
  return count == 1 ? QString("Print 1 label") : QString("Print %1 labels").arg(count);
}

void TLabelReportForm::Reset() {
  ClearLabels();
  layout_ = TLabelLayout{};
  TemplateDescription = kDefaultTemplateDescription;
  designMode_ = true;
}

void TLabelReportForm::SetPrintDialogHandler(std::function<bool(QPrinter&)> handler) {
  PrintDialogHandler() = std::move(handler);
}

void TLabelReportForm::SetPreviewHandler(std::function<void(QPrintPreviewDialog&)> handler) {
  PreviewHandler() = std::move(handler);
}

namespace {
bool spoolFailureKept = false;  // a failure was shown and the labels kept; none sent since
}  // namespace

void ShowLabelOutputFailure(int code) {
  while (code == 160 && !LabelSpoolError().empty()) {
    const QString text = QString(kErrorDuringPrint) + FromData(LabelSpoolError()) + ".\n" +
                         FromData(LabelSpoolStatusText()) +
                         ".\n\nSend them again? (No discards them, Cancel keeps them for the "
                         "next form feed.)";
    const int answer = ShowInfoBox(ApplicationTitle(), text, mbYesNoCancel | mbIconError);
    if (answer == idYes) {
      if (SubmitLabelSpool()) {
        spoolFailureKept = false;
        return;
      }
      code = LastErrorCode();
      continue;
    }
    if (answer == idNo) {
      spoolFailureKept = false;
      if (!DiscardLabelSpool())
        ShowErrorBox(QString(kErrorDuringPrint) + FromData(ErrorCodeText(LastErrorCode())));
      return;
    }
    spoolFailureKept = true;
    return;
  }
  ShowErrorBox(QString(kErrorDuringPrint) + FromData(LabelOutputErrorText(code)));
}

void FlushLabelSpoolAtExit() {
  if (!LabelSpoolPending()) return;
  if (SubmitLabelSpool()) {
    spoolFailureKept = false;
    return;
  }
  if (!spoolFailureKept) ShowLabelOutputFailure(LastErrorCode());
}

void PrintTestLabel(const TPrintOptions& options) {
  if (!PrintLabelDirect(SampleAddressBlock(options), options)) {
    const int code = LastErrorCode();
    ShowErrorBox(code == kLabelTooLargeCode
                     ? QString(kLabelTooLargeMessage)
                     : QString(kErrorDuringPrint) + FromData(LabelOutputErrorText(code)));
    return;
  }
  if (IsPrinterDeviceName(options.outfileName))
    ShowInfoBox(QString("A test label was spooled for the printer: ") +
                FromData(LabelSpoolStatusText()) + ". \"Send form feed\" prints it.");
  else
    ShowInfoBox(QString("A test label was written to ") +
                QString::fromLocal8Bit(options.outfileName.c_str()) + ".");
}
