#include "labels/ULabelReport.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <stdexcept>

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
}

void TLabelReportForm::ClearLabels() {
  labels_.clear();
  labels_.shrink_to_fit();
  current_ = 0;
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
  printer.setPageSize(QPageSize(QSizeF(layout_.paperWidth, layout_.paperHeight),
                                QPageSize::Millimeter, QString::fromStdString(layout_.paperName),
                                QPageSize::ExactMatch));
  printer.setPageOrientation(layout_.portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  for (const auto& [source, bin] : kBins)
    if (layout_.binName == bin) printer.setPaperSource(source);
}

int TLabelReportForm::Render(QPrinter& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) throw std::runtime_error("The printer cannot be started.");
  const double dpmm = printer.resolution() / 25.4;
  auto px = [dpmm](const TLabelRect& r) {
    return QRectF(r.x * dpmm, r.y * dpmm, r.width * dpmm, r.height * dpmm);
  };
  QFont font(QString::fromStdString(layout_.font.family));
  font.setPointSizeF(layout_.font.pointSize);
  font.setBold(layout_.font.bold);
  font.setItalic(layout_.font.italic);
  painter.setFont(font);
  const QFontMetricsF fm(painter.font(), &printer);
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
    // AdressMemo: line by line from the top of the printable area, no wrap; what does not fit
    // the area is left out (whole lines below it, characters right of it), so the output holds
    // only what shows.
    const QRectF area = px(p.area);
    double y = area.top();
    for (const std::string& line : AdressMemoGetMemo()) {
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

void TLabelReportForm::PrintLabels(QWidget* parent) {
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
  bool accepted = false;
  if (PrintDialogHandler()) {
    accepted = PrintDialogHandler()(printer);
  } else {
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle("Print labels");
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (accepted) Render(printer);
}

void TLabelReportForm::PrintMarkedLabels(QWidget* parent) {
  try {
    PrintLabels(parent);
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
