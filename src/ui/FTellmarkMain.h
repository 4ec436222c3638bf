#pragma once
// The main window: one entry of the directory at a time, the database and sort order, searches,
// stepping, the entry display and the commands. The look-up state lives in TLookup; the window
// holds the guards, the settings and the widgets.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "notes/UNotesIO.h"
#include "settings/USettings.h"
#include "textsearch/UTextSearch.h"

class TDetailsForm;
class TEditNotesForm;
class TQslMgrForm;
class TListViewForm;
class TCWOutputForm;
class TLabelReportForm;
class TMapForm;
class TBeaconSchedulerForm;
class TBandActivityForm;
class TCallbook;
class QRadioButton;
class QComboBox;
class QKeyEvent;
class QFileSystemWatcher;
class QTimer;

namespace Ui {
class TCallViewForm;
}

class TCallViewForm : public QMainWindow {
  Q_OBJECT

 public:
  // Runs the creation: first International entry, settings, start call. The data set must be
  // open.
  explicit TCallViewForm(QWidget* parent = nullptr);
  ~TCallViewForm() override;

  // The details window, created after the main window; kept in step once Created.
  void SetDetailsForm(TDetailsForm* form) { details_ = form; }

  // State for the secondary windows and the later commands.
  TLookup& Lookup() { return lookup_; }
  const TLookup& Lookup() const { return lookup_; }
  TProgramSettings& Settings() { return settings_; }
  bool Busy() const { return busy_; }
  bool ModalRunning() const { return modalRunning_; }
  void SetModalRunning(bool on) { modalRunning_ = on; }
  bool NoDisplay() const { return noDisplay_; }
  bool Created() const { return created_; }
  bool IsIntl() const { return lookup_.IsIntl(); }
  QString ShownCall() const { return shownCall_; }
  QString ShownLocator() const { return shownLocator_; }
  // Call of the entry shown, up to 15 characters (saved as the start call).
  QString CurrentCall() const;
  int MapNumber() const { return mapNumber_; }
  int32_t QslManagerRef() const { return qslManagerRef_; }
  bool MapFitAlways() const { return mapFitAlways_; }
  void SetMapFitAlways(bool on) { mapFitAlways_ = on; }
  // Own locator of the settings (6 characters).
  QString GetMyLocator() const;
  int32_t GetResultCount() const { return lookup_.ResultCount(); }

  // Called when a looked-up call is in neither database; returning true drops the not-found
  // message (the notes editor opened for the call instead).
  std::function<bool(const QString& call)> MissingCallHandler;

  // Notes (FTellmarkMainNotes.cpp). Opens the notes file of that name (local file-system bytes),
  // closing the one open; an empty name leaves none open. The same name again does nothing.
  void OpenNotesFile(const std::string& name);
  // Shows the notes editor for a call (at most 15 characters) and runs its Find.
  void OpenNotesFor(const QString& call);
  TNotes* Notes() const { return notes_.get(); }
  TEditNotesForm* NotesForm() const { return notesForm_; }

  // Text search and the table windows (FTellmarkMainSearch.cpp). A word list is null when it
  // could not be opened at creation.
  TWortListe* WordList(TDatabase db) const;
  TSuchInfo& SearchInfo(TDatabase db);
  // Opens the QSL manager list on a record of the QSL managers file (0 = none).
  void ShowQslManagers(int32_t record);
  void ShowListView();
  TQslMgrForm* QslManagerForm() const { return qslForm_; }
  TListViewForm* ListViewForm() const;

  // Report file (FTellmarkMainReport.cpp). Appends the call of the entry shown.
  void AddCurrentToReport();
  // The add commands are enabled unless the report mode is "never".
  void UpdateReportMenu();
  // The ADIF log of "Add calls from ADIF log..." (a file dialog unless set); empty: cancelled.
  std::function<QString()> AskAdifLog;

  // Morse output (FTellmarkMainMorse.cpp): the "CW Output" window, made at creation and kept.
  TCWOutputForm* CWOutputForm() const { return cwForm_; }
  // The label layout of the template method, created on first use (FTellmarkMainLabels.cpp).
  TLabelReportForm* LabelReport();

  // Hourglass cursor while on.
  void SetBusy(bool on);
  // The status line: what a command did to a file; fades after kStatusMilliseconds.
  static constexpr int kStatusMilliseconds = 6000;
  void ShowStatus(const QString& text);

  // Map window (FTellmarkMainMap.cpp), created after the main window; none when the edition has
  // no maps or they cannot be opened. Also sets up the beacon scheduler command.
  void CreateMapForm();
  // Sizes the window to its client area as the entry shown needs it, at most the screen.
  void FitToContents();
  TMapForm* MapForm() const { return mapForm_; }
  TBeaconSchedulerForm* BeaconSchedulerForm() const { return beaconForm_; }
  // Screenshot mode: shows the entry's map (or, with world, the top of its zoom chain), lets the
  // ring grow a little and saves the window into file.
  void TakeMapScreenshot(const QString& file, bool world);
  // Screenshot mode: the beacon scheduler (beacons.png) and the world map following the active
  // beacon (map-beacon.png) into dir.
  void TakeBeaconScreenshots(const QString& dir);
  // Commands (FTellmarkMainCommands.cpp). Opens a document of the data set (relative name, as
  // "texte\\beacon.txt") in the text viewer, unless Busy.
  void OpenDocument(const char* relName);
  // The address block of "Copy" in the format "Address only"; the label formatting sets it
  // (until then a plain block made from the address field is used).
  std::function<bool(const TEntryRecord& rec, const TAddressStyle& style,
                     std::vector<std::string>& lines)>
      AddressBlock;
  // "Send form feed" of the options dialog; the label output sets it (unset: button disabled).
  std::function<bool(const TPrintOptions& options)> SendFormFeedToLabels;

 public slots:
  void SwitchToUS();
  void SwitchToIntl();
  void ShowCurrentEntry();
  void FindCall(const QString& text);
  void SearchCallEdit();
  void SearchZIP();
  void SearchCounty();
  void SearchName();
  void SearchCity();
  void GoToPosition(int32_t position);
  void SetListOrder(int listOrder);
  // Results of a text search: selects the "Search results" order when there are any, else the
  // call order.
  void SetSearchResults(std::shared_ptr<const TResultSource> results);
  void UpdateLabelMenu();

  // Menu, button and radio button handlers.
  void FileUSDatabaseMenuClick();
  void FileIntlDatabaseMenuClick();
  void dbUSRadBtnClick();
  void dbIntlRadBtnClick();
  void ExitMenuClick();
  void SearchBtnClick();
  void SearchCallMenuClick();
  void SearchNameMenuClick();
  void SearchCityMenuClick();
  void SearchZIPMenuClick();
  void SearchCountyMenuClick();
  void ViewDetailItemClick();
  void ShowDetailsBtnClick();
  void ShowNotesBtnClick();
  void ViewMainWindowClick();
  void VorBtnClick() { StepBy(1); }
  void ZurueckBtnClick() { StepBy(-1); }
  void Plus10BtnClick() { StepBy(10); }
  void Minus10BtnClick() { StepBy(-10); }
  void Plus100BtnClick() { StepBy(100); }
  void Minus100BtnClick() { StepBy(-100); }
  void Plus1000BtnClick() { StepBy(1000); }
  void Minus1000BtnClick() { StepBy(-1000); }
  void SortByCallRadBtnClick();
  void SortByNameRadBtnClick() { OrderButtonClick(oiUSName); }
  void SortByCityRadBtnClick() { OrderButtonClick(oiUSCity); }
  void SortByZIPRadBtnClick() { OrderButtonClick(oiUSZIP); }
  void SortByCountyRadBtnClick() { OrderButtonClick(oiUSCounty); }
  void SortByResultsRadBtnClick();
  void SearchTextSearchMenuClick();
  void SearchQSLManagerItemClick();
  void QSLMgrBtnClick();
  void ViewListItemClick();
  void AddEntryToReportMenuItemClick();
  void AddSearchResultsToReportMenuItemClick();
  void AddAdifLogToReportMenuItemClick();
  void ReportEditReportFileMenuItemClick();
  void ReportClearReportFileMenuItemClick();
  void EditMorsenMenuClick();
  void CWStopMorsingItemClick();
  void OptMorseItemClick();
  // Labels (FTellmarkMainLabels.cpp).
  void FilePrintLabelItemClick();
  void FileSendFormFeedItemClick();
  void FileStartPrintLabelsItemClick();
  void OptLabelPrintingItemClick();
  void ReportPrintLabelsMenuItemClick();
  void ReportPrintQslLabelsMenuItemClick();
  void MapBtnClick();
  void ViewMapItemClick();
  void ViewBeaconSchedulerItemClick();
  // "Band activity" (FTellmarkMainWsjtx.cpp): the decodes of WSJT-X, made on first use.
  void ViewBandActivityItemClick();
  TBandActivityForm* BandActivityForm() const { return bandForm_; }
  void EditCopyMenuClick();
  void ContentMenuClick();
  void HelpOpenHelpFileasRTFItemClick();
  void HelpOpenHelpFileAsTextItemClick();
  void AboutMenuClick();
  void OptOtherItemClick();

 signals:
  // After ShowCurrentEntry showed an entry (map window, report mode "always", notes caption).
  void EntryShown();
  // The list order changed (list view): order 0..6 and the position in it.
  void ListOrderChanged(int listOrder, int32_t position);
  // The window closed; the program ends.
  void Closed();
  // The user chose to open the new edition put in the data folder: close, open again.
  void ReopenEdition();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The open edition's manifest watched (FTellmarkMainEdition.cpp).
  void SetUpEditionWatch();
  void CheckEditionOnDisk();
  QFileSystemWatcher* editionWatch_ = nullptr;
  QTimer* editionCheck_ = nullptr;
  std::string declinedEdition_;  // the manifest the user chose not to open

  void FormCreate();
  bool FormCloseQuery();
  void FormClose();
  void LoadSettings();
  void ApplyDatabaseControls();
  void ShowEntryFields(const TEntryView& view);
  void StepBy(int32_t n);
  void OrderButtonClick(int index);
  void CheckOrderButton(QRadioButton* button);
  void SyncRadioButtons();
  // logged: the call as typed in the call box, upper case ("VE2/G3ZAY/P"); empty for a call
  // found otherwise.
  void ShowCallLookup(const TCallLookup& result, std::string_view logged = {});
  // The name and city searches: input box, search, result; the city search processes pending
  // messages before it ends.
  void SearchByInput(const QString& prompt, TOrderLookup (TLookup::*search)(std::string_view),
                     QRadioButton* order, bool processEventsAtEnd);
  void ShowSearchResult(const TOrderLookup& result, QRadioButton* order, QComboBox* box,
                        bool modal);
  QRadioButton* OrderButton(int index) const;
  void SetUpNotes();
  // FTellmarkMainKeys.cpp: menu shortcuts over the search boxes' editing keys, no inline
  // completion.
  void SetUpSearchBoxKeys();
  bool IsMenuShortcut(const QKeyEvent* event) const;
  bool SearchBoxKeyFilter(QObject* watched, QEvent* event);
  void UpdateNotesCaption();
  void ShowNotesEditor(const QString& call);
  void SetUpSearchCommands();
  void OpenWordLists();
  void FollowListOrder(int listOrder, int32_t position);
  // The list view keeps the entry shown selected (its position in the same order).
  void FollowListPosition();
  void SetUpReportCommands();
  // The status line after calls were added: what, and the calls the file now holds.
  void ShowReportAdded(const QString& what);
  void ApplyReportSettings();
  void SetUpMorseCommands();
  bool MorseCloseQuery();
  void SetUpLabelCommands();
  // Submits label lines still spooled for the printer; a failure is reported, the lines kept.
  void FlushLabelSpool();
  void ShowEntryOnMap();
  void SetUpCommands();

  std::unique_ptr<Ui::TCallViewForm> ui;
  TLookup lookup_;
  TProgramSettings settings_;
  TDetailsForm* details_ = nullptr;
  bool busy_ = false;
  bool busyCursor_ = false;
  bool modalRunning_ = false;
  bool noDisplay_ = false;
  bool created_ = false;
  bool closing_ = false;
  bool radioWasChecked_ = false;  // the radio button being clicked was checked when pressed
  bool mapFitAlways_ = false;
  QString shownCall_, shownLocator_;
  QString baseTitle_;        // the caption; a call typed with designators is shown after it
  std::string currentCall_;  // code page 437
  int mapNumber_ = 0;
  int32_t qslManagerRef_ = 0;
  std::unique_ptr<TNotes> notes_;
  std::string notesFileName_;  // the name notes_ was opened with
  TEditNotesForm* notesForm_ = nullptr;
  std::unique_ptr<TWortListe> intlWords_, usWords_;
  TSuchInfo usSearchInfo_, intlSearchInfo_;  // kept across searches
  TQslMgrForm* qslForm_ = nullptr;           // child, kept once made
  QPointer<TListViewForm> listView_;         // child, freed when closed
  TCWOutputForm* cwForm_ = nullptr;          // child window, lives as long as this one
  TLabelReportForm* labelReport_ = nullptr;  // child, kept once made

  // Map and beacons: children; the map window lives to the end, the scheduler once made.
  TMapForm* mapForm_ = nullptr;
  TBeaconSchedulerForm* beaconForm_ = nullptr;
  // The band activity window and the look-up it annotates with.
  void SetUpBandActivity();
  TBandActivityForm* bandForm_ = nullptr;
  std::shared_ptr<TCallbook> bandCallbook_;  // shared: its type is incomplete here

  // A call typed with designators (FTellmarkMainPlace.cpp): while its base call's entry is shown,
  // the window shows where the station is as the callbook record says it, not the home place.
  struct TTypedCall {
    TDatabase db = TDatabase::Intl;
    int32_t ref = -1;  // -1: none
    std::string designators, logged;
  };
  TTypedCall typed_;
  std::shared_ptr<TCallbook> placeCallbook_;  // the country file, read on first use
  const TCallbook& PlaceCallbook();
  // After the entry's own fields: the caption with the designators and the station's place, or,
  // when another entry is shown, forgets the typed call.
  void ShowTypedCall();
};
