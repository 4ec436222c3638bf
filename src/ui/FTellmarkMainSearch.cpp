// The main window's text search and its two table windows: the word lists opened at creation,
// the text search command with its result browsed as the "Search results" order, the QSL manager
// list and the list view that follows the current order.
#include <QAction>
#include <QGuiApplication>
#include <QPushButton>

#include "common/StrUtil.h"
#include "report/FListView.h"
#include "report/FQSLManagerList.h"
#include "textsearch/FWordSearch.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

// A text search result as the main window browses it: the final list itself, not a copy.
class TFinalResults : public TResultSource {
 public:
  explicit TFinalResults(std::unique_ptr<TFinalVerweisListe> list) : list_(std::move(list)) {}
  int32_t Count() const override { return list_->GetCount(); }
  int32_t Item(int32_t i) const override { return list_->GetItem(i); }

 private:
  std::unique_ptr<TFinalVerweisListe> list_;
};

void ShowAndActivate(QWidget* w) {
  w->show();
  w->raise();
  w->activateWindow();
}

}  // namespace

void TCallViewForm::SetUpSearchCommands() {
  connect(ui->SearchTextSearchMenu, &QAction::triggered, this,
          &TCallViewForm::SearchTextSearchMenuClick);
  connect(ui->SearchQSLManagerItem, &QAction::triggered, this,
          &TCallViewForm::SearchQSLManagerItemClick);
  connect(ui->ViewListItem, &QAction::triggered, this, &TCallViewForm::ViewListItemClick);
  connect(ui->QSLMgrBtn, &QPushButton::clicked, this, &TCallViewForm::QSLMgrBtnClick);
  connect(this, &TCallViewForm::ListOrderChanged, this, &TCallViewForm::FollowListOrder);
  connect(this, &TCallViewForm::EntryShown, this, &TCallViewForm::FollowListPosition);
}

void TCallViewForm::OpenWordLists() {
  for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    std::string message;
    std::unique_ptr<TWortListe> list = OpenWordList(db, message);
    if (!list) ShowErrorBox(FromData(message));
    (db == TDatabase::Intl ? intlWords_ : usWords_) = std::move(list);
  }
}

TWortListe* TCallViewForm::WordList(TDatabase db) const {
  return db == TDatabase::Intl ? intlWords_.get() : usWords_.get();
}

TSuchInfo& TCallViewForm::SearchInfo(TDatabase db) {
  return db == TDatabase::Intl ? intlSearchInfo_ : usSearchInfo_;
}

void TCallViewForm::SearchTextSearchMenuClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  const TDatabase db = lookup_.Database();
  try {
    if (TWortListe* words = WordList(db); !words) {
      ShowErrorBox(kTextSearchInitError);
    } else {
      TTextSearchDlg dialog(this);
      connect(&dialog, &TTextSearchDlg::HelpRequested, this,
              [](int context) { ShowHelp(context); });
      dialog.SetWordList(words);
      dialog.SetSearchInfo(&SearchInfo(db));
      dialog.SetKind(db == TDatabase::Intl ? skIntl : skUS);
      dialog.UpdateWordList();
      if (dialog.exec() == QDialog::Accepted) {
        std::unique_ptr<TFinalVerweisListe> result = dialog.TakeResult();
        const int32_t count = result ? result->GetCount() : 0;
        ShowInfoBox(FromData(EntriesFoundText(count)));
        if (count > 0) {
          SetSearchResults(std::make_shared<TFinalResults>(std::move(result)));
        } else {
          // Without results the call order is selected; as with a click, its handler runs only
          // when another order was selected.
          lookup_.SetResults(nullptr);
          if (!ui->SortByCallRadBtn->isChecked()) {
            CheckOrderButton(ui->SortByCallRadBtn);
            SortByCallRadBtnClick();
          }
        }
      }
    }
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

// ---- QSL manager list

void TCallViewForm::ShowQslManagers(int32_t record) {
  try {
    if (!qslForm_ || !qslForm_->Ready()) {
      delete qslForm_;
      qslForm_ = nullptr;
      auto* form = new TQslMgrForm(this);
      connect(form, &TQslMgrForm::FindCallRequested, this, &TCallViewForm::FindCall);
      CentreOnScreen(form);
      qslForm_ = form;
    }
    qslForm_->SetRowToShow(record);
    ShowAndActivate(qslForm_);
  } catch (const std::exception& e) {
    ShowErrorBox(QString("Could not open Qsl Manager window: ") + e.what());
  }
}

void TCallViewForm::SearchQSLManagerItemClick() { ShowQslManagers(qslManagerRef_); }
void TCallViewForm::QSLMgrBtnClick() { ShowQslManagers(qslManagerRef_); }

// ---- List view

void TCallViewForm::ShowListView() {
  try {
    if (!listView_) {
      listView_ = new TListViewForm(lookup_, this);
      connect(listView_, &TListViewForm::PositionChosen, this, &TCallViewForm::GoToPosition);
      CentreOnScreen(listView_);
    }
    if (!listView_->Ready()) {
      // Made again by the next command.
      delete listView_.data();
      ShowErrorBox("Could not open List view window.");
      return;
    }
    listView_->SetLive(false);
    listView_->SetMode(lookup_.ListOrder());
    // Shown before it is positioned, so the row is centred in the grid's real height.
    ShowAndActivate(listView_);
    listView_->SetPosition(lookup_.Position());
    listView_->SetLive(true);
  } catch (const std::exception& e) {
    ShowErrorBox(QString("Could not open List view window: ") + e.what());
  }
}

void TCallViewForm::ViewListItemClick() { ShowListView(); }

TListViewForm* TCallViewForm::ListViewForm() const { return listView_; }

void TCallViewForm::FollowListPosition() {
  if (!listView_ || !listView_->Ready() || listView_->Mode() != lookup_.ListOrder()) return;
  if (listView_->Position() == lookup_.Position()) return;  // chosen there: it stays in view
  listView_->SetLive(false);
  listView_->SetPosition(lookup_.Position());
  listView_->SetLive(true);
}

void TCallViewForm::FollowListOrder(int listOrder, int32_t position) {
  if (!listView_ || !listView_->Ready()) return;
  listView_->SetLive(false);
  listView_->SetMode(listOrder);
  listView_->SetPosition(position);
  listView_->SetLive(true);
}
