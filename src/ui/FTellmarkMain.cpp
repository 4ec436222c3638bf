#include "ui/FTellmarkMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>

#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULocator.h"
#include "report/UReport.h"
#include "settings/USettings.h"
#include "ui/FDetail.h"
#include "ui/UStartUp.h"
#include "ui_FTellmarkMain.h"
#include "widgets/FDocumentViewer.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

void SetHistoryItems(QComboBox* box, const TSearchHistory& history) {
  const QString text = box->currentText();
  const QSignalBlocker block(box);
  box->clear();
  for (const std::string& key : history.Items()) box->addItem(FromData(key));
  box->setEditText(text);
}

void SelectAllAndFocus(QComboBox* box) {
  if (box->lineEdit()) box->lineEdit()->selectAll();
  box->setFocus();
}

// Sets Busy for the time of a step, also when it fails.
class TBusyScope {
 public:
  explicit TBusyScope(TCallViewForm* form) : form_(form) { form_->SetBusy(true); }
  ~TBusyScope() { form_->SetBusy(false); }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TCallViewForm* form_;
};

// The document viewers keep their size in the settings file, beside every other key.
constexpr const char* kViewerSection = "DocumentViewer";
TViewerSizeStore ViewerSizeInSettings() {
  return {[] {
            TSettingsFile file(SettingsFilePath());
            file.Load();
            return QSize(file.ReadInteger(kViewerSection, "Width", 0),
                         file.ReadInteger(kViewerSection, "Height", 0));
          },
          [](const QSize& size) {
            TSettingsFile file(SettingsFilePath());
            file.Load();
            file.WriteInteger(kViewerSection, "Width", size.width());
            file.WriteInteger(kViewerSection, "Height", size.height());
            file.Save();
          }};
}

}  // namespace

TCallViewForm::TCallViewForm(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TCallViewForm>()) {
  ui->setupUi(this);
  SetDocumentViewerSizeStore(ViewerSizeInSettings());

  // The Enter key runs SearchBtnClick wherever the focus is (the hidden default button).
  for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
            &TCallViewForm::SearchBtnClick);
  connect(ui->SearchBtn, &QPushButton::clicked, this, &TCallViewForm::SearchBtnClick);

  const std::pair<QAction*, void (TCallViewForm::*)()> actions[] = {
      {ui->FileUSdatabaseMenu, &TCallViewForm::FileUSDatabaseMenuClick},
      {ui->FileIntlDatabaseMenu, &TCallViewForm::FileIntlDatabaseMenuClick},
      {ui->ExitMenu, &TCallViewForm::ExitMenuClick},
      {ui->SearchCallMenu, &TCallViewForm::SearchCallMenuClick},
      {ui->SearchNameMenu, &TCallViewForm::SearchNameMenuClick},
      {ui->SearchCityMenu, &TCallViewForm::SearchCityMenuClick},
      {ui->SearchZIPMenu, &TCallViewForm::SearchZIPMenuClick},
      {ui->SearchCountyMenu, &TCallViewForm::SearchCountyMenuClick},
      {ui->ViewDetailItem, &TCallViewForm::ViewDetailItemClick},
      {ui->ViewMainWindow, &TCallViewForm::ViewMainWindowClick}};
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);

  const std::pair<QAbstractButton*, void (TCallViewForm::*)()> buttons[] = {
      {ui->VorBtn, &TCallViewForm::VorBtnClick},
      {ui->ZurueckBtn, &TCallViewForm::ZurueckBtnClick},
      {ui->Plus10Btn, &TCallViewForm::Plus10BtnClick},
      {ui->Minus10Btn, &TCallViewForm::Minus10BtnClick},
      {ui->Plus100Btn, &TCallViewForm::Plus100BtnClick},
      {ui->Minus100Btn, &TCallViewForm::Minus100BtnClick},
      {ui->Plus1000Btn, &TCallViewForm::Plus1000BtnClick},
      {ui->Minus1000Btn, &TCallViewForm::Minus1000BtnClick},
      {ui->ShowDetailsBtn, &TCallViewForm::ShowDetailsBtnClick}};
  for (const auto& [button, slot] : buttons) connect(button, &QAbstractButton::clicked, this, slot);
  // A radio button's handler runs when a click checks it; a click on the button that is checked
  // already (Qt reports it as a click too) changes nothing.
  const std::pair<QRadioButton*, void (TCallViewForm::*)()> radios[] = {
      {ui->dbUSRadBtn, &TCallViewForm::dbUSRadBtnClick},
      {ui->dbIntlRadBtn, &TCallViewForm::dbIntlRadBtnClick},
      {ui->SortByCallRadBtn, &TCallViewForm::SortByCallRadBtnClick},
      {ui->SortByNameRadBtn, &TCallViewForm::SortByNameRadBtnClick},
      {ui->SortByCityRadBtn, &TCallViewForm::SortByCityRadBtnClick},
      {ui->SortByZIPRadBtn, &TCallViewForm::SortByZIPRadBtnClick},
      {ui->SortByCountyRadBtn, &TCallViewForm::SortByCountyRadBtnClick},
      {ui->SortByResultsRadBtn, &TCallViewForm::SortByResultsRadBtnClick}};
  for (const auto& [radio, slot] : radios) {
    connect(radio, &QAbstractButton::pressed, this,
            [this, r = radio] { radioWasChecked_ = r->isChecked(); });
    connect(radio, &QAbstractButton::clicked, this, [this, s = slot] {
      if (!radioWasChecked_) (this->*s)();
    });
  }
  for (QRadioButton* b : {ui->SortByCallRadBtn, ui->SortByNameRadBtn, ui->SortByCityRadBtn,
                          ui->SortByZIPRadBtn, ui->SortByCountyRadBtn, ui->SortByResultsRadBtn})
    b->installEventFilter(this);

  // "Main Window" brings the main window back from any window of the program.
  ui->ViewMainWindow->setShortcutContext(Qt::ApplicationShortcut);

  // Step buttons as wide as their longest caption needs, not the style's minimum button width.
  const int stepWidth = ui->VorBtn->fontMetrics().horizontalAdvance("+ 1000") +
                        2 * ui->VorBtn->fontMetrics().averageCharWidth() + 8;
  for (QPushButton* b : {ui->Minus1000Btn, ui->Minus100Btn, ui->Minus10Btn, ui->ZurueckBtn,
                         ui->VorBtn, ui->Plus10Btn, ui->Plus100Btn, ui->Plus1000Btn})
    b->setFixedWidth(stepWidth);

  // Room for the longest position text, "123456 of 123456", between the step buttons.
  ui->RecNrText->setMinimumWidth(
      ui->RecNrText->fontMetrics().horizontalAdvance("000000 of 000000") +
      ui->RecNrText->fontMetrics().averageCharWidth());

  // The status line under the client area (what a command did to a file), no size grip.
  statusBar()->setSizeGripEnabled(false);
  statusBar()->setObjectName("StatusLine");
  setWindowTitle(EditionTitle());
  baseTitle_ = windowTitle();

  // The client area is 561 x 413 at 96 dpi, more where the fonts need it. The window can be
  // enlarged (the entry's fields take the room); on a screen smaller than the client area (a
  // large scale) the window fits the screen and the client area scrolls.
  for (QComboBox* box : {ui->CallEdit, ui->ZIPEdit, ui->CountyEdit})
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  ui->CountyLbl->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  ui->CentralWidget->setMinimumSize(ui->CentralWidget->minimumSizeHint().expandedTo({561, 413}));
  // The licence and QRA boxes take the height; their lines stay at the top.
  for (QGridLayout* grid : {ui->LicenceLayout, ui->QRALayout})
    grid->setRowStretch(grid->rowCount(), 1);
  for (QGroupBox* box : {ui->LicenceGrp, ui->QRABox})
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("CentralScroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(takeCentralWidget());
  setCentralWidget(scroll);

  SetUpNotes();
  SetUpSearchBoxKeys();
  SetUpSearchCommands();
  SetUpReportCommands();
  SetUpMorseCommands();
  SetUpLabelCommands();
  SetUpCommands();
  FormCreate();
  SetUpEditionWatch();
  // The start call selected: the first call typed replaces it.
  SelectAllAndFocus(ui->CallEdit);
  FitToContents();
}

void TCallViewForm::FitToContents() {
  // The whole client area as the entry shown needs it, with the menu and the status line, at
  // most the screen.
  auto* scroll = qobject_cast<QScrollArea*>(centralWidget());
  const QWidget* client = scroll->widget();
  scroll->setMinimumSize(
      client->sizeHint().expandedTo(client->minimumSizeHint()).expandedTo(client->minimumSize()));
  const QSize wanted = sizeHint();
  scroll->setMinimumSize(0, 0);
  SizeToScreen(this, wanted);
}

TCallViewForm::~TCallViewForm() {
  if (busyCursor_) QApplication::restoreOverrideCursor();
}

void TCallViewForm::FormCreate() {
  created_ = false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct TRestore {
    ~TRestore() { QApplication::restoreOverrideCursor(); }
  } restore;
  noDisplay_ = true;
  modalRunning_ = false;
  noDisplay_ = false;
  ui->SortByCallRadBtn->setChecked(true);
  busy_ = false;
  OpenWordLists();
  SwitchToIntl();
  LoadSettings();
  // The report file name before the start call is shown (report mode "always" adds it).
  ApplyReportSettings();
  if (!RemoveBlanks(settings_.lastCall).empty()) FindCall(FromData(settings_.lastCall));
  UpdateLabelMenu();
  OpenNotesFile(settings_.notesDataFilename);
  created_ = true;
}

void TCallViewForm::LoadSettings() {
  TSettingsFile file(SettingsFilePath());
  file.Load();
  bool notice = false;
  settings_ = LoadProgramSettings(file, notice);
  if (notice) {
    try {
      ShowInfoBox(ApplicationTitle(), kLabelMethodNotice, mbOK | mbIconInformation);
    } catch (...) {
    }
  }
  mapFitAlways_ = settings_.mapFitAlways;
}

bool TCallViewForm::FormCloseQuery() { return MorseCloseQuery(); }

void TCallViewForm::FormClose() {
  settings_.mapFitAlways = mapFitAlways_;
  try {
    TSettingsFile file(SettingsFilePath());
    file.Load();  // keys of other programs' versions stay
    SaveProgramSettings(file, settings_, currentCall_, mapFitAlways_, HomeDir());
  } catch (...) {
    // A settings file that cannot be written does not keep the program from ending.
  }
  CloseReportFile();
  FlushLabelSpool();
}

void TCallViewForm::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  closing_ = true;
  FormClose();
  event->accept();
  emit Closed();
}

bool TCallViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (SearchBoxKeyFilter(watched, event)) return true;
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == ui->SortByCallRadBtn) SearchCallMenuClick();
    if (watched == ui->SortByNameRadBtn) SearchNameMenuClick();
    if (watched == ui->SortByCityRadBtn) SearchCityMenuClick();
    if (watched == ui->SortByZIPRadBtn) SearchZIPMenuClick();
    if (watched == ui->SortByCountyRadBtn) SearchCountyMenuClick();
    if (watched == ui->SortByResultsRadBtn) SearchTextSearchMenuClick();
  }
  return QMainWindow::eventFilter(watched, event);
}

void TCallViewForm::SetBusy(bool on) {
  busy_ = on;
  if (on && !busyCursor_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    busyCursor_ = true;
  } else if (!on && busyCursor_) {
    QApplication::restoreOverrideCursor();
    busyCursor_ = false;
  }
}

void TCallViewForm::ShowStatus(const QString& text) {
  statusBar()->showMessage(text, kStatusMilliseconds);
}

QString TCallViewForm::CurrentCall() const { return FromData(currentCall_); }

QString TCallViewForm::GetMyLocator() const { return FromData(Cut(settings_.myLocator, 6)); }

// ---- Database selection

void TCallViewForm::ApplyDatabaseControls() {
  const bool us = !lookup_.IsIntl();
  ui->SortByCallRadBtn->setChecked(true);
  SyncRadioButtons();
  for (QWidget* w :
       {static_cast<QWidget*>(ui->ZIPEdit), static_cast<QWidget*>(ui->CountyEdit),
        static_cast<QWidget*>(ui->SortByNameRadBtn), static_cast<QWidget*>(ui->SortByCityRadBtn),
        static_cast<QWidget*>(ui->SortByZIPRadBtn), static_cast<QWidget*>(ui->SortByCountyRadBtn)})
    w->setEnabled(us);
  for (QLabel* l :
       {ui->DataZIPLbl, ui->DataStateLbl, ui->DataLicIssuedLbl, ui->DataLicExpDateLbl,
        ui->PrevCallLbl, ui->PrevClassLbl, ui->VanityCallLbl, ui->QRALatitudeLbl,
        ui->QRALongitudeLbl, ui->QRATimeZoneLbl, ui->QRAAreaCodeLbl, ui->CountyLbl, ui->LocatorLbl})
    l->setEnabled(us);
  ui->DataLicClassLbl->setEnabled(true);
  for (QAction* a :
       {ui->SearchNameMenu, ui->SearchCityMenu, ui->SearchZIPMenu, ui->SearchCountyMenu})
    a->setEnabled(us);
  if (us) return;
  // Fields the International database does not have are emptied once, here.
  ui->ZIPEdit->setEditText(QString());
  ui->CountyEdit->setEditText(QString());
  for (QLabel* l :
       {ui->StateText, ui->LicClassText, ui->LicIssuedText, ui->LicExpText, ui->PrevCallText,
        ui->PrevClassText, ui->VanityCallText, ui->QRALatitudeText, ui->QRALongitudeText,
        ui->QRATimeZoneText, ui->QRAAreaCodeText, ui->LocatorText})
    l->clear();
}

void TCallViewForm::SyncRadioButtons() {
  const bool intl = lookup_.IsIntl();
  ui->dbUSRadBtn->setChecked(!intl);
  ui->dbIntlRadBtn->setChecked(intl);
  ui->FileUSdatabaseMenu->setChecked(!intl);
  ui->FileIntlDatabaseMenu->setChecked(intl);
  CheckOrderButton(lookup_.InResults() ? ui->SortByResultsRadBtn
                                       : OrderButton(lookup_.SortIndex()));
}

QRadioButton* TCallViewForm::OrderButton(int index) const {
  switch (index) {
    case oiUSName:
      return ui->SortByNameRadBtn;
    case oiUSCity:
      return ui->SortByCityRadBtn;
    case oiUSZIP:
      return ui->SortByZIPRadBtn;
    case oiUSCounty:
      return ui->SortByCountyRadBtn;
    default:
      return ui->SortByCallRadBtn;
  }
}

void TCallViewForm::CheckOrderButton(QRadioButton* button) { button->setChecked(true); }

void TCallViewForm::SwitchToUS() {
  noDisplay_ = true;
  lookup_.SwitchToUS();
  ApplyDatabaseControls();
  noDisplay_ = false;
  {
    TBusyScope busy(this);
    ShowCurrentEntry();
  }
  SetListOrder(1);
}

void TCallViewForm::SwitchToIntl() {
  noDisplay_ = true;
  lookup_.SwitchToIntl();
  ApplyDatabaseControls();
  noDisplay_ = false;
  {
    TBusyScope busy(this);
    ShowCurrentEntry();
  }
  SetListOrder(0);
}

void TCallViewForm::FileUSDatabaseMenuClick() {
  if (busy_ || modalRunning_) return SyncRadioButtons();
  SwitchToUS();
}

void TCallViewForm::FileIntlDatabaseMenuClick() {
  if (busy_ || modalRunning_) return SyncRadioButtons();
  SwitchToIntl();
}

void TCallViewForm::dbUSRadBtnClick() { FileUSDatabaseMenuClick(); }
void TCallViewForm::dbIntlRadBtnClick() { FileIntlDatabaseMenuClick(); }

void TCallViewForm::ExitMenuClick() { close(); }

void TCallViewForm::ViewMainWindowClick() {
  showNormal();
  raise();
  activateWindow();
}

// ---- Entry display

void TCallViewForm::ShowCurrentEntry() {
  setWindowTitle(baseTitle_);
  shownCall_.clear();
  shownLocator_.clear();
  mapNumber_ = 0;
  if (noDisplay_) return;
  ui->RecNrText->setText(FromData(lookup_.RecNrText()));
  if (!lookup_.LoadCurrent()) return;  // the previous entry's fields stay
  ShowEntryFields(MakeEntryView(lookup_.Record()));
  ShowTypedCall();
  emit EntryShown();
}

void TCallViewForm::ShowEntryFields(const TEntryView& v) {
  const bool us = v.db == TDatabase::US;
  shownCall_ = FromData(v.call);
  currentCall_ = v.currentCall;
  shownLocator_ = FromData(v.locator);
  mapNumber_ = v.mapNr;
  qslManagerRef_ = v.qslManagerRef;
  ui->CallEdit->setEditText(shownCall_);
  if (us) {
    ui->ZIPEdit->setEditText(FromData(v.zip));
    ui->StateText->setText(FromData(v.state));
    ui->LicIssuedText->setText(FromData(v.issued));
    ui->LicExpText->setText(FromData(v.expires));
    ui->QRALongitudeText->setText(FromData(LongitudeText(v.longitude)));
    ui->QRALatitudeText->setText(FromData(LatitudeText(v.latitude)));
    ui->QRAAreaCodeText->setText(FromData(v.areaCode));
    ui->CountyEdit->setEditText(FromData(v.county));
    ui->QRATimeZoneText->setText(FromData(v.timeZone));
    ui->PrevCallText->setText(FromData(v.prevCall));
    ui->PrevClassText->setText(FromData(v.prevClass));
    ui->VanityCallText->setText(FromData(v.vanity));
  }
  ui->LicClassText->setText(FromData(v.classText));
  ui->LocatorText->setText(shownLocator_);
  ui->QTHText->setText(QString::fromStdString(QthNoBreak(Cp437ToUtf8(v.qth))));
  ui->CountryText->setText(FromData(v.country));
  ui->DXCCText->setText(FromData(v.dxcc));
  ui->QSLMgrBtn->setEnabled(v.qslManagerRef != 0);
  ui->ShowDetailsBtn->setEnabled(v.HasDetails());
  // "Map" follows its menu item, which stays disabled until the map window exists.
  ui->MapBtn->setEnabled(v.mapNr != 0 && ui->ViewMapItem->isEnabled());
  if (created_ && details_) {
    details_->SetCall(shownCall_);
    details_->SetDetails(FromData(v.comments), FromData(v.fax), FromData(v.eMail));
  }
}

void TCallViewForm::ViewDetailItemClick() {
  ShowCurrentEntry();
  if (!details_) return;
  details_->showNormal();
  details_->raise();
}

void TCallViewForm::ShowDetailsBtnClick() { ViewDetailItemClick(); }

// ---- Searches

void TCallViewForm::SearchBtnClick() {
  const QWidget* focus = QApplication::focusWidget();
  const auto has = [focus](const QComboBox* box) {
    return focus && (focus == box || box->isAncestorOf(focus));
  };
  if (has(ui->CallEdit))
    SearchCallEdit();
  else if (has(ui->ZIPEdit))
    SearchZIP();
  else if (has(ui->CountyEdit))
    SearchCounty();
  else
    QApplication::beep();
}

void TCallViewForm::FindCall(const QString& text) {
  ShowCallLookup(lookup_.FindCall(ToData(text)));
}

void TCallViewForm::ShowCallLookup(const TCallLookup& r, std::string_view logged) {
  if (!r.searched) return;
  typed_ = {};
  if (r.exact && !r.designators.empty())
    typed_ = {lookup_.Database(), lookup_.CurrentRef(), r.designators, std::string(logged)};
  noDisplay_ = true;
  if (r.switched) ApplyDatabaseControls();
  CheckOrderButton(ui->SortByCallRadBtn);
  noDisplay_ = false;
  {
    TBusyScope busy(this);
    ShowCurrentEntry();
  }
  SetListOrder(lookup_.ListOrder());
  QString message = FromData(r.message);
  if (!r.exact && MissingCallHandler && MissingCallHandler(FromData(r.call))) message.clear();
  if (!message.isEmpty()) ShowInfoBox(message);
}

void TCallViewForm::SearchCallEdit() {
  if (busy_ || modalRunning_) return;
  const std::string typed = ToData(ui->CallEdit->currentText());
  const TCallLookup r = lookup_.SearchCallEdit(typed);
  SetHistoryItems(ui->CallEdit, lookup_.CallHistory());
  ShowCallLookup(r, AsciiUpper(TrimBlanks(typed)));
  // Also after a message box, when the window is not yet active again: the next call typed
  // replaces this one.
  SelectAllAndFocus(ui->CallEdit);
}

void TCallViewForm::SearchCallMenuClick() {
  if (busy_ || modalRunning_) return;
  SearchCallEdit();
}

void TCallViewForm::ShowSearchResult(const TOrderLookup& result, QRadioButton* order,
                                     QComboBox* box, bool modal) {
  if (!result.exact) {
    if (modal) modalRunning_ = true;
    ShowInfoBox(FromData(result.message));
    if (modal) {
      QCoreApplication::processEvents();
      modalRunning_ = false;
    }
  }
  CheckOrderButton(order);
  {
    TBusyScope busy(this);
    ShowCurrentEntry();
  }
  SetListOrder(lookup_.ListOrder());
  if (box) SelectAllAndFocus(box);
}

void TCallViewForm::SearchZIP() {
  if (lookup_.IsIntl() || busy_ || modalRunning_) return;
  const TOrderLookup r = lookup_.SearchZIP(ToData(ui->ZIPEdit->currentText()));
  SetHistoryItems(ui->ZIPEdit, lookup_.ZIPHistory());
  ShowSearchResult(r, ui->SortByZIPRadBtn, ui->ZIPEdit, true);
}

void TCallViewForm::SearchCounty() {
  if (lookup_.IsIntl() || busy_ || modalRunning_) return;
  const TOrderLookup r = lookup_.SearchCounty(ToData(ui->CountyEdit->currentText()));
  SetHistoryItems(ui->CountyEdit, lookup_.CountyHistory());
  ShowSearchResult(r, ui->SortByCountyRadBtn, ui->CountyEdit, true);
}

void TCallViewForm::SearchZIPMenuClick() { SearchZIP(); }
void TCallViewForm::SearchCountyMenuClick() { SearchCounty(); }

void TCallViewForm::SearchName() {
  SearchByInput("Type in the name and press Enter:", &TLookup::SearchName, ui->SortByNameRadBtn,
                false);
}

void TCallViewForm::SearchCity() {
  SearchByInput("Type in the city and press Enter:", &TLookup::SearchCity, ui->SortByCityRadBtn,
                true);
}

void TCallViewForm::SearchByInput(const QString& prompt,
                                  TOrderLookup (TLookup::*search)(std::string_view),
                                  QRadioButton* order, bool processEventsAtEnd) {
  if (busy_ || modalRunning_ || lookup_.IsIntl()) return;
  modalRunning_ = true;
  try {
    QString text;
    if (InputBox(ApplicationTitle(), prompt, text)) {
      const TOrderLookup r = (lookup_.*search)(ToData(text));
      if (r.searched) ShowSearchResult(r, order, nullptr, false);
    }
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  if (processEventsAtEnd) QCoreApplication::processEvents();
  modalRunning_ = false;
}

void TCallViewForm::SearchNameMenuClick() { SearchName(); }
void TCallViewForm::SearchCityMenuClick() { SearchCity(); }

// ---- Orders and stepping

void TCallViewForm::StepBy(int32_t n) {
  if (busy_) return;
  TBusyScope busy(this);
  lookup_.MoveBy(n);
  ShowCurrentEntry();
}

void TCallViewForm::OrderButtonClick(int index) {
  if (busy_) return SyncRadioButtons();
  {
    TBusyScope busy(this);
    lookup_.SelectOrder(index);
    ShowCurrentEntry();
  }
  SetListOrder(ListOrderOfOrder(index));
}

void TCallViewForm::SortByCallRadBtnClick() {
  OrderButtonClick(lookup_.IsIntl() ? oiIntlCall : oiUSCall);
}

void TCallViewForm::SortByResultsRadBtnClick() {
  if (busy_) return SyncRadioButtons();
  if (lookup_.ResultCount() < 1) {
    CheckOrderButton(ui->SortByCallRadBtn);
    SortByCallRadBtnClick();
    return;
  }
  CheckOrderButton(ui->SortByResultsRadBtn);
  {
    TBusyScope busy(this);
    lookup_.SelectResults();
    ShowCurrentEntry();
  }
  SetListOrder(kResultsListOrder);
}

void TCallViewForm::SetListOrder(int listOrder) {
  lookup_.SetListOrder(listOrder);
  if (!lookup_.InResults()) ui->RecNrText->clear();
  emit ListOrderChanged(listOrder, lookup_.Position());
}

void TCallViewForm::GoToPosition(int32_t position) {
  if (position == lookup_.Position()) return;
  TBusyScope busy(this);
  lookup_.GoToPosition(position);
  ShowCurrentEntry();
}

void TCallViewForm::SetSearchResults(std::shared_ptr<const TResultSource> results) {
  lookup_.SetResults(std::move(results));
  SortByResultsRadBtnClick();  // without results it selects the call order
}
