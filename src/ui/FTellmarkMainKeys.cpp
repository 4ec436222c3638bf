// The main window's search boxes and keys: the menu shortcuts win over the editing keys of the
// call, ZIP and county boxes (where the focus almost always is), and the boxes keep their history
// lists without completing typed text inline.
#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"

void TCallViewForm::SetUpSearchBoxKeys() {
  for (QComboBox* box : {ui->CallEdit, ui->ZIPEdit, ui->CountyEdit}) {
    // Enter looks up what was typed, never a history item completed into the box.
    box->setCompleter(nullptr);
    // The box is the focus widget and hands the shortcut question to its line edit.
    box->installEventFilter(this);
    if (box->lineEdit()) box->lineEdit()->installEventFilter(this);
  }
}

bool TCallViewForm::IsMenuShortcut(const QKeyEvent* event) const {
  if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
  const QKeySequence typed(event->keyCombination());
  for (const QAction* a : findChildren<QAction*>())
    if (a->isEnabled() && !a->shortcut().isEmpty() &&
        a->shortcut().matches(typed) == QKeySequence::ExactMatch)
      return true;
  return false;
}

bool TCallViewForm::SearchBoxKeyFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ShortcutOverride) return false;
  bool searchBox = false;
  for (const QComboBox* box : {ui->CallEdit, ui->ZIPEdit, ui->CountyEdit})
    searchBox = searchBox || watched == box || watched == box->lineEdit();
  if (!searchBox || !IsMenuShortcut(static_cast<QKeyEvent*>(event))) return false;
  // Not accepted: the key goes to the menu command instead of the line edit (Ctrl+U, Ctrl+A).
  event->ignore();
  return true;
}
