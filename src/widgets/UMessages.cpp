#include "widgets/UMessages.h"

#include <QApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QSpacerItem>

#include "common/IOUtil.h"

namespace {

QString& Title() {
  static QString title;
  return title;
}

TMessageHandler& Handler() {
  static TMessageHandler handler;
  return handler;
}

QString Limited(const QString& text) { return text.left(kMaxMessageLength); }

QMessageBox::StandardButtons ButtonsOf(int flags) {
  switch (flags & 0x0F) {
    case mbOKCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case mbAbortRetryIgnore:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case mbYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case mbYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case mbRetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(int flags) {
  switch (flags & 0xF0) {
    case mbIconError:
      return QMessageBox::Critical;
    case mbIconQuestion:
      return QMessageBox::Question;
    case mbIconWarning:
      return QMessageBox::Warning;
    case mbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int AnswerOf(int button) {
  switch (button) {
    case QMessageBox::Ok:
      return idOK;
    case QMessageBox::Cancel:
      return idCancel;
    case QMessageBox::Abort:
      return idAbort;
    case QMessageBox::Retry:
      return idRetry;
    case QMessageBox::Ignore:
      return idIgnore;
    case QMessageBox::Yes:
      return idYes;
    case QMessageBox::No:
      return idNo;
    default:
      return idCancel;  // closed without a button
  }
}

}  // namespace

int MinimumBoxWidth(const QString& caption, const QFont& font) {
  QFont title = font;
  title.setBold(true);  // title bars often draw the caption bold
  // Room for the window manager's icon and buttons (about 3 title-bar heights each side).
  const QFontMetrics fm(title);
  return fm.horizontalAdvance(caption) + 6 * fm.height() + 24;
}

namespace {

int Run(TMessageRequest& request) {
  if (Handler()) return Handler()(request);
  QWidget* parent = QApplication::activeWindow();
  if (request.kind == TMessageKind::Input) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, request.caption, request.text,
                                               QLineEdit::Normal, request.input, &ok);
    if (ok) request.input = text;
    return ok ? idOK : idCancel;
  }
  QMessageBox box(IconOf(request.flags), request.caption, request.text, ButtonsOf(request.flags),
                  parent);
  // Wide enough for its whole caption in the title bar, beside the window manager's buttons: a
  // short text would otherwise make the title "Tellmark… er 1999".
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int width = MinimumBoxWidth(request.caption, box.font());
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return AnswerOf(box.exec());
}

}  // namespace

void SetApplicationTitle(const QString& title) { Title() = title; }

QString ApplicationTitle() { return Title(); }

void ShowErrorBox(const QString& text) {
  TMessageRequest request{TMessageKind::Error, Title(), Limited(text), mbOK | mbIconError, {}};
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  try {
    Run(request);
  } catch (...) {
    QApplication::restoreOverrideCursor();
    throw;
  }
  QApplication::restoreOverrideCursor();
}

void ShowHandlingError(const std::exception& e) {
  ShowErrorBox(QString(kHandlingErrorPrefix) + e.what());
}

int ShowInfoBox(const QString& caption, const QString& text, int flags) {
  TMessageRequest request{TMessageKind::Info, caption, text, flags, {}};
  return Run(request);
}

void ShowInfoBox(const QString& text) {
  ShowInfoBox(Title(), Limited(text), mbOK | mbIconInformation);
}

bool InputBox(const QString& caption, const QString& prompt, QString& text) {
  TMessageRequest request{TMessageKind::Input, caption, Limited(prompt), mbOKCancel, text};
  if (Run(request) != idOK) return false;
  text = request.input;
  return true;
}

TMessageHandler SetMessageHandler(TMessageHandler handler) {
  TMessageHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}
