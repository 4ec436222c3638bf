#include "notes/FEditNotes.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "common/StrUtil.h"
#include "dataset/UEntry.h"
#include "notes/UNoteText.h"
#include "notes/UNotesIO.h"
#include "ui_FEditNotes.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

// Notes are code page 437; the window shows UTF-8.

// Length of a memo text as stored: a line break takes two characters (CR LF).
int StoredLength(const QString& text) { return static_cast<int>(text.size() + text.count('\n')); }

void ShowFailure(const std::exception& e) { ShowErrorBox(QString::fromLocal8Bit(e.what())); }

// The memo's text with '\n' between lines, every character as typed: toPlainText would turn a
// no-break space (code page 437 byte 255) into a blank.
QString MemoText(const QPlainTextEdit* memo) {
  QString text = memo->document()->toRawText();
  for (QChar& c : text)
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = '\n';
  return text;
}

QString CharText(uint32_t codePoint) {
  return QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoint), 1);
}

}  // namespace

// The question before a note with characters the notes file cannot hold is saved.
QString NoteCharsQuestion(const std::vector<TNoteCharSwap>& swaps) {
  QStringList chars, nearest;
  for (const TNoteCharSwap& s : swaps) {
    const QString c = CharText(s.codePoint);
    chars << c + " (U+" + QString::number(s.codePoint, 16).toUpper().rightJustified(4, '0') + ")";
    nearest << c + " \u2192 " + QString::fromStdString(s.nearest);
  }
  return QString(
             "The notes file cannot hold these characters of the note: %1.\n\n"
             "Save the note with the nearest characters it can hold instead (%2)?\n\n"
             "Yes: replace them and save. No: go back and edit the note.")
      .arg(chars.join(", "), nearest.join(", "));
}

namespace {}  // namespace

TEditNotesForm::TEditNotesForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TEditNotesForm>()) {
  ui->setupUi(this);
  // A sizeable window of its own, not a dialog frame.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setModal(false);

  // The pop-up menu's items carry Alt+F, Alt+S, Alt+D and Esc for the whole window; the buttons
  // only show their underlined letters, so that no key is claimed twice.
  NotesPopupMenu = new QMenu(this);
  NotesPopupMenu->setObjectName("NotesPopupMenu");
  NotesPopupMenu->addAction(ui->FindItem);
  NotesPopupMenu->addAction(ui->NotesSaveItem);
  NotesPopupMenu->addAction(ui->NotesDeleteItem);
  QAction* separator = NotesPopupMenu->addSeparator();
  separator->setObjectName("N1");
  NotesPopupMenu->addAction(ui->NotesCloseItem);
  addActions({ui->FindItem, ui->NotesSaveItem, ui->NotesDeleteItem, ui->NotesCloseItem});
  for (QAbstractButton* b : {ui->SearchBtn, ui->SaveBtn, ui->DeleteBtn})
    b->setShortcut(QKeySequence());

  connect(ui->SearchBtn, &QPushButton::clicked, this, &TEditNotesForm::SearchBtnClick);
  connect(ui->SaveBtn, &QPushButton::clicked, this, &TEditNotesForm::SaveBtnClick);
  connect(ui->DeleteBtn, &QPushButton::clicked, this, &TEditNotesForm::DeleteBtnClick);
  connect(ui->FindItem, &QAction::triggered, this, &TEditNotesForm::SearchBtnClick);
  connect(ui->NotesSaveItem, &QAction::triggered, this, &TEditNotesForm::SaveBtnClick);
  connect(ui->NotesDeleteItem, &QAction::triggered, this, &TEditNotesForm::DeleteBtnClick);
  connect(ui->NotesCloseItem, &QAction::triggered, this, &TEditNotesForm::NotesCloseItemClick);
  connect(ui->CallEdit, &QLineEdit::textEdited, this, &TEditNotesForm::CallEdited);
  connect(ui->NotesMemo->document(), &QTextDocument::contentsChange, this,
          [this](int position, int, int added) { LimitMemo(position, added); });

  // The window's pop-up menu serves every control in it.
  for (QWidget* w :
       std::initializer_list<QWidget*>{this, ui->Panel1, ui->Label1, ui->CallEdit, ui->SearchBtn,
                                       ui->SaveBtn, ui->DeleteBtn, ui->NotesMemo}) {
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { ShowPopup(w, at); });
  }

  // Room for six wide characters in the call box.
  const QFontMetrics fm = ui->CallEdit->fontMetrics();
  ui->CallEdit->setFixedWidth(fm.horizontalAdvance("WWWWWW") + 2 * fm.averageCharWidth() + 8);

  FormCreate();
  // 450 x 156, at least 450 x 130, at 96 dpi; more only when the fonts need more room.
  setMinimumSize(minimumSizeHint().expandedTo(QSize(450, 130)));
  resize(QSize(450, 156).expandedTo(minimumSize()));
}

TEditNotesForm::~TEditNotesForm() = default;

void TEditNotesForm::FormCreate() {
  ui->CallEdit->setMaxLength(TNotes::kMaxCallLen);
  // The memo's limit (247 characters as stored) is kept by LimitMemo.
}

void TEditNotesForm::ShowPopup(QWidget* widget, const QPoint& at) {
  // A scroll area reports the position in its viewport.
  const QWidget* origin = widget == ui->NotesMemo ? ui->NotesMemo->viewport() : widget;
  NotesPopupMenu->popup(origin->mapToGlobal(at));
}

bool TEditNotesForm::SetCall(const QString& call) {
  const bool unsaved = ui->NotesMemo->document()->isModified();
  if (call.left(ui->CallEdit->maxLength()) == memoCall_) return !unsaved;
  if (!SettleUnsavedMemo()) return false;
  ui->CallEdit->setText(call);
  LoadNoteOfCallEdit();
  return true;
}

void TEditNotesForm::CallEdited() {
  if (!SettleUnsavedMemo()) {
    ui->CallEdit->setText(memoCall_);
    return;
  }
  LoadNoteOfCallEdit();
}

bool TEditNotesForm::SettleUnsavedMemo() {
  if (!notes_ || !ui->NotesMemo->document()->isModified()) return true;
  const int answer = ShowInfoBox(
      ApplicationTitle(),
      QString("The note of \"%1\" has unsaved changes. Save them before changing the call?")
          .arg(memoCall_),
      mbYesNoCancel | mbIconQuestion);
  if (answer == idNo) return true;
  if (answer != idYes) return false;
  try {
    return SaveMemoAs(NormaliseCall(ToData(memoCall_)));
  } catch (const ECallError& e) {
    ShowFailure(e);
    return false;
  }
}

void TEditNotesForm::LoadNoteOfCallEdit() {
  memoCall_ = ui->CallEdit->text();
  if (!notes_) return;
  TNoteRec rec;
  try {
    notes_->ReadNote(NormaliseCall(ToData(memoCall_)), rec);  // no note: an empty text
  } catch (const ECallError&) {
    // A call being typed that is not one yet: no note.
  } catch (const std::exception& e) {
    ShowFailure(e);
  }
  SetMemoText(FromData(MemoTextFromNote(rec.Text)));
}

void TEditNotesForm::ActivateMemo() { ui->NotesMemo->setFocus(); }

void TEditNotesForm::SetMemoText(const QString& text) {
  settingMemo_ = true;
  ui->NotesMemo->setPlainText(text);
  ui->NotesMemo->document()->setModified(false);
  settingMemo_ = false;
}

void TEditNotesForm::LimitMemo(int position, int added) {
  if (settingMemo_ || added <= 0) return;
  const QString text = MemoText(ui->NotesMemo);
  int excess = StoredLength(text) - TNotes::kMaxTextLen;
  if (excess <= 0) return;
  // Drop the end of what came in until the text fits.
  const int end = std::min<int>(position + added, static_cast<int>(text.size()));
  int start = end;
  while (excess > 0 && start > position) {
    --start;
    excess -= text[start] == '\n' ? 2 : 1;
    if (start > position && text[start].isLowSurrogate()) --start;  // whole characters only
  }
  if (start == end) return;
  settingMemo_ = true;
  QTextCursor cursor(ui->NotesMemo->document());
  cursor.setPosition(start);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  settingMemo_ = false;
}

bool TEditNotesForm::ReadCall(std::string& call) {
  try {
    call = NormaliseCall(ToData(ui->CallEdit->text()));
    return true;
  } catch (const ECallError& e) {
    ui->CallEdit->selectAll();
    ui->CallEdit->setFocus();
    ShowFailure(e);
    return false;
  }
}

void TEditNotesForm::SearchBtnClick() {
  if (!notes_) return;
  std::string call;
  if (!ReadCall(call)) return;
  try {
    TNoteRec rec;
    notes_->ReadNote(call, rec);  // no note: an empty text
    SetMemoText(FromData(MemoTextFromNote(rec.Text)));
    memoCall_ = ui->CallEdit->text();
    ui->NotesMemo->setFocus();
  } catch (const std::exception& e) {
    ShowFailure(e);
  }
}

bool TEditNotesForm::SettleCharsOutsideCodePage() {
  const QString text = MemoText(ui->NotesMemo);
  const std::string utf8 = text.toStdString();
  const std::vector<TNoteCharSwap> swaps = NoteCharsOutsideCodePage(utf8);
  if (swaps.empty()) return true;
  const auto backToEditing = [this, &text, &swaps] {
    // The cursor on the first character in question.
    const QString first = CharText(swaps.front().codePoint);
    QTextCursor cursor = ui->NotesMemo->textCursor();
    const qsizetype at = text.indexOf(first);
    if (at >= 0) {
      cursor.setPosition(static_cast<int>(at));
      cursor.setPosition(static_cast<int>(at + first.size()), QTextCursor::KeepAnchor);
      ui->NotesMemo->setTextCursor(cursor);
    }
    ui->NotesMemo->setFocus();
    return false;
  };
  if (ShowInfoBox(ApplicationTitle(), NoteCharsQuestion(swaps), mbYesNo | mbIconQuestion) != idYes)
    return backToEditing();
  const QString replaced = QString::fromStdString(NoteTextWithNearestChars(utf8));
  const int over = StoredLength(replaced) - TNotes::kMaxTextLen;
  if (over > 0) {
    ShowErrorBox(QString("With the nearest characters the note is %1 characters too long for the "
                         "notes file. Shorten it, then save again.")
                     .arg(over));
    return backToEditing();
  }
  // The memo shows what is stored; it stays modified until the save has gone through.
  settingMemo_ = true;
  QTextCursor cursor(ui->NotesMemo->document());
  cursor.select(QTextCursor::Document);
  cursor.insertText(replaced);
  settingMemo_ = false;
  return true;
}

bool TEditNotesForm::SaveMemoAs(const std::string& call) {
  // Nothing of the note is lost without a word: characters the file cannot hold are named and
  // replaced only when the user agrees.
  if (!SettleCharsOutsideCodePage()) return false;
  try {
    TNoteRec rec;
    rec.Status = TNotes::kStatusInUse;
    rec.Call = call;
    rec.Text = NoteTextFromMemo(ToData(MemoText(ui->NotesMemo)));
    notes_->SaveNote(rec);
  } catch (const std::exception& e) {
    ShowFailure(e);
    return false;
  }
  ui->NotesMemo->document()->setModified(false);
  emit NotesChanged();
  return true;
}

void TEditNotesForm::SaveBtnClick() {
  if (!notes_) return;
  std::string call;
  if (!ReadCall(call)) return;
  if (SaveMemoAs(call)) memoCall_ = ui->CallEdit->text();
}

void TEditNotesForm::DeleteBtnClick() {
  if (!notes_) return;
  std::string call;
  if (!ReadCall(call)) return;
  try {
    notes_->DeleteNote(call);
  } catch (const std::exception& e) {
    ShowFailure(e);
    return;
  }
  SetMemoText(QString());
  ui->CallEdit->clear();
  memoCall_.clear();
  ui->CallEdit->setFocus();
  emit NotesChanged();
}

void TEditNotesForm::NotesCloseItemClick() { close(); }
