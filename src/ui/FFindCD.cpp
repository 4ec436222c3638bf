#include "ui/FFindCD.h"

#include <QDir>
#include <QFileSystemModel>
#include <QStorageInfo>
#include <algorithm>

#include "ui_FFindCD.h"

namespace {

bool IsRemovableMount(const QString& root, const QByteArray& fsType) {
  return root.startsWith("/media/") || root.startsWith("/run/media/") || root.startsWith("/mnt/") ||
         fsType == "iso9660" || fsType == "udf";
}

bool IsSystemMount(const QString& root, const QByteArray& fsType) {
  static const char* const kPrefixes[] = {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"};
  if (root.startsWith("/run/media/")) return false;
  for (const char* p : kPrefixes)
    if (root == p || root.startsWith(QString(p) + "/")) return true;
  return fsType == "tmpfs" || fsType == "devtmpfs" || fsType == "squashfs";
}

// The volume of the list holding path: the longest root that is a prefix of it.
int VolumeOf(const QStringList& roots, const QString& path) {
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < roots.size(); ++i) {
    const QString& r = roots[i];
    const bool holds = path == r || r == "/" || path.startsWith(r.endsWith('/') ? r : r + '/');
    if (holds && r.size() > bestLength) {
      best = i;
      bestLength = r.size();
    }
  }
  return best;
}

}  // namespace

QStringList TFindCDDlg::VolumeRoots() {
  struct Volume {
    QString root;
    bool removable;
  };
  std::vector<Volume> volumes;
  bool haveRoot = false;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    if (!v.isValid() || !v.isReady()) continue;
    const QString root = v.rootPath();
    if (IsSystemMount(root, v.fileSystemType())) continue;
    haveRoot = haveRoot || root == "/";
    volumes.push_back({root, IsRemovableMount(root, v.fileSystemType())});
  }
  if (!haveRoot) volumes.push_back({"/", false});
  std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
    if (a.removable != b.removable) return a.removable;
    return a.root < b.root;
  });
  QStringList roots;
  for (const Volume& v : volumes)
    if (!roots.contains(v.root)) roots << v.root;
  return roots;
}

TFindCDDlg::TFindCDDlg(const QString& startDir, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TFindCDDlg>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  ui->DirectoryListBox->setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c) ui->DirectoryListBox->hideColumn(c);

  for (const QString& root : VolumeRoots()) {
    const QString name = QStorageInfo(root).displayName();
    ui->DriveComboBox->addItem(name.isEmpty() || name == root ? root : root + "  [" + name + "]",
                               root);
  }
  connect(ui->DriveComboBox, &QComboBox::currentIndexChanged, this,
          &TFindCDDlg::DriveComboBoxChange);
  connect(ui->DirectoryListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TFindCDDlg::DirectoryListBoxChange);
  SetDirectory(startDir);
  ui->DriveComboBox->setFocus();
  setFixedSize(sizeHint().expandedTo(size()));
}

TFindCDDlg::~TFindCDDlg() = default;

void TFindCDDlg::ShowVolume(const QString& root) {
  root_ = root;
  model_->setRootPath(root);
  ui->DirectoryListBox->setRootIndex(model_->index(root));
  ui->DirectoryListBox->setCurrentIndex(QModelIndex());
  ui->Label1->setText(QDir::toNativeSeparators(root));
}

void TFindCDDlg::SetDirectory(const QString& dir) {
  const QString path = QDir(dir).absolutePath();
  QStringList roots;
  for (int i = 0; i < ui->DriveComboBox->count(); ++i)
    roots << ui->DriveComboBox->itemData(i).toString();
  const int volume = VolumeOf(roots, path);
  if (volume < 0) return;
  {
    const QSignalBlocker block(ui->DriveComboBox);
    ui->DriveComboBox->setCurrentIndex(volume);
  }
  ShowVolume(roots[volume]);
  if (path != roots[volume]) {
    const QModelIndex index = model_->index(path);
    if (index.isValid()) {
      ui->DirectoryListBox->setCurrentIndex(index);
      ui->DirectoryListBox->expand(index);
      ui->DirectoryListBox->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
  }
  ui->Label1->setText(QDir::toNativeSeparators(Directory()));
}

QString TFindCDDlg::Directory() const {
  const QModelIndex current = ui->DirectoryListBox->currentIndex();
  return current.isValid() ? model_->filePath(current) : root_;
}

void TFindCDDlg::DriveComboBoxChange(int index) {
  if (index >= 0) ShowVolume(ui->DriveComboBox->itemData(index).toString());
}

void TFindCDDlg::DirectoryListBoxChange() {
  ui->Label1->setText(QDir::toNativeSeparators(Directory()));
}
