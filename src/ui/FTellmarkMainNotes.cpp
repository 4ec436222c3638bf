// The main window's notes: the notes file it keeps open, the Notes command and button caption,
// and the notes editor it opens for the entry shown or for a call that is in no database.
#include <QApplication>
#include <QPushButton>

#include "common/StrUtil.h"
#include "dataset/UEntry.h"
#include "notes/FEditNotes.h"
#include "notes/UNotesIO.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

const char* const kNoNotesFile = "Set the notes file name first. (Use Options|Program to do this)";

}  // namespace

void TCallViewForm::SetUpNotes() {
  connect(ui->ShowNotesBtn, &QPushButton::clicked, this, &TCallViewForm::ShowNotesBtnClick);
  connect(ui->EditNotesItem, &QAction::triggered, this, &TCallViewForm::ShowNotesBtnClick);
  connect(this, &TCallViewForm::EntryShown, this, &TCallViewForm::UpdateNotesCaption);
  // A call in neither database that has a note opens the editor instead of the message.
  MissingCallHandler = [this](const QString& call) {
    if (!notes_ || !notes_->HasNote(ToData(call))) return false;
    OpenNotesFor(call);
    return true;
  };
}

void TCallViewForm::OpenNotesFile(const std::string& name) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct TRestore {
    ~TRestore() { QApplication::restoreOverrideCursor(); }
  } restore;
  ui->ShowNotesBtn->setText("Notes...");
  if (notes_ && name == notesFileName_) {
    UpdateNotesCaption();
    return;
  }
  // The editor never keeps a notes file that is closed here.
  if (notesForm_) notesForm_->SetNotes(nullptr);
  notes_.reset();
  notesFileName_.clear();
  if (name.empty()) return;
  try {
    notes_ = std::make_unique<TNotes>(name);
    notesFileName_ = name;
  } catch (const std::exception& e) {
    notes_.reset();
    ShowErrorBox("Could not open the notes file: " + QString::fromLocal8Bit(e.what()));
  }
  // The entry shown before the file opened (the start call) gets its caption now.
  if (notes_ && !shownCall_.isEmpty()) UpdateNotesCaption();
}

void TCallViewForm::UpdateNotesCaption() {
  if (!notes_) return;
  try {
    // A call the notes file cannot hold is a failed question, not a call without a note:
    // the caption stays as it was.
    const std::string call = NormaliseCall(ToData(shownCall_));
    ui->ShowNotesBtn->setText(notes_->HasNote(call) ? "Edit note..." : "Add note...");
  } catch (...) {
  }
}

void TCallViewForm::ShowNotesBtnClick() {
  if (busy_ || modalRunning_) return;
  if (!notes_) {
    ShowErrorBox(kNoNotesFile);
    return;
  }
  ShowNotesEditor(shownCall_);
}

void TCallViewForm::OpenNotesFor(const QString& call) { ShowNotesEditor(call.left(15)); }

void TCallViewForm::ShowNotesEditor(const QString& call) {
  if (!notesForm_) {
    notesForm_ = new TEditNotesForm(this);
    // A saved or deleted note of the entry shown changes the button at once.
    connect(notesForm_, &TEditNotesForm::NotesChanged, this, &TCallViewForm::UpdateNotesCaption);
  }
  notesForm_->SetNotes(notes_.get());
  // The user may keep unsaved changes of another call's note: the editor shows them unchanged.
  const bool changed = notesForm_->SetCall(call);
  notesForm_->ActivateMemo();
  notesForm_->show();
  notesForm_->raise();
  notesForm_->activateWindow();
  if (changed) notesForm_->SearchBtnClick();
}
