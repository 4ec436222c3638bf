#include "ui/FQslLabels.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <ctime>

#include "common/IOUtil.h"
#include "common/USafeFile.h"
#include "labels/ULabelPaint.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

std::function<bool(QPrintPreviewDialog&)>& PreviewHandler() {
  static std::function<bool(QPrintPreviewDialog&)> h;
  return h;
}
std::function<bool(QPrinter&)>& PrintHandler() {
  static std::function<bool(QPrinter&)> h;
  return h;
}

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

}  // namespace

TQslLabelsForm::TQslLabelsForm(QWidget* parent, const std::string& homeDir)
    : QDialog(parent), homeDir_(homeDir) {
  setWindowTitle("Print QSL labels from ADIF log");
  callbook_.Open();
  auto* form = new QFormLayout;
  logEdit_ = new QLineEdit;
  logEdit_->setReadOnly(true);
  auto* browse = new QPushButton("&Browse...");
  auto* logRow = new QHBoxLayout;
  logRow->addWidget(logEdit_, 1);
  logRow->addWidget(browse);
  form->addRow("ADIF log:", logRow);
  templateBox_ = new QComboBox;
  for (const TPredefinedTemplateName& t : PredefinedTemplateNames())
    templateBox_->addItem(t.entry, QString(t.file));
  form->addRow("&Template:", templateBox_);
  directBtn_ = new QRadioButton("&Direct (the address from the directory)");
  bureauBtn_ = new QRadioButton("B&ureau (no address, sorted by prefix)");
  directBtn_->setChecked(true);
  auto* kindRow = new QVBoxLayout;
  kindRow->addWidget(directBtn_);
  kindRow->addWidget(bureauBtn_);
  form->addRow("Labels:", kindRow);
  unsentBtn_ = new QRadioButton("&Not yet sent (QSL_SENT not Y)");
  allBtn_ = new QRadioButton("&All contacts");
  unsentBtn_->setChecked(true);
  rangeBox_ = new QCheckBox("Only &from");
  fromEdit_ = new QDateEdit(QDate::currentDate().addMonths(-1));
  toEdit_ = new QDateEdit(QDate::currentDate());
  for (QDateEdit* d : {fromEdit_, toEdit_}) {
    d->setDisplayFormat("yyyy-MM-dd");
    d->setCalendarPopup(true);
  }
  auto* pickRow = new QVBoxLayout;
  pickRow->addWidget(unsentBtn_);
  pickRow->addWidget(allBtn_);
  auto* rangeRow = new QHBoxLayout;
  rangeRow->addWidget(rangeBox_);
  rangeRow->addWidget(fromEdit_);
  rangeRow->addWidget(new QLabel("to"));
  rangeRow->addWidget(toEdit_);
  rangeRow->addStretch();
  pickRow->addLayout(rangeRow);
  form->addRow("Contacts:", pickRow);
  closingEdit_ = new QLineEdit(kDefaultQslClosing);
  form->addRow("&Closing line:", closingEdit_);
  summary_ = new QPlainTextEdit;
  summary_->setReadOnly(true);
  summary_->setMinimumHeight(140);
  unknownLbl_ = new QLabel;
  unknownLbl_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox;
  previewBtn_ = buttons->addButton("Pre&view...", QDialogButtonBox::ActionRole);
  printBtn_ = buttons->addButton("&Print...", QDialogButtonBox::ActionRole);
  buttons->addButton(QDialogButtonBox::Close);
  auto* box = new QVBoxLayout(this);
  box->addLayout(form);
  box->addWidget(summary_, 1);
  box->addWidget(unknownLbl_);
  box->addWidget(buttons);
  SizeToScreen(this, QSize(560, 520));

  connect(browse, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getOpenFileName(this, "ADIF log", {},
                                                   "ADIF logs (*.adi *.ADI);;All files (*)");
    if (!f.isEmpty()) SetLog(f);
  });
  connect(templateBox_, &QComboBox::currentIndexChanged, this, [this] { Rebuild(); });
  for (QRadioButton* b : {directBtn_, bureauBtn_, unsentBtn_, allBtn_})
    connect(b, &QRadioButton::toggled, this, [this](bool on) {
      if (on) Rebuild();
    });
  connect(rangeBox_, &QCheckBox::toggled, this, [this] { Rebuild(); });
  connect(fromEdit_, &QDateEdit::dateChanged, this, [this] { Rebuild(); });
  connect(toEdit_, &QDateEdit::dateChanged, this, [this] { Rebuild(); });
  connect(closingEdit_, &QLineEdit::editingFinished, this, [this] { Rebuild(); });
  connect(previewBtn_, &QPushButton::clicked, this, &TQslLabelsForm::Preview);
  connect(printBtn_, &QPushButton::clicked, this, &TQslLabelsForm::Print);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Rebuild();
}

TQslLabelsForm::~TQslLabelsForm() = default;

bool TQslLabelsForm::SetLog(const QString& path) {
  logPath_ = path.toLocal8Bit().toStdString();
  logEdit_->setText(path);
  std::string text;
  log_.reset();
  readError_.clear();
  if (const TSafeFileResult r = ReadRegularFile(logPath_, text); !r)
    readError_ = r.message;
  else
    log_ = std::make_unique<TAdifLog>(TAdifLog::Parse(std::move(text)));
  Rebuild();
  return log_ != nullptr;
}

void TQslLabelsForm::SetTemplate(const QString& entry) {
  const int i = templateBox_->findText(entry);
  if (i >= 0) templateBox_->setCurrentIndex(i);
}

void TQslLabelsForm::SetBureau(bool bureau) {
  (bureau ? bureauBtn_ : directBtn_)->setChecked(true);
}

TQslOptions TQslLabelsForm::Options() const {
  TQslOptions o;
  o.pick = allBtn_->isChecked() ? TQslPick::All : TQslPick::Unsent;
  o.kind = bureauBtn_->isChecked() ? TQslKind::Bureau : TQslKind::Direct;
  if (rangeBox_->isChecked()) {
    o.from = fromEdit_->date().toString("yyyyMMdd").toStdString();
    o.to = toEdit_->date().toString("yyyyMMdd").toStdString();
  }
  o.closing = closingEdit_->text().toStdString();
  return o;
}

void TQslLabelsForm::Rebuild() {
  job_ = {};
  std::string problem;
  const std::string path =
      FindLabelTemplate(templateBox_->currentData().toString().toStdString(), homeDir_);
  try {
    if (path.empty())
      throw ELabelTemplateError("The template is not in the data set's labels folder.");
    layout_ = LoadTemplateFile(path, templateDescription_);
    problem = LayoutProblem(layout_);
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (!readError_.empty()) problem = readError_;
  if (problem.empty() && log_) {
    TCallbookLookupSource source(callbook_);
    job_ = MakeQslLabels(*log_, source, Options(), layout_);
  }
  QString text;
  if (!problem.empty())
    text = QString::fromStdString(problem);
  else if (!log_)
    text = "Choose the ADIF log whose contacts get QSL labels.";
  else
    text = QString::fromStdString(QslSummaryText(*log_, job_));
  summary_->setPlainText(text);
  unknownLbl_->setText(UnknownCallsText());
  previewBtn_->setEnabled(!job_.labels.empty());
  printBtn_->setEnabled(!job_.labels.empty());
}

QString TQslLabelsForm::SummaryText() const { return summary_->toPlainText(); }

QString TQslLabelsForm::UnknownCallsText() const {
  const auto& calls = job_.summary.unknownCalls;
  if (calls.empty()) return {};
  QString t = "Not in the directory (bureau labels): ";
  for (size_t i = 0; i < calls.size(); ++i) t += (i ? ", " : "") + QString::fromStdString(calls[i]);
  return t;
}

std::vector<std::vector<std::string>> TQslLabelsForm::LabelLines() const {
  std::vector<std::vector<std::string>> lines;
  const std::string closing = closingEdit_->text().toStdString();
  for (const TQslLabel& l : job_.labels) lines.push_back(QslLabelLines(l, closing));
  return lines;
}

void TQslLabelsForm::PaintOn(QPrinter& printer) {
  // The template's paper, whatever the dialog's defaults were.
  ApplyLabelPage(printer, layout_);
  PaintLabelSheets(printer, layout_, LabelLines(), QslLabelFont(layout_));
}

void TQslLabelsForm::Preview() {
  if (job_.labels.empty()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName("QSL labels");
  printer.setFullPage(true);
  ApplyLabelPage(printer, layout_);
  QPrintPreviewDialog dialog(&printer, this);
  dialog.setWindowTitle("QSL labels: " + QString::fromStdString(templateDescription_));
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* p) { PaintOn(*p); });
  // Accepted: printed from the preview.
  const bool printed =
      PreviewHandler() ? PreviewHandler()(dialog) : dialog.exec() == QDialog::Accepted;
  if (printed) AfterPrint();
}

void TQslLabelsForm::Print() {
  if (job_.labels.empty()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName("QSL labels");
  printer.setFullPage(true);
  ApplyLabelPage(printer, layout_);
  bool accepted = false;
  if (PrintHandler()) {
    accepted = PrintHandler()(printer);
  } else {
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QString("Print %1 QSL labels").arg(job_.labels.size()));
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (!accepted) return;
  PaintOn(printer);
  AfterPrint();
}

void TQslLabelsForm::AfterPrint() {
  if (!log_ || job_.records.empty()) return;
  const QString question =
      QString(
          "Were the labels printed right? Then %1 contacts are marked as sent (QSL_SENT Y, "
          "QSL_SDATE today) in %2.")
          .arg(job_.records.size())
          .arg(Local(logPath_));
  if (ShowInfoBox(ApplicationTitle(), question, mbYesNo | mbIconQuestion) != idYes) return;
  const std::string marked = MarkQslSent(*log_, job_.records, AdifDateUtc(std::time(nullptr)));
  if (const TSafeFileResult w = WriteFileSafely(logPath_, marked); !w) {
    ShowErrorBox(QString::fromStdString(w.message));
    return;
  }
  SetLog(Local(logPath_));
}

void TQslLabelsForm::SetPreviewHandler(std::function<bool(QPrintPreviewDialog&)> handler) {
  PreviewHandler() = std::move(handler);
}

void TQslLabelsForm::SetPrintDialogHandler(std::function<bool(QPrinter&)> handler) {
  PrintHandler() = std::move(handler);
}
