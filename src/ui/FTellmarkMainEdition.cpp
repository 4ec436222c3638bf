// The open edition watched: when tellmark-build (an update by the timer, a rebuild) puts a new
// edition in its folder, the main window offers to reopen it.
#include <QApplication>
#include <QFileSystemWatcher>
#include <QTimer>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/UEdition.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

namespace {

// The manifest in the folder now, as text; empty when it cannot be read or parsed (a build
// between its renames: asked again at the next change).
std::string EditionOnDisk() {
  std::string text;
  if (!ReadWholeFile(DataSetPath(kEditionFileName), text)) return {};
  const TResult<TEdition> ed = ParseEdition(text);
  return ed.ok() ? FormatEdition(*ed) : std::string();
}

}  // namespace

void TCallViewForm::SetUpEditionWatch() {
  editionWatch_ = new QFileSystemWatcher(this);
  editionCheck_ = new QTimer(this);
  editionCheck_->setSingleShot(true);
  // A build renames several files: look once it has settled.
  editionCheck_->setInterval(2000);
  const QString ini = FromLocalPath(DataSetPath(kEditionFileName));
  const QString dataDir = FromLocalPath(DataSetPath("data"));
  const auto watch = [this, ini, dataDir] {
    // A file replaced by a rename is watched no longer: watch the new one (and the folder, which
    // sees the rename of an edition put in its place).
    for (const QString& p : {ini, dataDir})
      if (!editionWatch_->files().contains(p) && !editionWatch_->directories().contains(p))
        editionWatch_->addPath(p);
  };
  watch();
  connect(editionWatch_, &QFileSystemWatcher::fileChanged, this, [this, watch] {
    watch();
    editionCheck_->start();
  });
  connect(editionWatch_, &QFileSystemWatcher::directoryChanged, this, [this, watch] {
    watch();
    editionCheck_->start();
  });
  connect(editionCheck_, &QTimer::timeout, this, &TCallViewForm::CheckEditionOnDisk);
}

void TCallViewForm::CheckEditionOnDisk() {
  const std::string now = EditionOnDisk();
  const std::string open = FormatEdition(CurrentEdition());
  if (now.empty() || now == open || now == declinedEdition_) return;
  // Not over a dialog or a running search: asked when the program is idle again.
  if (modalRunning_ || busy_ || QApplication::activeModalWidget()) {
    editionCheck_->start();
    return;
  }
  const TResult<TEdition> parsed = ParseEdition(now);
  const TEdition ed = parsed.ok() ? *parsed : TEdition{};
  QString what =
      RealEdition(ed) ? QString::fromStdString(Cp437ToUtf8(ed.title)) : QString(kApplicationTitle);
  if (const std::string made = EditionSourcesText(ed); !made.empty())
    what += "\n" + QString::fromStdString(made);
  const int answer = ShowInfoBox(ApplicationTitle(),
                                 "A new edition has been put in the data folder:\n\n" + what +
                                     "\n\nOpen it now? (Otherwise the program shows the "
                                     "edition it opened until it is started again.)",
                                 mbYesNo | mbIconQuestion);
  if (answer == idYes) {
    emit ReopenEdition();
    return;
  }
  declinedEdition_ = now;
}
