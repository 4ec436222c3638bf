#include "settings/FProgramOptions.h"

#include <QFile>
#include <QFileDialog>

#include "common/IOUtil.h"
#include "ui_FProgramOptions.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), s.size()); }
std::string Local(const QString& s) { return s.toLocal8Bit().toStdString(); }

QString DefaultAskNotesFile(QWidget* parent, const QString& current) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // a new name creates a notes file
  dialog.setNameFilter("Notes data files (*.ndf)");
  dialog.setDefaultSuffix("ndf");
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

TSetOptDlg::TSetOptDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TSetOptDlg>()) {
  ui->setupUi(this);
  setProperty("helpContext", kHelpContext);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  ui->OptionsNotebook->setCurrentIndex(opGeneral);
  const std::pair<QPushButton*, void (TSetOptDlg::*)()> buttons[] = {
      {ui->RprtRestoreBtn, &TSetOptDlg::RprtRestoreBtnClick},
      {ui->LblRestoreDefaultsBtn, &TSetOptDlg::LblRestoreDefaultsBtnClick},
      {ui->RprtEditFileBtn, &TSetOptDlg::RprtEditFileBtnClick},
      {ui->ClearFileBtn, &TSetOptDlg::ClearFileBtnClick},
      {ui->SendFormFeedBtn, &TSetOptDlg::SendFormFeedBtnClick},
      {ui->LblTestPrintBtn, &TSetOptDlg::LblTestPrintBtnClick},
      {ui->ClearExportFileBtn, &TSetOptDlg::ClearExportFileBtnClick},
      {ui->BrowseBtn, &TSetOptDlg::BrowseBtnClick},
      {ui->HelpBtn, &TSetOptDlg::HelpBtnClick}};
  for (const auto& [button, slot] : buttons) connect(button, &QPushButton::clicked, this, slot);
  connect(ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->RprtFilenameEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { emit ReportFileNameChanged(Local(text)); });
  for (QLineEdit* edit : {ui->NotesDataFilenameEdit, ui->RprtFilenameEdit, ui->LblPrintToEdit})
    connect(edit, &QLineEdit::textChanged, edit, &QWidget::setToolTip);
  AskNotesFile = [this](const QString& current) { return DefaultAskNotesFile(this, current); };
  UpdateHookButtons();
  adjustSize();
  setFixedSize(sizeHint());
  CentreOnScreen(this);
}

TSetOptDlg::~TSetOptDlg() = default;

void TSetOptDlg::UpdateHookButtons() {
  ui->RprtEditFileBtn->setEnabled(static_cast<bool>(EditReportFile));
  ui->ClearFileBtn->setEnabled(static_cast<bool>(ClearReportFile));
  ui->SendFormFeedBtn->setEnabled(static_cast<bool>(SendFormFeed));
  ui->LblTestPrintBtn->setEnabled(static_cast<bool>(TestPrintLabel));
}

void TSetOptDlg::SetOptions(const TProgramSettings& s) {
  printOptions_ = s.printOptions;
  reportOptions_ = s.reportOptions;
  clipboardFormat_ = s.clipboardFormat;
  addressStyle_ = s.addressStyle;
  locator_ = s.myLocator.substr(0, 6);
  const TPrintOptions& po = s.printOptions;
  ui->LblNumLinesEdit->setText(QString::number(po.numLines));
  ui->LblNumCharEdit->setText(QString::number(po.numChar));
  ui->LblLeftMarginEdit->setText(QString::number(po.leftMargin));
  ui->LblPrintToEdit->setText(Local(po.outfileName));
  ui->UseItForCSVChkBox->setChecked(po.useItForCSV);
  ui->SeparatorCharEdit->setText(QString(QChar::fromLatin1(po.separatorChar)));
  switch (s.reportOptions.mode) {
    case rmAlways:
      ui->RprtAlwaysRadBtn->setChecked(true);
      break;
    case rmNever:
      ui->RprtNeverRadBtn->setChecked(true);
      break;
    default:
      ui->RprtOnReqRadBtn->setChecked(true);
  }
  {
    const QSignalBlocker block(ui->RprtFilenameEdit);  // the report file has this name already
    ui->RprtFilenameEdit->setText(Local(s.reportOptions.fileName));
  }
  (s.clipboardFormat != 0 ? ui->AllInfoRadBtn : ui->AdressOnlyRadBtn)->setChecked(true);
  switch (s.addressStyle.addCountry) {
    case 1:
      ui->LblPostalRadBtn->setChecked(true);
      break;
    case 2:
      ui->LblDXCCRadBtn->setChecked(true);
      break;
    default:
      ui->LblNeverAddCountryRadBtn->setChecked(true);
  }
  ui->AddCallChkBox->setChecked(s.addressStyle.addCall);
  ui->LocatorEdit->setText(Local(locator_));
  ui->NotesDataFilenameEdit->setText(Local(s.notesDataFilename));
  FitPathFields();
}

void TSetOptDlg::FitPathFields() {
  // The whole paths in the tooltips, also for names set with their signals blocked.
  for (QLineEdit* edit : {ui->NotesDataFilenameEdit, ui->RprtFilenameEdit, ui->LblPrintToEdit})
    edit->setToolTip(edit->text());
}

std::string TSetOptDlg::NotesDataFilename() const {
  return Local(ui->NotesDataFilenameEdit->text()).substr(0, 255);
}

TProgramOptionsInput TSetOptDlg::Input() const {
  TProgramOptionsInput in;
  in.notesFile = Local(ui->NotesDataFilenameEdit->text());
  in.reportFile = Local(ui->RprtFilenameEdit->text());
  in.outputFile = Local(ui->LblPrintToEdit->text());
  in.lines = Local(ui->LblNumLinesEdit->text());
  in.chars = Local(ui->LblNumCharEdit->text());
  in.margin = Local(ui->LblLeftMarginEdit->text());
  in.locator = Local(ui->LocatorEdit->text());
  return in;
}

bool TSetOptDlg::Validate() {
  const TOptionsCheck check = ValidateProgramOptions(Input());
  if (check) return true;
  ShowErrorBox(Local(check.message));
  ui->OptionsNotebook->setCurrentIndex(check.page);
  return false;
}

void TSetOptDlg::CopyControls() {
  const TProgramOptionsInput in = Input();
  printOptions_ = PrintOptionsOfInput(in, ui->UseItForCSVChkBox->isChecked(),
                                      Local(ui->SeparatorCharEdit->text()));
  addressStyle_.addCountry =
      AddCountryOfButtons(ui->LblPostalRadBtn->isChecked(), ui->LblDXCCRadBtn->isChecked());
  addressStyle_.addCall = ui->AddCallChkBox->isChecked();
  reportOptions_.mode =
      ReportModeOfButtons(ui->RprtAlwaysRadBtn->isChecked(), ui->RprtOnReqRadBtn->isChecked());
  reportOptions_.fileName = in.reportFile;
  clipboardFormat_ = ui->AllInfoRadBtn->isChecked() ? 1 : 0;
  locator_ = in.locator.substr(0, 6);
}

void TSetOptDlg::done(int result) {
  // Only OK is checked; Cancel and the close box always close.
  if (result == QDialog::Accepted && !Validate()) return;
  CopyControls();
  QDialog::done(result);
}

void TSetOptDlg::RprtRestoreBtnClick() {
  ui->RprtOnReqRadBtn->setChecked(true);
  ui->RprtFilenameEdit->setText(Local(DefaultReportFileName()));
}

void TSetOptDlg::LblRestoreDefaultsBtnClick() {
  const TPrintOptions d;
  ui->LblNumLinesEdit->setText(QString::number(d.numLines));
  ui->LblNumCharEdit->setText(QString::number(d.numChar));
  ui->LblLeftMarginEdit->setText(QString::number(d.leftMargin));
  ui->LblPrintToEdit->setText(Local(d.outfileName));
  ui->UseItForCSVChkBox->setChecked(d.useItForCSV);
  ui->SeparatorCharEdit->setText(QString(QChar::fromLatin1(d.separatorChar)));
}

void TSetOptDlg::RprtEditFileBtnClick() {
  if (Validate() && EditReportFile) EditReportFile();
}

void TSetOptDlg::ClearFileBtnClick() {
  if (Validate() && ClearReportFile) ClearReportFile();
}

void TSetOptDlg::SendFormFeedBtnClick() {
  if (!Validate() || !SendFormFeed) return;
  const TProgramOptionsInput in = Input();
  const TPrintOptions edits = PrintOptionsOfInput(in, printOptions_.useItForCSV, "");
  printOptions_.numLines = edits.numLines;
  printOptions_.numChar = edits.numChar;
  printOptions_.leftMargin = edits.leftMargin;
  printOptions_.outfileName = edits.outfileName;
  if (!SendFormFeed(printOptions_)) {
    const int code = LastErrorCode();
    ShowInfoBox(ApplicationTitle(),
                "Error during print: " + QString::number(code) + " (" +
                    QString::fromStdString(RunErrorText(code)) + ")",
                mbOK);
  }
}

void TSetOptDlg::LblTestPrintBtnClick() {
  if (!Validate() || !TestPrintLabel) return;
  TestPrintLabel(PrintOptionsOfInput(Input(), ui->UseItForCSVChkBox->isChecked(),
                                     Local(ui->SeparatorCharEdit->text())));
}

void TSetOptDlg::ClearExportFileBtnClick() {
  const std::string name = Local(ui->LblPrintToEdit->text());
  if (IsPrinterOrDeviceName(name)) return;  // a printer queue or device is no file to clear
  QFile f(Local(name));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.close();  // errors are ignored
}

void TSetOptDlg::BrowseBtnClick() {
  if (!AskNotesFile) return;
  const QString chosen = AskNotesFile(ui->NotesDataFilenameEdit->text());
  if (!chosen.isEmpty()) ui->NotesDataFilenameEdit->setText(chosen);
}

void TSetOptDlg::HelpBtnClick() { ShowHelp(kHelpContext); }
