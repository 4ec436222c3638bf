#include "widgets/UDocuments.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "widgets/FDocumentViewer.h"

namespace {

class TDesktopLauncher : public TDocumentLauncher {
 public:
  bool Open(const QString& path) override {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  }
};

std::shared_ptr<TDocumentLauncher>& Launcher() {
  static std::shared_ptr<TDocumentLauncher> launcher = std::make_shared<TDesktopLauncher>();
  return launcher;
}

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
