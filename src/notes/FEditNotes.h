#pragma once
// The notes editor "Notes": looks up, writes, saves and deletes the note of a call sign in the
// notes file the main window has open. Non-modal and resizable; the main window creates it on
// first use, keeps it (closing only hides it) and hands it the notes file each time it shows it.
#include <QDialog>
#include <memory>
#include <string>

class QMenu;
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

  // Puts a call into CallEdit (cut to its 6 characters).
  void SetCall(const QString& call);
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
  void ShowPopup(QWidget* widget, const QPoint& at);

  std::unique_ptr<Ui::TEditNotesForm> ui;
  QMenu* NotesPopupMenu = nullptr;
  TNotes* notes_ = nullptr;
  bool settingMemo_ = false;
};
