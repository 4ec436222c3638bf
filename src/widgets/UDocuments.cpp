#include "widgets/UDocuments.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

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
  return Launcher()->Open(path) ? kShellOk : kShellNoAssociation;
}

int OpenWithAssociatedProgram(const QString& path) {
  if (!QFileInfo(path).isFile())
    throw std::runtime_error("Could not find associated program " + Code(kShellFileNotFound));
  if (!Launcher()->Open(path))
    throw std::runtime_error("Could not open file/find associated program " +
                             Code(kShellNoAssociation));
  return kShellOk;
}
