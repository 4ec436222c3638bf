#include "morse/FCWOutput.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QTextBlock>
#include <QThread>
#include <stdexcept>

#include "morse/UQtSoundPlayer.h"
#include "ui_FCWOutput.h"
#include "widgets/UContrast.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

// A straight key seen from the side: base, lever on its pivot, knob; pressed, the lever is down
// on the contact. The hot spot is the knob.
QCursor MakeKeyCursor(bool down) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QPen outline(Qt::black, 1.5);
  p.setPen(outline);
  p.setBrush(QColor(150, 110, 60));
  p.drawRoundedRect(QRectF(2, 25, 28, 5), 1.5, 1.5);  // base
  p.setBrush(QColor(200, 160, 60));
  p.drawRect(QRectF(23, 19, 4, 6));  // pivot post
  const QPointF pivot(25, 19), knob = down ? QPointF(7, 19) : QPointF(7, 11);
  p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(pivot, knob);
  p.setPen(QPen(QColor(200, 160, 60), 1.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(pivot, knob);
  p.setPen(outline);
  p.setBrush(down ? QColor(220, 40, 40) : QColor(40, 40, 40));
  p.drawEllipse(knob + QPointF(0, -3), 5, 3.5);  // knob
  p.setBrush(QColor(210, 210, 210));
  p.drawRect(QRectF(5, 23, 4, 2));  // contact
  p.end();
  return QCursor(pixmap, static_cast<int>(knob.x()), static_cast<int>(knob.y()) - 3);
}

}  // namespace

TCWOutputForm::TCWOutputForm(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TCWOutputForm>()) {
  ui->setupUi(this);
  // Fixed single border, system menu and minimise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QFont courier("Courier");
  courier.setStyleHint(QFont::TypeWriter);
  courier.setPixelSize(13);
  ui->CWTextMemo->setFont(courier);
  // Disabled, but the text being sent is read: the normal text colour, not the greyed one.
  QPalette memo = ui->CWTextMemo->palette();
  memo.setColor(QPalette::Disabled, QPalette::Text, memo.color(QPalette::Active, QPalette::Text));
  ui->CWTextMemo->setPalette(memo);
  setFixedSize(size().expandedTo(minimumSizeHint()));
  keyDown_ = MakeKeyCursor(true);
  keyUp_ = MakeKeyCursor(false);
  player_ = std::make_shared<TQtSoundPlayer>();
  connect(ui->StopBtn, &QPushButton::clicked, this, &TCWOutputForm::StopBtnClick);
  connect(ui->CloseBtn, &QPushButton::clicked, this, &TCWOutputForm::CloseBtnClick);
}

TCWOutputForm::~TCWOutputForm() {
  if (!worker_) return;
  // The worker's calls from now on do nothing; one already waiting is let through here.
  detached_ = true;
  worker_->Terminate();
  while (!worker_->Finished()) {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QThread::msleep(2);
  }
  worker_.reset();
}

void TCWOutputForm::StartOutput(const std::string& text, const TMorseOptions& options) {
  if (worker_) throw std::runtime_error(kCWStillRunningText);
  try {
    TCWOutputHost& host = *this;
    auto worker = std::make_unique<TCWOutput>(*player_, host);
    worker->SetOnTerminate([this] {
      QMetaObject::invokeMethod(this, &TCWOutputForm::OutputDone, Qt::QueuedConnection);
    });
    worker->SetText(text);
    worker->SetOptions(options);
    worker_ = std::move(worker);
    ui->StopBtn->setEnabled(true);
    worker_->Resume();
  } catch (const std::exception& e) {
    worker_.reset();
    ui->StopBtn->setEnabled(false);
    ShowInfoBox(ApplicationTitle(), QString("Create CWPRocess: ") + e.what(), mbOK);
  }
}

void TCWOutputForm::StopOutput() {
  try {
    if (worker_) worker_->Terminate();
  } catch (...) {
  }
}

void TCWOutputForm::OutputDone() {
  if (!worker_) return;
  worker_->WaitFor();
  const std::string error = worker_->Error();
  worker_.reset();
  ui->StopBtn->setEnabled(false);
  unsetCursor();
  emit OutputEnded();
  if (!error.empty()) ShowErrorBox(QString::fromStdString(error));
}

void TCWOutputForm::ShowErrorWhileSending(const QString& text) {
  qApp->installEventFilter(this);
  ShowErrorBox(text);
  qApp->removeEventFilter(this);
}

bool TCWOutputForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) StopOutput();
  }
  return QWidget::eventFilter(watched, event);  // the box still closes
}

void TCWOutputForm::StopBtnClick() { StopOutput(); }

void TCWOutputForm::CloseBtnClick() { close(); }

void TCWOutputForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    StopOutput();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TCWOutputForm::Synchronize(const std::function<void()>& call) {
  if (detached_) return;
  if (QThread::currentThread() == thread())
    call();
  else
    QMetaObject::invokeMethod(
        this,
        [this, &call] {
          if (!detached_) call();
        },
        Qt::BlockingQueuedConnection);
}

void TCWOutputForm::ShowText(const std::string& text) {
  ui->CWTextMemo->setPlainText(FromData(text));
}

void TCWOutputForm::SetInfo(const std::string& text) { ui->CWInfoLbl->setText(FromData(text)); }

void TCWOutputForm::ShowSelection(int position) {
  QPlainTextEdit* memo = ui->CWTextMemo;
  QTextCursor cursor(memo->document());
  QList<QTextEdit::ExtraSelection> marks;
  if (position > 0 && position <= memo->document()->characterCount() - 1) {
    cursor.setPosition(position - 1);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    // Drawn as an extra selection too: the memo is disabled and has no focus.
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    const QColor text = palette().color(QPalette::Active, QPalette::HighlightedText);
    mark.format.setBackground(
        ReadableBackground(palette().color(QPalette::Active, QPalette::Highlight), text));
    mark.format.setForeground(text);
    marks << mark;
  }
  memo->setTextCursor(cursor);
  memo->setExtraSelections(marks);
}

void TCWOutputForm::SetKeyCursor(bool down) { setCursor(down ? keyDown_ : keyUp_); }
