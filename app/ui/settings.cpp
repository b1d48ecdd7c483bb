#include "settings.h"

#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QStandardPaths>

#include "ascii.h"
#include "bytetext.h"
#include "mainwindow.h"
#include "servers.h"
#include "settingstable.h"

namespace ui {

namespace {

const QString kChooserTitle = QStringLiteral("选择要保存到的文件夹");

QString ReadStored(const core::Setting& setting) { return QString::fromStdString(core::ReadSetting(setting)); }

void WriteStored(const core::Setting& setting, const std::string& text) {
  core::WriteSetting(setting, text);  // a failed write is dropped
}

QString RunFolderDialog(QWidget* owner, QFileDialog::Options options, const QString& startFolder = {}) {
  QFileDialog dialog(owner, kChooserTitle);
  if (!startFolder.isEmpty()) dialog.setDirectory(startFolder);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(options | QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());  // "D:\地图" on Windows
}

}  // namespace

QString DesktopFolder() {
  // As the system writes paths: "C:\Users\x\Desktop\" on Windows.
  QString desktop = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
  return desktop.endsWith(QDir::separator()) ? desktop : desktop + QDir::separator();
}

void LoadSettings(MainWindow& w) {
  // An absent value and an empty one read alike, as the table's defaults.
  w.编辑框_渠道设备号->setText(ReadStored(core::kDeviceNumber));
  w.编辑框_图资->setText(ReadStored(core::kMapDataVersion));
  QString folder = ReadStored(core::kSaveFolder);
  w.编辑框_保存目录->setText(folder.isEmpty() ? DesktopFolder() : folder);
  // The two servers: the build's hosts unless the settings name others ("host" or "host:port").
  w.state.servers = core::ConfiguredServers();
}

void StoreSettings(MainWindow& w) {
  WriteStored(core::kDeviceNumber, w.编辑框_渠道设备号->text().toStdString());
  WriteStored(core::kMapDataVersion, common::AsciiLower(w.编辑框_图资->text().toStdString()));
  WriteStored(core::kSaveFolder, w.编辑框_保存目录->text().toStdString());
}

void AcceptChosenFolder(MainWindow& w, const QString& path) {
  if (path.isEmpty()) return;
  w.编辑框_保存目录->setText(path);
  WriteStored(core::kSaveFolder, w.编辑框_保存目录->text().toStdString());
}

void ChooseSaveFolderFromButton(MainWindow& w) {
  // No owner; it opens at the current save folder. The path is taken as the dialog returns
  // it: there is no blank-padded buffer to trim, and trimming would break folder names that
  // begin or end with a blank.
  AcceptChosenFolder(w, RunFolderDialog(nullptr, {}, w.编辑框_保存目录->text()));
}

void ChooseSaveFolderFromEdit(MainWindow& w) {
  // Owned by the active window and modal to the whole program; the widget dialog always has
  // the edit field in which a folder name can be typed.
  QPointer<QWidget> active = QApplication::activeWindow();
  QString path = RunFolderDialog(active, QFileDialog::DontUseNativeDialog);
  if (active) active->activateWindow();
  AcceptChosenFolder(w, path);
}

}  // namespace ui
