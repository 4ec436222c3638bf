#include "widgets/UHelp.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

QString& HelpFileName() {
  static QString name;
  return name;
}

THelpHandler& Handler() {
  static THelpHandler handler;
  return handler;
}

QPointer<THelpForm>& Form() {
  static QPointer<THelpForm> form;
  return form;
}

QString AnchorOf(int context) {
  return context > 0 ? QString::number(context) : QStringLiteral("contents");
}

// F1 in menus and dialogs.
class THelpKeyFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
      // An open menu: the highlighted item, else the menu.
      if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
      }
      int context = menu->activeAction() ? HelpContextOf(menu->activeAction()) : 0;
      if (!context) context = HelpContextOf(menu);
      menu->close();
      ShowHelp(context);
      return true;
    }
    if (type != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != QApplication::focusWidget() && widget->window() != widget) return false;
    ShowHelp(HelpContextOf(widget));
    return true;
  }
};

// A modal dialog blocks input to every window that is not its own. The help window is made a
// transient of the modal dialog open (or of none), so that it stays usable beside it.
void FollowModalDialog(THelpForm* form) {
  if (!form || !form->windowHandle()) return;
  QWidget* modal = QApplication::activeModalWidget();
  QWindow* owner = modal && modal != form && modal->isVisible() ? modal->windowHandle() : nullptr;
  if (form->windowHandle()->transientParent() != owner)
    form->windowHandle()->setTransientParent(owner);
}

// Dialogs shown and hidden while the help window is open.
class THelpModalFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && Form() && watched != Form().data() &&
        watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() &&
        static_cast<QWidget*>(watched)->isModal())
      // After the dialog's own handling, when it is (or is no longer) the active modal widget.
      QMetaObject::invokeMethod(
          Form().data(), [] { FollowModalDialog(Form()); }, Qt::QueuedConnection);
    return false;
  }
};

}  // namespace

void SetHelpFile(const QString& path) { HelpFileName() = path; }
QString HelpFile() { return HelpFileName(); }

THelpHandler SetHelpHandler(THelpHandler handler) {
  THelpHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

int HelpContextOf(const QObject* object) {
  for (; object; object = object->parent()) {
    const QVariant v = object->property("helpContext");
    if (v.isValid() && v.toInt() > 0) return v.toInt();
  }
  return 0;
}

void ShowHelp(int context) {
  if (Handler()) return Handler()(context);
  if (!Form()) Form() = new THelpForm;
  THelpForm* form = Form();
  if (!form->ShowContext(HelpFileName(), context)) {
    ShowErrorBox("Cannot open the help file " + HelpFileName() + ".");
    return;
  }
  form->show();
  FollowModalDialog(form);
  form->raise();
  form->activateWindow();
}

void QuitHelp() { delete Form().data(); }

THelpForm* HelpForm() { return Form(); }

void InstallHelpKey(QApplication* app) {
  app->installEventFilter(new THelpKeyFilter(app));
  app->installEventFilter(new THelpModalFilter(app));
}

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("HelpForm");
  setWindowTitle("Tellmark Help");
  setAttribute(Qt::WA_DeleteOnClose);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("HelpBrowser");
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(true);
  contentsBtn_ = new QPushButton("&Contents", this);
  contentsBtn_->setObjectName("ContentsBtn");
  backBtn_ = new QPushButton("&Back", this);
  backBtn_->setObjectName("BackBtn");
  forwardBtn_ = new QPushButton("&Forward", this);
  forwardBtn_->setObjectName("ForwardBtn");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contentsBtn_);
  buttons->addWidget(backBtn_);
  buttons->addWidget(forwardBtn_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
  backBtn_->setEnabled(false);
  forwardBtn_->setEnabled(false);
  connect(contentsBtn_, &QPushButton::clicked, this,
          [this] { browser_->scrollToAnchor(AnchorOf(0)); });
  connect(backBtn_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forwardBtn_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, backBtn_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forwardBtn_, &QPushButton::setEnabled);
  SizeToScreen(this, QSize(640, 560));
}

bool THelpForm::ShowContext(const QString& file, int context) {
  if (file != file_ || browser_->document()->isEmpty()) {
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly)) return false;
    file_ = file;
  }
  QUrl url = QUrl::fromLocalFile(file_);
  url.setFragment(AnchorOf(context));
  browser_->setSource(url);
  browser_->scrollToAnchor(AnchorOf(context));
  return true;
}
