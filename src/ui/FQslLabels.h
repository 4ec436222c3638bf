#pragma once
// "Print QSL labels from ADIF log": the labels of a log's contacts, one per station, on a label
// sheet of a template; a print preview on the template's paper, printing to a printer or a PDF
// file, and QSL_SENT / QSL_SDATE written into the log once the user confirms the print.
#include <QDialog>
#include <QPrinter>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adif/UAdifQsl.h"
#include "callbook/UCallbook.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPrintPreviewDialog;
class QPushButton;
class QRadioButton;

class TQslLabelsForm : public QDialog {
  Q_OBJECT

 public:
  // homeDir: the data set's, whose labels/ folder holds the predefined templates.
  TQslLabelsForm(QWidget* parent, const std::string& homeDir);
  ~TQslLabelsForm() override;

  // Reads the log and makes its labels; false (and the reason in the summary) when it cannot be
  // read.
  bool SetLog(const QString& path);
  void SetTemplate(const QString& entry);  // a predefined template's list entry
  void SetBureau(bool bureau);
  const TQslJob& Job() const { return job_; }
  const TLabelLayout& Layout() const { return layout_; }
  QString SummaryText() const;
  QString UnknownCallsText() const;

  // The print preview on the template's paper; after a print from it the log may be marked.
  void Preview();
  // The print dialog (a printer or a PDF file); after printing the log may be marked.
  void Print();

  // Tests and screenshots replace the running of the preview and of the print dialog (true:
  // print); empty handlers restore them.
  static void SetPreviewHandler(std::function<bool(QPrintPreviewDialog&)> handler);
  static void SetPrintDialogHandler(std::function<bool(QPrinter&)> handler);

 private:
  void Rebuild();
  void AfterPrint();
  void PaintOn(QPrinter& printer);
  std::vector<std::vector<std::string>> LabelLines() const;
  TQslOptions Options() const;

  std::string homeDir_;
  TCallbook callbook_;
  std::string logPath_;
  std::unique_ptr<TAdifLog> log_;
  std::string readError_;
  TLabelLayout layout_;
  std::string templateDescription_;
  TQslJob job_;

  QLineEdit* logEdit_;
  QComboBox* templateBox_;
  QRadioButton* directBtn_;
  QRadioButton* bureauBtn_;
  QRadioButton* unsentBtn_;
  QRadioButton* allBtn_;
  QCheckBox* rangeBox_;
  QDateEdit* fromEdit_;
  QDateEdit* toEdit_;
  QLineEdit* closingEdit_;
  QPlainTextEdit* summary_;
  QLabel* unknownLbl_;
  QPushButton* previewBtn_;
  QPushButton* printBtn_;
};
