#include "widgets/UDocuments.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "widgets/FDocumentViewer.h"

namespace {

// xdg-open when there is one: it can start and still find no program for the file (no
// terminal for a text editor, nothing associated), which only its exit code tells. It is
// watched without waiting; a failure opens the program's own viewer then. A program it keeps
// running in the foreground is left running when Tellmark ends.
class TDesktopLauncher : public TDocumentLauncher {
 public:
  bool Open(const QString& path) override {
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    auto* process = new QProcess;  // no parent: deleted when it ends, never killed
    process->setProgram(opener);
    process->setArguments({path});
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, path](int code, QProcess::ExitStatus status) {
                       if (status != QProcess::NormalExit || code != 0) ShowInDocumentViewer(path);
                       process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, path](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       ShowInDocumentViewer(path);
                       process->deleteLater();
                     });
    process->start();
    return true;
  }
  bool Edit(const QString& path) override {
    const TTextEditorChoice choice = ChooseTextEditor(path);
    return choice.kind != TEditorKind::BuiltIn &&
           QProcess::startDetached(choice.program, choice.arguments);
  }
};

std::shared_ptr<TDocumentLauncher>& Launcher() {
  static std::shared_ptr<TDocumentLauncher> launcher = std::make_shared<TDesktopLauncher>();
  return launcher;
}

constexpr int kQueryMs = 3000;

std::string Code(int result) { return "(Errorcode " + std::to_string(result) + ")"; }

}  // namespace

std::shared_ptr<TDocumentLauncher> SetDocumentLauncher(std::shared_ptr<TDocumentLauncher> l) {
  auto previous = Launcher();
  Launcher() = l ? std::move(l) : std::make_shared<TDesktopLauncher>();
  return previous;
}

int OpenInNotepad(const QString& path) {
  if (!QFileInfo(path).isFile()) return kShellFileNotFound;
  if (Launcher()->Open(path)) return kShellOk;
  // No desktop program for it: the program's own viewer.
  return ShowInDocumentViewer(path) ? kShellOk : kShellNoAssociation;
}

int OpenWithAssociatedProgram(const QString& path) {
  if (!QFileInfo(path).isFile())
    throw std::runtime_error("Could not find associated program " + Code(kShellFileNotFound));
  if (!Launcher()->Open(path))
    throw std::runtime_error("Could not open file/find associated program " +
                             Code(kShellNoAssociation));
  return kShellOk;
}

TTextEditorChoice ChooseTextEditor(const QString& path) {
  TTextEditorChoice choice;
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  const QString mime = QStandardPaths::findExecutable("xdg-mime");
  if (!opener.isEmpty() && !mime.isEmpty()) {
    // xdg-open also "opens" a text file with nothing to edit it (a browser, or nothing at all):
    // only a program named for text/plain counts.
    QProcess query;
    query.setStandardInputFile(QProcess::nullDevice());
    query.start(mime, {"query", "default", "text/plain"});
    if (query.waitForFinished(kQueryMs) && query.exitStatus() == QProcess::NormalExit &&
        query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty()) {
      choice.kind = TEditorKind::Desktop;
      choice.program = opener;
      choice.arguments = {path};
      return choice;
    }
  }
  QString editor = qEnvironmentVariable("VISUAL");
  if (editor.trimmed().isEmpty()) editor = qEnvironmentVariable("EDITOR");
  const QStringList command = QProcess::splitCommand(editor);
  if (!command.isEmpty() && !QStandardPaths::findExecutable(command.front()).isEmpty()) {
    for (const char* terminal : {"x-terminal-emulator", "xterm", "uxterm", "konsole", "urxvt"}) {
      const QString program = QStandardPaths::findExecutable(terminal);
      if (program.isEmpty()) continue;
      choice.kind = TEditorKind::Terminal;
      choice.program = program;
      choice.arguments = QStringList{"-e"} + command + QStringList{path};
      return choice;
    }
  }
  return choice;
}

int OpenInTextEditor(const QString& path) {
  if (!QFileInfo(path).isFile()) return kShellFileNotFound;
  if (Launcher()->Edit(path)) return kShellOk;
  // Never a read-only window under "Edit": the program's own viewer, switched to editing.
  return ShowInDocumentViewer(path, true) ? kShellOk : kShellNoAssociation;
}
