#pragma once
// The notes editor "Notes": looks up, writes, saves and deletes the note of a call sign in the
// notes file the main window has open. Non-modal and resizable; the main window creates it on
// first use, keeps it (closing only hides it) and hands it the notes file each time it shows it.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "notes/UNoteText.h"

class QMenu;

// The question asked before a note holding characters outside the notes file's code page is
// saved: the characters named, their nearest replacements offered.
QString NoteCharsQuestion(const std::vector<TNoteCharSwap>& swaps);
class TNotes;

namespace Ui {
class TEditNotesForm;
}

class TEditNotesForm : public QDialog {
  Q_OBJECT

 public:
  explicit TEditNotesForm(QWidget* parent = nullptr);
  ~TEditNotesForm() override;

  // The notes file to work on; nullptr when there is none (the commands then do nothing).
  void SetNotes(TNotes* notes) { notes_ = notes; }
  TNotes* Notes() const { return notes_; }

  // Puts a call into CallEdit (cut to its 6 characters) and loads its note, or empties the
  // memo. Unsaved changes of the memo are saved first or dropped, as the user answers. False
  // when the memo keeps unsaved text: the user kept it, or it is this call's own.
  bool SetCall(const QString& call);
  // Makes NotesMemo the control that has the focus in the window.
  void ActivateMemo();

 public slots:
  void SearchBtnClick();
  void SaveBtnClick();
  void DeleteBtnClick();
  void NotesCloseItemClick();

 signals:
  // A note was saved or deleted.
  void NotesChanged();

 private:
  void FormCreate();
  // The call of CallEdit, normalised. An invalid one: the text selected, the focus on CallEdit,
  // the message shown, false.
  bool ReadCall(std::string& call);
  // Keeps the memo within the note length: characters typed or pasted beyond it are dropped.
  void LimitMemo(int position, int added);
  void SetMemoText(const QString& text);
  // The call typed in CallEdit: unsaved changes asked about, then its note loaded.
  void CallEdited();
  // Asks whether the memo's unsaved changes go under its call first; true to go on.
  bool SettleUnsavedMemo();
  // Loads the note of the call in CallEdit into the memo; an invalid call empties it.
  void LoadNoteOfCallEdit();
  // Characters of the memo that the notes file cannot hold: named, and replaced by the nearest
  // ones when the user agrees. False when the user goes back to editing.
  bool SettleCharsOutsideCodePage();
  // Saves the memo as the note of a normalised call; false (message shown) on failure.
  bool SaveMemoAs(const std::string& call);
  void ShowPopup(QWidget* widget, const QPoint& at);

  std::unique_ptr<Ui::TEditNotesForm> ui;
  QMenu* NotesPopupMenu = nullptr;
  TNotes* notes_ = nullptr;
  bool settingMemo_ = false;
  QString memoCall_;  // CallEdit's text when the memo was loaded or saved: the memo's call
};
