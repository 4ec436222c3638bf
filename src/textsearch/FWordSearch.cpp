#include "textsearch/FWordSearch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "textsearch/FProgressDlg.h"
#include "ui_FWordSearch.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

// Words are code page 437 in the files; the window shows UTF-8.

bool IsEditText(const QString& text) {
  for (const QChar c : text) {
    const std::string b = c.unicode() > 0x7F ? ToData(QString(c)) : std::string(1, c.toLatin1());
    if (b.size() != 1 || !IsWordEditChar(b[0])) return false;
  }
  return true;
}

// Hourglass for the time of a word-list look-up.
class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace

// ---- Word edit

TWordSpinEdit::TWordSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setAccelerated(false);
  connect(lineEdit(), &QLineEdit::textChanged, this, &TWordSpinEdit::TextChanged);
}

void TWordSpinEdit::SetText(const QString& text) { lineEdit()->setText(text); }

void TWordSpinEdit::stepBy(int steps) {
  if (steps > 0)
    emit UpClicked();
  else if (steps < 0)
    emit DownClicked();
}

QAbstractSpinBox::StepEnabled TWordSpinEdit::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

QValidator::State TWordSpinEdit::validate(QString& input, int&) const {
  return IsEditText(input) ? QValidator::Acceptable : QValidator::Invalid;
}

void TWordSpinEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      emit ReturnPressed();
      return;
    case Qt::Key_Escape:
      event->ignore();  // the dialog's Cancel
      return;
    default:
      break;
  }
  const QString typed = event->text();
  const bool printable = typed.size() == 1 && typed[0].isPrint();
  if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
      !IsEditText(typed)) {
    QApplication::beep();
    event->accept();
    return;
  }
  QAbstractSpinBox::keyPressEvent(event);
}

// ---- Dialog

TTextSearchDlg::TTextSearchDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TTextSearchDlg>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setProperty("helpContext", kHelpContext);
  // The two list boxes are of equal size.
  ui->SearchLayout->setColumnStretch(0, 1);
  ui->SearchLayout->setColumnStretch(2, 1);

  connect(ui->AddBtn, &QPushButton::clicked, this, &TTextSearchDlg::AddBtnClick);
  connect(ui->RemoveBtn, &QPushButton::clicked, this, &TTextSearchDlg::RemoveBtnClick);
  connect(ui->ClearBtn, &QPushButton::clicked, this, &TTextSearchDlg::ClearBtnClick);
  connect(ui->OKBtn, &QPushButton::clicked, this, &TTextSearchDlg::OKBtnClick);
  connect(ui->CancelBtn, &QPushButton::clicked, this, &TTextSearchDlg::CancelBtnClick);
  connect(ui->HelpBtn, &QPushButton::clicked, this, &TTextSearchDlg::HelpBtnClick);
  connect(ui->WordEdit, &TWordSpinEdit::TextChanged, this, &TTextSearchDlg::UpdateWordList);
  connect(ui->WordEdit, &TWordSpinEdit::DownClicked, this, &TTextSearchDlg::WordEditDownClick);
  connect(ui->WordEdit, &TWordSpinEdit::UpClicked, this, &TTextSearchDlg::WordEditUpClick);
  connect(ui->WordEdit, &TWordSpinEdit::ReturnPressed, this, &TTextSearchDlg::OKBtnClick);
  connect(ui->WordList, &QListWidget::clicked, this, [this] { SelectOnlyFirst(ui->WordList); });
  connect(ui->SuchListe, &QListWidget::clicked, this, [this] { SelectOnlyFirst(ui->SuchListe); });
  connect(ui->WordList, &QListWidget::doubleClicked, this, &TTextSearchDlg::AddBtnClick);
  connect(ui->SuchListe, &QListWidget::doubleClicked, this, &TTextSearchDlg::RemoveBtnClick);

  // Lists narrower than their size hint: a search list entry has at most 27 characters.
  setFixedSize(minimumSizeHint().expandedTo(QSize(480, 340)));
  SetButtons();
  ui->WordEdit->setFocus();
}

TTextSearchDlg::~TTextSearchDlg() = default;

void TTextSearchDlg::SetSearchInfo(TSuchInfo* info) {
  info_ = info;
  ui->SuchListe->clear();
  if (info_)
    for (const std::string& text : info_->DisplayTexts()) ui->SuchListe->addItem(FromData(text));
  SetButtons();
}

bool TTextSearchDlg::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FocusWordEdit();
  return QDialog::event(event);
}

void TTextSearchDlg::FocusWordEdit() {
  ui->WordEdit->selectAll();
  ui->WordEdit->setFocus();
}

void TTextSearchDlg::SetButtons() {
  const TSearchButtons b = SearchButtonStates(ui->WordList->count(), ui->SuchListe->count());
  ui->AddBtn->setEnabled(b.add);
  ui->RemoveBtn->setEnabled(b.remove);
  ui->ClearBtn->setEnabled(b.clear);
}

int TTextSearchDlg::FirstSelectedRow(const QListWidget* list) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected()) return i;
  return -1;
}

void TTextSearchDlg::SelectOnlyFirst(QListWidget* list) {
  const int first = FirstSelectedRow(list);
  if (first < 0) return;
  const QSignalBlocker block(list);
  for (int i = first + 1; i < list->count(); ++i) list->item(i)->setSelected(false);
  list->setCurrentRow(first, QItemSelectionModel::Current);
}

void TTextSearchDlg::ShowReadError(int code) {
  ShowInfoBox(QString(), FromData(ReadErrorText(code)), mbOK | mbIconError);
}

void TTextSearchDlg::UpdateWordList() {
  if (!wordList_) return;
  TWordListPage page;
  {
    TWaitCursor wait;
    page = BrowseWordList(*wordList_, kind_, ToData(ui->WordEdit->text()));
  }
  const int code = LastErrorCode();
  if (page.ok || !page.words.empty()) {
    ui->WordList->clear();
    for (const std::string& word : page.words) ui->WordList->addItem(FromData(word));
    if (page.found && ui->WordList->count() > 0) {
      ui->WordList->item(0)->setSelected(true);
      ui->WordList->setCurrentRow(0, QItemSelectionModel::Current);
    }
  }
  if (!page.ok) ShowReadError(code);
  SetButtons();
}

void TTextSearchDlg::WordEditDownClick() {
  if (!wordList_) return;
  const TSpinResult r = SpinWord(*wordList_, kind_, ToData(ui->WordEdit->text()), true);
  if (!r.ok) return ShowReadError(LastErrorCode());
  if (r.moved) ui->WordEdit->SetText(FromData(r.text));
}

void TTextSearchDlg::WordEditUpClick() {
  if (!wordList_) return;
  const TSpinResult r = SpinWord(*wordList_, kind_, ToData(ui->WordEdit->text()), false);
  if (r.ok && r.moved) ui->WordEdit->SetText(FromData(r.text));
}

void TTextSearchDlg::AddBtnClick() {
  // The double click acts as the button, and like it only while adding is possible.
  if (!wordList_ || !info_ ||
      !SearchButtonStates(ui->WordList->count(), ui->SuchListe->count()).add)
    return;
  const int row = FirstSelectedRow(ui->WordList);
  if (row >= 0) {
    const std::string text = Cut(ToData(ui->WordList->item(row)->text()), kSuchItemTextLen);
    switch (IncludeWord(*info_, *wordList_, kind_, text)) {
      case TIncludeOutcome::Added: {
        ui->SuchListe->insertItem(0, FromData(info_->Item(0).DisplayText()));
        ui->SuchListe->clearSelection();
        ui->SuchListe->item(0)->setSelected(true);
        ui->SuchListe->setCurrentRow(0, QItemSelectionModel::Current);
        break;
      }
      case TIncludeOutcome::ReadError:
        ShowReadError(LastErrorCode());
        break;
      case TIncludeOutcome::AlreadyListed:
      case TIncludeOutcome::NotFound:
        break;
    }
  }
  SetButtons();
  FocusWordEdit();
}

void TTextSearchDlg::RemoveBtnClick() {
  if (!info_) return;
  const int row = FirstSelectedRow(ui->SuchListe);
  if (row >= 0) {
    delete ui->SuchListe->takeItem(row);
    info_->Delete(row);
    if (ui->SuchListe->count() > 0) {
      ui->SuchListe->clearSelection();
      ui->SuchListe->item(0)->setSelected(true);
      ui->SuchListe->setCurrentRow(0, QItemSelectionModel::Current);
    }
  }
  SetButtons();
}

void TTextSearchDlg::ClearBtnClick() {
  ui->SuchListe->clear();
  if (info_) info_->Clear();
  SetButtons();
}

void TTextSearchDlg::DoTextSearch() {
  result_.reset();
  if (!info_) return;
  // OK with an empty search list searches for the word selected in the word list.
  if (info_->Empty()) AddBtnClick();
  if (info_->Empty()) return;
  TWaitDlg progress(this);
  TTextSearchResult r = ::DoTextSearch(*info_, &progress);
  switch (r.outcome) {
    case TSearchOutcome::Found:
      result_ = std::move(r.list);
      break;
    case TSearchOutcome::ReadError:
      ShowReadError(r.errorCode);
      break;
    case TSearchOutcome::NotFound:
    case TSearchOutcome::Aborted:
      break;
  }
}

void TTextSearchDlg::OKBtnClick() {
  DoTextSearch();
  accept();
}

void TTextSearchDlg::CancelBtnClick() {
  result_.reset();
  reject();
}

void TTextSearchDlg::HelpBtnClick() { emit HelpRequested(kHelpContext); }
