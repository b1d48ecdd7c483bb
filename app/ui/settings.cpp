#include "settings.h"

#include <cstdlib>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QStandardPaths>

#include "ascii.h"
#include "bytetext.h"
#include "mainwindow.h"
#include "registryfile.h"
#include "servers.h"

namespace ui {

namespace {

constexpr const char* kDeviceNumber = "Quorvel\\设备号";
constexpr const char* kMapDataVersion = "Quorvel\\图资";
constexpr const char* kSaveFolder = "Quorvel\\保存目录";
const QString kChooserTitle = QStringLiteral("选择要保存到的文件夹");

QString ReadStored(const char* path) {
  return QString::fromStdString(core::registry::ReadText(core::SettingsFilePath(), path));
}

void WriteStored(const char* path, const std::string& text) {
  core::registry::WriteText(core::SettingsFilePath(), path, text);  // a failed write is dropped
}

QString RunFolderDialog(QWidget* owner, QFileDialog::Options options, const QString& startFolder = {}) {
  QFileDialog dialog(owner, kChooserTitle);
  if (!startFolder.isEmpty()) dialog.setDirectory(startFolder);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(options | QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QString DesktopFolder() {
  QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return desktop.endsWith(u'/') ? desktop : desktop + u'/';
}

void LoadSettings(MainWindow& w) {
  w.编辑框_渠道设备号->setText(ReadStored(kDeviceNumber));
  w.编辑框_图资->setText(ReadStored(kMapDataVersion));
  // The defaults are tested on the boxes, so an absent value and an empty one behave alike.
  if (w.编辑框_渠道设备号->text().isEmpty()) w.编辑框_渠道设备号->setText(QStringLiteral("3261"));
  if (w.编辑框_图资->text().isEmpty()) w.编辑框_图资->setText(QStringLiteral("3m21j27"));
  QString folder = ReadStored(kSaveFolder);
  w.编辑框_保存目录->setText(folder.isEmpty() ? DesktopFolder() : folder);
  // The two servers: the build's hosts unless the settings name others ("host" or "host:port").
  const core::ServerAddresses servers = core::ConfiguredServers();
  w.state.portalServer = servers.portal;
  w.state.downloadServer = servers.download;
}

void StoreSettings(MainWindow& w) {
  WriteStored(kDeviceNumber, w.编辑框_渠道设备号->text().toStdString());
  WriteStored(kMapDataVersion, common::AsciiLower(w.编辑框_图资->text().toStdString()));
  WriteStored(kSaveFolder, w.编辑框_保存目录->text().toStdString());
}

void AcceptChosenFolder(MainWindow& w, const QString& path) {
  if (path.isEmpty()) return;
  w.编辑框_保存目录->setText(path);
  WriteStored(kSaveFolder, w.编辑框_保存目录->text().toStdString());
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
