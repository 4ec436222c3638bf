#include "widgets/FDocumentViewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <utility>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

TViewerSizeStore& SizeStore() {
  static TViewerSizeStore store;
  return store;
}

// The size the last viewer had; the default when none is kept.
QSize KeptSize() {
  const TViewerSizeStore& store = SizeStore();
  const QSize size = store.load ? store.load() : QSize();
  if (size.width() < 200 || size.height() < 150 || size.width() > 10000 || size.height() > 10000)
    return {TDocumentViewerForm::kDefaultWidth, TDocumentViewerForm::kDefaultHeight};
  return size;
}

void KeepSize(const QSize& size) {
  const TViewerSizeStore& store = SizeStore();
  if (!store.save) return;
  try {
    store.save(size);
  } catch (...) {
    // A size that cannot be kept is no failure of the viewer.
  }
}

}  // namespace

void SetDocumentViewerSizeStore(TViewerSizeStore store) { SizeStore() = std::move(store); }

TDocumentViewerForm::TDocumentViewerForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("DocumentViewerForm");
  setAttribute(Qt::WA_DeleteOnClose);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName("DocumentText");
  text_->setReadOnly(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  findEdit_ = new QLineEdit(this);
  findEdit_->setObjectName("FindEdit");
  findEdit_->setPlaceholderText("Find");
  findEdit_->setClearButtonEnabled(true);
  auto* findLabel = new QLabel("&Find:", this);
  findLabel->setBuddy(findEdit_);
  findNextBtn_ = new QPushButton("Find &next", this);
  findNextBtn_->setObjectName("FindNextBtn");
  findResult_ = new QLabel(this);
  findResult_->setObjectName("FindResultLbl");
  saveBtn_ = new QPushButton("&Save", this);
  saveBtn_->setObjectName("SaveBtn");
  saveBtn_->setVisible(false);
  auto* closeBtn = new QPushButton("Close", this);
  closeBtn->setObjectName("CloseBtn");
  auto* bar = new QHBoxLayout;
  bar->addWidget(findLabel);
  bar->addWidget(findEdit_, 1);
  bar->addWidget(findNextBtn_);
  bar->addWidget(findResult_, 1);
  bar->addWidget(saveBtn_);
  bar->addWidget(closeBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(bar);

  connect(findEdit_, &QLineEdit::returnPressed, this, &TDocumentViewerForm::FindNext);
  connect(findNextBtn_, &QPushButton::clicked, this, &TDocumentViewerForm::FindNext);
  connect(findEdit_, &QLineEdit::textChanged, findResult_, &QLabel::clear);
  connect(closeBtn, &QPushButton::clicked, this, &QWidget::close);
  connect(saveBtn_, &QPushButton::clicked, this, &TDocumentViewerForm::Save);
  connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, [this] {
    if (Editable()) Save();
  });
  connect(text_->document(), &QTextDocument::modificationChanged, this, [this](bool changed) {
    if (Editable()) setWindowTitle(QFileInfo(path_).fileName() + (changed ? " *" : ""));
  });
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
    findEdit_->setFocus();
    findEdit_->selectAll();
  });
  connect(new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated, this,
          &TDocumentViewerForm::FindNext);
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
          &QWidget::close);
  SizeToScreen(this, KeptSize());  // at a large scale the kept size may exceed the screen
}

bool TDocumentViewerForm::Load(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) return false;
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8(bytes);
  cp437_ = utf8.hasError();
  if (cp437_) text = FromData(bytes.toStdString());
  text_->setPlainText(text);
  text_->document()->setModified(false);
  path_ = path;
  setWindowTitle(QFileInfo(path).fileName() + (Editable() ? "" : " (read-only)"));
  return true;
}

void TDocumentViewerForm::SetEditable() {
  text_->setReadOnly(false);
  text_->setTextInteractionFlags(Qt::TextEditorInteraction);
  saveBtn_->setVisible(true);
  setWindowTitle(QFileInfo(path_).fileName() + (text_->document()->isModified() ? " *" : ""));
  text_->setFocus();
}

bool TDocumentViewerForm::Save() {
  const QString text = text_->toPlainText();
  std::string bytes;
  if (cp437_) {
    // Nothing replaced without a word: a character the file's code page lacks stops the save.
    for (const uint c : text.toUcs4()) {
      char b = 0;
      if (!CodePointToCp437(c, b)) {
        ShowErrorBox(QString("%1 is not saved: its code page has no \"%2\".")
                         .arg(QFileInfo(path_).fileName(),
                              QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1)));
        return false;
      }
      bytes += b;
    }
  } else {
    bytes = text.toStdString();
  }
  if (!WriteFileAtomically(QFile::encodeName(path_).toStdString(), bytes)) {
    ShowErrorBox(QString("%1 could not be saved: %2")
                     .arg(path_, QString::fromStdString(RunErrorText(LastErrorCode()))));
    return false;
  }
  text_->document()->setModified(false);
  findResult_->setText("Saved");
  return true;
}

bool TDocumentViewerForm::FindNext() {
  const QString what = findEdit_->text();
  if (what.isEmpty()) return false;
  bool found = text_->find(what);
  if (!found) {
    // From the top again.
    QTextCursor top = text_->textCursor();
    top.movePosition(QTextCursor::Start);
    text_->setTextCursor(top);
    found = text_->find(what);
  }
  if (found) text_->centerCursor();
  findResult_->setText(found ? QString() : "Not found");
  return found;
}

void TDocumentViewerForm::closeEvent(QCloseEvent* event) {
  if (Editable() && text_->document()->isModified()) {
    const int answer =
        ShowInfoBox(ApplicationTitle(),
                    QString("%1 has unsaved changes. Save them?").arg(QFileInfo(path_).fileName()),
                    mbYesNoCancel | mbIconQuestion);
    if (answer == idCancel || (answer == idYes && !Save())) {
      event->ignore();
      return;
    }
  }
  KeepSize(isMaximized() || isFullScreen() ? normalGeometry().size() : size());
  event->accept();
}

bool ShowInDocumentViewer(const QString& path, bool edit) {
  const QString canonical = QFileInfo(path).absoluteFilePath();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* viewer = qobject_cast<TDocumentViewerForm*>(w);
    if (viewer && viewer->Path() == canonical && viewer->isVisible()) {
      // The file may have changed meanwhile (the report file); changes typed are kept.
      if (!viewer->Text()->document()->isModified()) viewer->Load(canonical);
      if (edit) viewer->SetEditable();
      viewer->raise();
      viewer->activateWindow();
      return true;
    }
  }
  auto* viewer = new TDocumentViewerForm;
  if (!viewer->Load(canonical)) {
    delete viewer;
    return false;
  }
  if (edit) viewer->SetEditable();
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
  return true;
}
