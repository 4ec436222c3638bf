// The main window's remaining commands: the reference documents and the help, copying the entry
// shown to the clipboard, the program options and the about box.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include "common/UStatus.h"
#include "dataset/UClipboardText.h"
#include "labels/ULabelReport.h"
#include "report/UReport.h"
#include "settings/FProgramOptions.h"
#include "settings/UProgramOptions.h"
#include "ui/FAbout.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UDocuments.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"

namespace {

// The help file of the data set; the RTF and text forms of the help are documents.
constexpr const char* kHelpFileName = "HELP\\tellmark.html";
constexpr const char* kHelpRtfName = "TEXTE\\TELLMARK.RTF";
constexpr const char* kHelpTextName = "texte\\tellmark.txt";

// The menu's Ctrl+C copies the entry also while a box of the main window has the focus: the
// boxes' own copy shortcut gives way to it.
class TMenuCopyFirst : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!key->matches(QKeySequence::Copy)) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

void TCallViewForm::SetUpCommands() {
  SetHelpFile(FromLocalPath(DataSetPath(kHelpFileName)));
  connect(this, &TCallViewForm::Closed, this, [] { QuitHelp(); });

  const std::pair<QAction*, const char*> documents[] = {
      {ui->N6mBeaconsMenu, "texte\\beacon.txt"},
      {ui->N10MeterBeaconsMenu, "texte\\beacon2.txt"},
      {ui->ViewHFBeaconsItem, "texte\\beaconsw.txt"},
      {ui->AmateurRadioLicencesoftheWorldMenu, "texte\\intlcen.txt"},
      {ui->USAmateursbyStateandZIPCodeMenu, "texte\\census.txt"},
      {ui->NorthAmericanTellmarkCensus1, "texte\\cendsk3.txt"},
      {ui->NorthAmericanTellmarkCensus2, "texte\\cendsk5.txt"},
      {ui->DXCCCountriesListMenu, "texte\\dxcc2.txt"},
      {ui->InternationalQSignalsMenu, "texte\\qsign.txt"},
      {ui->InternationalPostalRates1, "texte\\postal.txt"},
      {ui->LoggingSoftwareVendors1, "texte\\interfac.txt"},
      {ui->QSLBureausMenu, "texte\\qsl2.txt"},
      {ui->ByCountries40ZoneMenu, "texte\\cqzone2.txt"},
      {ui->InternationAmateurRadioPrefixesMenu, "texte\\prefix2.txt"},
      {ui->AgreementsMenu, "texte\\recip2.txt"},
      {ui->LicencesMenu, "texte\\rli.txt"},
      {ui->Standardtimethroughouttheworld1, "texte\\time.txt"},
      {ui->TableofAllocationMenu, "texte\\calls2.txt"},
      {ui->TelegraphCodesMenu, "texte\\telecode.txt"},
      {ui->ThirdPartyTrafficMenu, "texte\\third2.txt"}};
  for (const auto& [action, name] : documents)
    connect(action, &QAction::triggered, this, [this, n = name] { OpenDocument(n); });

  const std::pair<QAction*, void (TCallViewForm::*)()> actions[] = {
      {ui->EditCopyMenu, &TCallViewForm::EditCopyMenuClick},
      {ui->ContentMenu, &TCallViewForm::ContentMenuClick},
      {ui->HelpOpenHelpFileasRTFItem, &TCallViewForm::HelpOpenHelpFileasRTFItemClick},
      {ui->HelpOpenHelpFileAsTextItem, &TCallViewForm::HelpOpenHelpFileAsTextItemClick},
      {ui->AboutMenu, &TCallViewForm::AboutMenuClick},
      {ui->OptOtherItem, &TCallViewForm::OptOtherItemClick}};
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
  auto* copyFirst = new TMenuCopyFirst(this);
  for (QComboBox* box : {ui->CallEdit, ui->ZIPEdit, ui->CountyEdit}) {
    box->installEventFilter(copyFirst);  // an editable box hands the event to its edit
    if (box->lineEdit()) box->lineEdit()->installEventFilter(copyFirst);
  }
}

void TCallViewForm::OpenDocument(const char* relName) {
  if (busy_) return;
  const int result = OpenInNotepad(FromLocalPath(DataSetPath(relName)));
  if (result > 32) return;
  QString message = "Error calling NotePad: " + QString::number(result);
  if (result == kShellFileNotFound)
    message += " (file not found: " + QString::fromStdString(ShownDataSetName(relName)) + ")";
  ShowErrorBox(message);
}

void TCallViewForm::ContentMenuClick() {
  if (busy_) return;
  ShowHelp(0);
}

void TCallViewForm::HelpOpenHelpFileasRTFItemClick() {
  try {
    OpenWithAssociatedProgram(FromLocalPath(DataSetPath(kHelpRtfName)));
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TCallViewForm::HelpOpenHelpFileAsTextItemClick() { OpenDocument(kHelpTextName); }

void TCallViewForm::EditCopyMenuClick() {
  if (busy_ || modalRunning_) return;
  const TAddressStyle style = settings_.addressStyle;
  const TAddressBlockFn block = [this, &style](const TEntryRecord& rec,
                                               std::vector<std::string>& lines) {
    return AddressBlock ? AddressBlock(rec, style, lines)
                        : PlainAddressBlock(rec, style.addCall, style.addCountry, lines);
  };
  const std::string text = ClipboardText(lookup_.Record(), settings_.clipboardFormat, block);
  QApplication::clipboard()->setText(FromData(text));
}

void TCallViewForm::AboutMenuClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  try {
    TAboutBox box(this);
    box.exec();
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

void TCallViewForm::OptOtherItemClick() {
  if (busy_ || modalRunning_) return;
  try {
    TSetOptDlg dialog(this);
    dialog.SetOptions(settings_);
    dialog.EditReportFile = [] {
      if (OpenInTextEditor(FromLocalPath(PrepareReportFileForEditor())) <= 32)
        ShowErrorBox(kCantStartNotepad);
    };
    dialog.ClearReportFile = [] {
      if (const TReportResult r = ::ClearReportFile(); !r) ShowErrorBox(FromData(r.message));
    };
    dialog.SendFormFeed = SendFormFeedToLabels;
    dialog.TestPrintLabel = PrintTestLabel;
    dialog.UpdateHookButtons();
    // The report file follows the name being typed, so that its buttons act on it.
    connect(&dialog, &TSetOptDlg::ReportFileNameChanged, this,
            [](const std::string& name) { SetReportFileName(name); });
    modalRunning_ = true;
    if (dialog.exec() == QDialog::Accepted) {
      TProgramSettings s = settings_;
      s.printOptions = dialog.PrintOptions();
      s.addressStyle = dialog.AddressStyle();
      s.reportOptions = dialog.ReportOptions();
      s.clipboardFormat = dialog.ClipboardFormat();
      s.myLocator = LocatorFromEdit(dialog.Locator());
      s.notesDataFilename = dialog.NotesDataFilename();
      settings_ = s;
      UpdateReportMenu();
      OpenNotesFile(settings_.notesDataFilename);
    }
    // Undoes the names typed into a cancelled dialog.
    SetReportFileName(settings_.reportOptions.fileName);
  } catch (...) {
    SetReportFileName(settings_.reportOptions.fileName);
    ShowErrorBox("Error during creation/handling");
  }
  modalRunning_ = false;
}
