#pragma once
// The program's help: an in-program help window over the HTML help file of the data set, in
// which every help context number is an anchor ("#1301"). Windows carry their number in the
// property "helpContext"; Help buttons, F1 and the Help menu all come here.
#include <QString>
#include <QWidget>
#include <functional>

class QApplication;
class QTextBrowser;
class QPushButton;

// The help file the window shows (an HTML file).
void SetHelpFile(const QString& path);
QString HelpFile();

// The contents command: opens the help window at the anchor of the help context, or at the
// contents for 0. A help file that cannot be read is reported in the error box.
void ShowHelp(int context = 0);
// Closes the help window (the program ends).
void QuitHelp();

// Tests answer help requests here instead of the window; returns the previous handler.
using THelpHandler = std::function<void(int context)>;
THelpHandler SetHelpHandler(THelpHandler handler);

// The help context of an object: its own "helpContext" property, else its nearest parent's;
// 0 when none has one.
int HelpContextOf(const QObject* object);

// F1 anywhere in the program: the highlighted menu item's help context, else the help context of
// the window with the focus. Windows whose own F1 shortcut says otherwise (the main window's
// "Content") keep it.
void InstallHelpKey(QApplication* app);

// The help window: a browser over the help file with Contents, Back and Forward.
class THelpForm : public QWidget {
  Q_OBJECT
 public:
  explicit THelpForm(QWidget* parent = nullptr);
  // Loads the help file when it changed and goes to the anchor (0 = contents); false when the
  // file cannot be read.
  bool ShowContext(const QString& file, int context);
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  QPushButton *contentsBtn_, *backBtn_, *forwardBtn_;
  QString file_;
};

// The help window, when it has been opened.
THelpForm* HelpForm();
