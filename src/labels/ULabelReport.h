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

class QPrinter;
class QPrintPreviewDialog;
class QWidget;

inline constexpr const char* kNothingToPrint = "Nothing to print";
inline constexpr const char* kAskDeleteMarkedLabels =
    "Ok to delete the labels marked for printing?";

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
  // Prints every marked label through the print dialog; throws std::runtime_error
  // "Nothing to print" without labels. Restores design mode afterwards.
  void PrintLabels(QWidget* parent);
  // PrintLabels, then asks whether to delete the marked labels (Yes clears them); an error of
  // PrintLabels is shown and nothing is asked.
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
