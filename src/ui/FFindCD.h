#pragma once
// The data-location dialog "Select CD": a drive box of the mounted volumes (removable media
// first) linked to a directory tree whose current path the dialog shows and returns.
#include <QDialog>
#include <QStringList>
#include <memory>

class QFileSystemModel;

namespace Ui {
class TFindCDDlg;
}

class TFindCDDlg : public QDialog {
  Q_OBJECT

 public:
  // The directory list starts at startDir (the volume holding it is selected).
  explicit TFindCDDlg(const QString& startDir, QWidget* parent = nullptr);
  ~TFindCDDlg() override;

  // The directory chosen in the list.
  QString Directory() const;
  void SetDirectory(const QString& dir);

  // Root paths of the mounted volumes in the order the drive box lists them.
  static QStringList VolumeRoots();

 private slots:
  void DriveComboBoxChange(int index);
  void DirectoryListBoxChange();

 private:
  void ShowVolume(const QString& root);

  std::unique_ptr<Ui::TFindCDDlg> ui;
  QFileSystemModel* model_ = nullptr;
  QString root_;
};
