#pragma once
// The label layout of the template method on QPainter/QPrinter: the labels marked for printing,
// the record pipeline that feeds them to the detail band, rendering of label sheets (the sample
// label with outlines in design mode), preview, print and templates. No window of its own; the
// options dialog and the main window drive it.
#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "labels/ULabelLayout.h"
#include "settings/USettings.h"

class QPaintDevice;
class QPrinter;
class QPrintPreviewDialog;
class QWidget;

inline constexpr const char* kNothingToPrint = "Nothing to print";
inline constexpr const char* kAskDeleteMarkedLabels =
    "Ok to delete the labels marked for printing?";

inline constexpr const char* kAskMarkAgain =
    "This entry is already marked for printing. Mark it again?";

// "3 labels marked for printing"; "Print 3 labels" (the print dialog's title).
QString MarkedLabelsText(size_t count);
QString PrintDialogTitle(size_t count);

class TLabelReportForm : public QObject {
  Q_OBJECT

 public:
  explicit TLabelReportForm(QObject* parent = nullptr);
  ~TLabelReportForm() override;

  TLabelLayout& Layout() { return layout_; }
  const TLabelLayout& Layout() const { return layout_; }
  std::string TemplateDescription = kDefaultTemplateDescription;

  // Appends a label; a list that holds more than 14000 labels already throws
  // std::runtime_error "Maximum number of labels in memory is exceeded".
  void AddLabel(std::vector<std::string> lines);
  // The "Mark label for printing" command: a label equal to one already marked is added only
  // when the user says so. True when added.
  bool MarkLabel(std::vector<std::string> lines);
  bool IsMarked(const std::vector<std::string>& lines) const;
  void ClearLabels();
  size_t LabelCount() const { return labels_.size(); }
  const std::vector<std::vector<std::string>>& Labels() const { return labels_; }
  bool DesignMode() const { return designMode_; }

  // The pipeline the engine reads records through (connected only while printing labels).
  bool PrintLabelPipelineCheckBOF() const { return current_ == 0; }
  bool PrintLabelPipelineCheckEOF() const { return current_ >= static_cast<long>(labels_.size()); }
  void PrintLabelPipelineGotoFirstRecord() { current_ = 0; }
  void PrintLabelPipelineGotoLastRecord() { current_ = static_cast<long>(labels_.size()) - 1; }
  void PrintLabelPipelineTraverseBy(long n) { current_ += n; }
  long PrintLabelPipelineGetBookmark() const { return current_; }
  void PrintLabelPipelineGotoBookmark(long b) { current_ = b; }
  static std::string PrintLabelPipelineGetDataSetName() { return "Adress"; }
  std::string PrintLabelPipelineGetFieldAsString() const { return std::to_string(current_); }
  // The memo's lines: the sample label in design mode, else the label at the current index.
  std::vector<std::string> AdressMemoGetMemo() const;

  // Paper, orientation, printer, bin and document name of the layout on a printer; the page is
  // laid out from the paper's corner (full page).
  void ApplyToPrinter(QPrinter& printer) const;
  // Draws the report on a printer set up by ApplyToPrinter: in design mode the sample label in
  // every place up to the page limit, else one label per record of the pipeline. Returns the
  // number of pages.
  int Render(QPrinter& printer);
  // Labels whose lines do not fit the printable area even at the smallest size, measured on
  // a device (0-based).
  std::vector<size_t> LabelsNotFitting(QPaintDevice& device) const;
  // Prints every marked label through the print dialog; throws std::runtime_error
  // "Nothing to print" without labels. Labels that would be cut are named first, and printed
  // only when the user says so. False when nothing was printed (that answer, or the dialog
  // cancelled). Restores design mode afterwards.
  bool PrintLabels(QWidget* parent);
  // PrintLabels, then asks whether to delete the marked labels (Yes clears them); an error of
  // PrintLabels is shown and nothing is asked, and so is a print that did not happen.
  void PrintMarkedLabels(QWidget* parent);
  // Preview of the design-mode report.
  void Preview(QWidget* parent);

  // Loads a template file (nothing for an empty path); throws ELabelTemplateError.
  void LoadTemplate(const std::string& path);
  void SaveTemplate(const std::string& path) const;
  // Back to the design values; the labels are freed.
  void Reset();

  // Tests and screenshots replace the print dialog (answer true to print) and the running of
  // the preview dialog; empty handlers restore them.
  static void SetPrintDialogHandler(std::function<bool(QPrinter&)> handler);
  static void SetPreviewHandler(std::function<void(QPrintPreviewDialog&)> handler);

 signals:
  // After a label was added or the labels were cleared.
  void LabelCountChanged(size_t count);

 private:
  TLabelLayout layout_;
  std::vector<std::vector<std::string>> labels_;
  long current_ = 0;
  bool designMode_ = true;
};

// What the engine offers: printers ("Default" first), the paper names of a printer ("Custom"
// last), a paper's size in millimetres (portrait; empty when unknown) and the paper bins.
QStringList LabelPrinterNames();
QStringList LabelPaperNames(const QString& printer);
bool LabelPaperSize(const QString& name, double& widthMm, double& heightMm);
QStringList LabelPaperBins(const QString& printer);

// Shows a failed plain-label output ("Error during print: " and why). When the print queue did
// not take the spooled labels, the box asks: Yes sends them again (and asks again if that fails
// too), No discards them, Cancel keeps them for the next form feed.
void ShowLabelOutputFailure(int code);
// At program end: submits the labels still spooled. A failure the user has already seen and
// answered with Cancel in this run is not shown again; the labels stay spooled.
void FlushLabelSpoolAtExit();
// The "Test" button of the label options: the sample label with those options, then where it
// went ("A test label was written to ...", or waiting for the printer), or why it failed.
void PrintTestLabel(const TPrintOptions& options);
