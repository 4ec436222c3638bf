#include "labels/FLabelOptions.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QLocale>
#include <stdexcept>

#include "labels/FLabelSelect.h"
#include "labels/ULabelReport.h"
#include "ui_FLabelOptions.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

std::function<QString(bool, const QString&)>& FileDialogHandler() {
  static std::function<QString(bool, const QString&)> h;
  return h;
}

void SelectOrFirst(QComboBox* box, const QString& text) {
  const int i = box->findText(text);
  box->setCurrentIndex(i >= 0 ? i : (box->count() > 0 ? 0 : -1));
}

}  // namespace

TExtLabelOptDlg::TExtLabelOptDlg(TLabelReportForm& report, bool useOldMethod, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TExtLabelOptDlg>()),
      report_(report),
      useOldMethod_(useOldMethod) {
  ui->setupUi(this);
  setProperty("helpContext", kHelpContext);
  setFixedSize(560, 427);
  connect(ui->UnitsCbx, &QComboBox::currentIndexChanged, this, [this] {
    if (!showing_) UnitsCbxChange();
  });
  connect(ui->PrinternameCbx, &QComboBox::currentIndexChanged, this, [this] {
    if (!showing_) PrinternameCbxChange();
  });
  connect(ui->PaperBinCbx, &QComboBox::currentIndexChanged, this, [this] {
    if (!showing_) PaperBinCbxChange();
  });
  connect(ui->PapernameCbx, &QComboBox::currentIndexChanged, this, [this] {
    if (!showing_) PapernameCbxChange();
  });
  for (QRadioButton* b : {ui->PortraitRadBtn, ui->LandscapeRadBtn})
    connect(b, &QRadioButton::clicked, this, [this] {
      if (!showing_) PortraitRadBtnClick();
    });
  connect(ui->TabbedNotebook1, &QTabWidget::currentChanged, this,
          &TExtLabelOptDlg::TabbedNotebook1Change);
  const std::pair<QPushButton*, void (TExtLabelOptDlg::*)()> buttons[] = {
      {ui->FontBtn, &TExtLabelOptDlg::FontBtnClick},
      {ui->SaveBtn, &TExtLabelOptDlg::SaveBtnClick},
      {ui->LoadBtn, &TExtLabelOptDlg::LoadBtnClick},
      {ui->LoadPredefBtn, &TExtLabelOptDlg::LoadPredefBtnClick},
      {ui->PreviewBtn, &TExtLabelOptDlg::PreviewBtnClick},
      {ui->ResetBtn, &TExtLabelOptDlg::ResetBtnClick},
      {ui->OKBtn, &TExtLabelOptDlg::OKBtnClick}};
  for (const auto& [button, slot] : buttons) connect(button, &QPushButton::clicked, this, slot);
  connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->HelpBtn, &QPushButton::clicked, this, [this] { emit HelpRequested(kHelpContext); });

  // Create: units "inches", the layout, the old-method choice as handed in.
  report_.Layout().units = TLabelUnits::Inches;
  ShowLayout();
  ui->UseOldMethodChkBox->setChecked(useOldMethod_);
}

TExtLabelOptDlg::~TExtLabelOptDlg() = default;

void TExtLabelOptDlg::SetFileDialogHandler(std::function<QString(bool, const QString&)> h) {
  FileDialogHandler() = std::move(h);
}

void TExtLabelOptDlg::SetLength(QLineEdit* edit, double mm) {
  edit->setText(QLocale::system().toString(ToUnits(mm, report_.Layout().units), 'g', 4));
}

double TExtLabelOptDlg::Length(const QLineEdit* edit) const {
  bool ok = false;
  const double v = QLocale::system().toDouble(edit->text().trimmed(), &ok);
  if (!ok)
    throw std::runtime_error("'" + edit->text().toStdString() +
                             "' is not a valid floating point value");
  return FromUnits(v, report_.Layout().units);
}

void TExtLabelOptDlg::ShowLayout() {
  showing_ = true;
  const TLabelLayout& l = report_.Layout();
  ui->UnitsCbx->setCurrentIndex(l.units == TLabelUnits::Inches ? 0 : 1);
  const QString printer = QString::fromStdString(l.printerName);
  ui->PapernameCbx->clear();
  ui->PapernameCbx->addItems(LabelPaperNames(printer));
  SelectOrFirst(ui->PapernameCbx, QString::fromStdString(l.paperName));
  const bool custom = ui->PapernameCbx->count() > 0 &&
                      ui->PapernameCbx->currentIndex() == ui->PapernameCbx->count() - 1;
  ui->PaperWidthEdit->setEnabled(custom);
  ui->PaperHeightEdit->setEnabled(custom);
  ui->PrinternameCbx->clear();
  ui->PrinternameCbx->addItems(LabelPrinterNames());
  SelectOrFirst(ui->PrinternameCbx, printer);
  ui->PaperBinCbx->clear();
  ui->PaperBinCbx->addItems(LabelPaperBins(ui->PrinternameCbx->currentText()));
  SelectOrFirst(ui->PaperBinCbx, QString::fromStdString(l.binName));
  ui->PortraitRadBtn->setChecked(l.portrait);
  ui->LandscapeRadBtn->setChecked(!l.portrait);
  SetLength(ui->PaperWidthEdit, l.paperWidth);
  SetLength(ui->PaperHeightEdit, l.paperHeight);
  SetLength(ui->PaperMarginTopEdit, l.marginTop);
  SetLength(ui->PaperMarginBottomEdit, l.marginBottom);
  SetLength(ui->PaperMarginLeftEdit, l.marginLeft);
  SetLength(ui->PaperMarginRightEdit, l.marginRight);
  ui->NumColEdit->setText(QString::number(l.numColumns));
  SetLength(ui->LabelHeightEdit, l.labelHeight);
  SetLength(ui->BottomOffsetEdit, l.bottomOffset);
  SetLength(ui->ColWidthEdit, l.columnWidth);
  SetLength(ui->PrintAreaTopEdit, l.areaTop);
  SetLength(ui->PrintAreaLeftEdit, l.areaLeft);
  SetLength(ui->PrintAreaWidthEdit, l.areaWidth);
  SetLength(ui->PrintAreaHeightEdit, l.areaHeight);
  QStringList cols;
  for (double x : l.columnPositions)
    cols << QLocale::system().toString(ToUnits(x, l.units), 'g', 4);
  ui->ColPosMemo->setPlainText(cols.join('\n'));
  ui->TemplateNameEdit->setText(FromData(report_.TemplateDescription));
  showing_ = false;
}

void TExtLabelOptDlg::ApplyLayout() {
  TLabelLayout& l = report_.Layout();
  l.units = ui->UnitsCbx->currentIndex() == 1 ? TLabelUnits::Millimetres : TLabelUnits::Inches;
  l.portrait = ui->PortraitRadBtn->isChecked();
  if (ui->PapernameCbx->currentText() == kCustomPaper) {
    l.paperHeight = Length(ui->PaperHeightEdit);
    l.paperWidth = Length(ui->PaperWidthEdit);
  }
  l.marginTop = Length(ui->PaperMarginTopEdit);
  l.marginBottom = Length(ui->PaperMarginBottomEdit);
  l.marginLeft = Length(ui->PaperMarginLeftEdit);
  l.marginRight = Length(ui->PaperMarginRightEdit);
  l.labelHeight = Length(ui->LabelHeightEdit);
  l.bottomOffset = Length(ui->BottomOffsetEdit);
  bool ok = false;
  const int cols = ui->NumColEdit->text().trimmed().toInt(&ok);
  if (!ok || cols < 1 || cols > 100)
    throw std::runtime_error("'" + ui->NumColEdit->text().toStdString() +
                             "' is not a valid number of columns");
  l.numColumns = cols;
  l.columnWidth = Length(ui->ColWidthEdit);
  std::vector<double> positions;
  for (const QString& line : ui->ColPosMemo->toPlainText().split('\n', Qt::SkipEmptyParts)) {
    QLineEdit probe(line);
    positions.push_back(Length(&probe));
  }
  l.columnPositions = positions;
  l.areaTop = Length(ui->PrintAreaTopEdit);
  l.areaLeft = Length(ui->PrintAreaLeftEdit);
  l.areaWidth = Length(ui->PrintAreaWidthEdit);
  l.areaHeight = Length(ui->PrintAreaHeightEdit);
  report_.TemplateDescription = ToData(ui->TemplateNameEdit->text()).substr(0, 80);
}

void TExtLabelOptDlg::UnitsCbxChange() {
  report_.Layout().units =
      ui->UnitsCbx->currentIndex() == 1 ? TLabelUnits::Millimetres : TLabelUnits::Inches;
  ShowLayout();
}

void TExtLabelOptDlg::PrinternameCbxChange() {
  report_.Layout().printerName = ui->PrinternameCbx->currentText().toStdString();
  ShowLayout();
}

void TExtLabelOptDlg::PaperBinCbxChange() {
  report_.Layout().binName = ui->PaperBinCbx->currentText().toStdString();
  ShowLayout();
}

void TExtLabelOptDlg::PortraitRadBtnClick() {
  report_.Layout().portrait = ui->PortraitRadBtn->isChecked();
  ShowLayout();
}

void TExtLabelOptDlg::PapernameCbxChange() {
  TLabelLayout& l = report_.Layout();
  const QString name = ui->PapernameCbx->currentText();
  l.paperName = name.toStdString();
  double w = 0, h = 0;
  if (name != kCustomPaper && LabelPaperSize(name, w, h)) {
    l.paperWidth = w;
    l.paperHeight = h;
  }
  showing_ = true;
  SetLength(ui->PaperWidthEdit, l.paperWidth);
  SetLength(ui->PaperHeightEdit, l.paperHeight);
  showing_ = false;
  const bool custom = ui->PapernameCbx->currentIndex() == ui->PapernameCbx->count() - 1;
  ui->PaperWidthEdit->setEnabled(custom);
  ui->PaperHeightEdit->setEnabled(custom);
}

void TExtLabelOptDlg::TabbedNotebook1Change(int index) {
  try {
    ApplyLayout();
    tab_ = index;
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    const QSignalBlocker block(ui->TabbedNotebook1);
    ui->TabbedNotebook1->setCurrentIndex(tab_);
  }
}

void TExtLabelOptDlg::FontBtnClick() {
  TLabelFont& f = report_.Layout().font;
  QFont font(QString::fromStdString(f.family));
  font.setPointSizeF(f.pointSize);
  font.setBold(f.bold);
  font.setItalic(f.italic);
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font, this, "Font");
  if (!ok) return;
  f.family = chosen.family().toStdString();
  f.pointSize = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : f.pointSize;
  f.bold = chosen.bold();
  f.italic = chosen.italic();
}

QString TExtLabelOptDlg::AskFileName(bool save) {
  const QString title = save ? "Save label template" : "Open label template";
  if (FileDialogHandler()) return FileDialogHandler()(save, title);
  QFileDialog dialog(this, title);
  dialog.setNameFilter("Tellmark label settings (*.cls)");
  dialog.setDefaultSuffix("cls");
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) dialog.selectFile(QString());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void TExtLabelOptDlg::SaveBtnClick() {
  const QString name = AskFileName(true);
  if (name.isEmpty()) return;
  try {
    ApplyLayout();
    report_.SaveTemplate(name.toStdString());
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TExtLabelOptDlg::LoadTemplateAndShow(const std::string& path) {
  try {
    report_.LoadTemplate(path);
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
  ShowLayout();
}

void TExtLabelOptDlg::LoadBtnClick() {
  const QString name = AskFileName(false);
  if (!name.isEmpty()) LoadTemplateAndShow(name.toStdString());
}

void TExtLabelOptDlg::LoadPredefBtnClick() { LoadTemplateAndShow(SelectPredefinedTemplate(this)); }

void TExtLabelOptDlg::PreviewBtnClick() {
  try {
    ApplyLayout();
    report_.Preview(this);
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TExtLabelOptDlg::ResetBtnClick() {
  if (ShowInfoBox(ApplicationTitle(), kAskResetLabels, mbYesNo | mbIconQuestion) != idYes) return;
  report_.Reset();
  report_.Layout().units =
      ui->UnitsCbx->currentIndex() == 1 ? TLabelUnits::Millimetres : TLabelUnits::Inches;
  ShowLayout();
}

void TExtLabelOptDlg::OKBtnClick() {
  try {
    ApplyLayout();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    return;
  }
  useOldMethod_ = ui->UseOldMethodChkBox->isChecked();
  accept();
}
