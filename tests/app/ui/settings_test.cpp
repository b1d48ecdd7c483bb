#include "settings.h"

#include <fstream>

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include "../testsupport.h"
#include "ascii.h"
#include "bytetext.h"
#include "language.h"
#include "mainwindow.h"
#include "registryfile.h"

using namespace text;
using namespace common;
using namespace core;
using namespace ui;

namespace {

class SettingsTest : public testing::Test {
 protected:
  ScratchConfig config;
  ProgramState state{"/nowhere", "quorvel", [](const std::string&, const std::string&) {}};

  void Store(const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(config.settingsFile()).parent_path());
    std::ofstream(config.settingsFile(), std::ios::binary) << content;
  }
  std::string Stored(const char* name) {
    return registry::ReadText(config.settingsFile(), std::string("Quorvel\\") + name);
  }
};

TEST_F(SettingsTest, FirstStartShowsDefaultsAndCloseStoresAllThree) {
  WiredWindow w(state);
  LoadSettings(w);
  EXPECT_EQ(w.编辑框_渠道设备号->text(), QStringLiteral("3261"));
  EXPECT_EQ(w.编辑框_图资->text(), QStringLiteral("3m21j27"));
  EXPECT_EQ(w.编辑框_保存目录->text(), DesktopFolder());
  EXPECT_TRUE(DesktopFolder().endsWith(u'/'));
  EXPECT_FALSE(std::filesystem::exists(config.settingsFile())) << "loading writes nothing";
  StoreSettings(w);
  EXPECT_EQ(Stored("设备号"), "3261");
  EXPECT_EQ(Stored("图资"), "3m21j27");
  EXPECT_EQ(Stored("保存目录"), DesktopFolder().toStdString());
}

TEST_F(SettingsTest, MapDataVersionIsStoredLowerCasedInAsciiOnly) {
  WiredWindow w(state);
  w.编辑框_渠道设备号->setText(QStringLiteral("AbC 12"));
  w.编辑框_图资->setText(QStringLiteral("3M21J27版Ä"));
  w.编辑框_保存目录->setText(QStringLiteral("/Data/下载"));
  StoreSettings(w);
  EXPECT_EQ(Stored("设备号"), "AbC 12");
  EXPECT_EQ(Stored("图资"), "3m21j27版Ä");
  EXPECT_EQ(Stored("保存目录"), "/Data/下载");
  EXPECT_EQ(common::AsciiLower("ÀZ中Q"), "Àz中q");
}

TEST_F(SettingsTest, StoredValuesOfOtherTypesAndExpandableText) {
  setenv("QUORVEL_TEST_DOWNLOADS", "/srv/files", 1);
  Store(
      "[Quorvel]\n\"设备号\"=dword:00000cbd\n\"图资\"=str(2):\"%QUORVEL_TEST_DOWNLOADS%\"\n"
      "\"保存目录\"=str(2):\"%QUORVEL_TEST_DOWNLOADS%/navi\"\n");
  WiredWindow w(state);
  LoadSettings(w);
  EXPECT_EQ(w.编辑框_渠道设备号->text(), QStringLiteral("3261"));  // a DWORD counts as empty
  EXPECT_EQ(w.编辑框_图资->text(), QStringLiteral("/srv/files"));
  EXPECT_EQ(w.编辑框_保存目录->text(), QStringLiteral("/srv/files/navi"));

  Store("[Quorvel]\n\"保存目录\"=dword:0000000a\n");
  LoadSettings(w);
  EXPECT_EQ(w.编辑框_保存目录->text(), DesktopFolder());
}

TEST_F(SettingsTest, EmptiedBoxIsStoredEmptyAndComesBackAsTheDefault) {
  Store("[Quorvel]\n\"设备号\"=\"9999\"\n\"图资\"=\"3m20j01\"\n\"保存目录\"=\"/keep/\"\n");
  WiredWindow w(state);
  LoadSettings(w);
  EXPECT_EQ(w.编辑框_渠道设备号->text(), QStringLiteral("9999"));
  w.编辑框_渠道设备号->clear();
  StoreSettings(w);
  EXPECT_EQ(Stored("设备号"), "");
  EXPECT_EQ(Stored("保存目录"), "/keep/");
  MainWindow next(state);
  LoadSettings(next);
  EXPECT_EQ(next.编辑框_渠道设备号->text(), QStringLiteral("3261"));
  EXPECT_EQ(next.编辑框_图资->text(), QStringLiteral("3m20j01"));
}

TEST_F(SettingsTest, MalformedStoresStartWithDefaultsAndKeepWhatTheyHold) {
  const std::string stores[] = {
      std::string("\x00\xff\xfe\x01garbage\n", 12),
      "[Quorvel]\n\"设备号\"=\"77",
      "\xb2\xe2\xca\xd4\n[Quorvel]\n",
      std::string(300000, 'x'),
  };
  for (const std::string& content : stores) {
    Store(content);
    WiredWindow w(state);
    LoadSettings(w);
    EXPECT_EQ(w.编辑框_渠道设备号->text(), QStringLiteral("3261"));
    StoreSettings(w);
    std::ifstream in(config.settingsFile(), std::ios::binary);
    std::string after((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(after.find(content.substr(0, content.find('\n'))), std::string::npos);
    EXPECT_EQ(Stored("设备号"), "3261");
  }
}

TEST_F(SettingsTest, ServersFromTheSettingsOrTheBuild) {
  WiredWindow w(state);
  LoadSettings(w);
  EXPECT_EQ(state.servers.portal, std::string("http://") + QUORVEL_PORTAL_HOST);
  Store("[Quorvel]\n\"门户\"=\"127.0.0.1:8080\"\n\"下载服务器\"=\"http://dl.test/\"\n");
  LoadSettings(w);
  EXPECT_EQ(state.servers.portal, "http://127.0.0.1:8080");
  EXPECT_EQ(state.servers.download, "http://dl.test");
}

TEST_F(SettingsTest, ChosenFolderIsStoredAtOnceAndCancelChangesNothing) {
  WiredWindow w(state);
  LoadSettings(w);
  AcceptChosenFolder(w, QString());
  EXPECT_EQ(w.编辑框_保存目录->text(), DesktopFolder());
  EXPECT_FALSE(std::filesystem::exists(config.settingsFile()));
  w.编辑框_渠道设备号->setText(QStringLiteral("5555"));
  AcceptChosenFolder(w, QStringLiteral("/media/usb/地图"));
  EXPECT_EQ(w.编辑框_保存目录->text(), QStringLiteral("/media/usb/地图"));
  // Written at once: a kill now keeps the folder; the typed device number is not stored yet.
  EXPECT_EQ(Stored("保存目录"), "/media/usb/地图");
  EXPECT_EQ(Stored("设备号"), "");
}

// Answers the next folder dialog with `folder`, or cancels it when `folder` is empty.
void AnswerFolderDialog(const QString& folder, QString* title, bool* hadEditField, QString* openedAt = nullptr) {
  QTimer::singleShot(0, [=] {
    QFileDialog* dialog = nullptr;
    WaitFor([&] { return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); });
    if (!dialog) return;
    *title = dialog->windowTitle();
    if (openedAt) *openedAt = dialog->directory().absolutePath();
    *hadEditField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) != nullptr &&
                    dialog->fileMode() == QFileDialog::Directory;
    if (folder.isEmpty()) {
      dialog->reject();
    } else {
      dialog->setDirectory(folder);
      dialog->selectFile(folder);
      static_cast<QDialog*>(dialog)->accept();
    }
  });
}

TEST_F(SettingsTest, BothChoosersFillTheBoxWithTheChosenFolder) {
  WiredWindow w(state);
  w.show();
  LoadSettings(w);
  std::filesystem::path chosen = config.folder() / "chosen";
  std::filesystem::create_directories(chosen);
  QString title;
  bool editField = false;

  AnswerFolderDialog(QString(), &title, &editField);
  w.handlers.chooseFolderFromButton();
  EXPECT_EQ(title, QStringLiteral("选择要保存到的文件夹"));
  EXPECT_EQ(w.编辑框_保存目录->text(), DesktopFolder());

  AnswerFolderDialog(QString::fromStdString(chosen.string()), &title, &editField);
  w.handlers.chooseFolderFromButton();
  EXPECT_EQ(w.编辑框_保存目录->text().toStdString(), chosen.string());
  QString openedAt;
  AnswerFolderDialog(QString(), &title, &editField, &openedAt);
  w.handlers.chooseFolderFromButton();
  EXPECT_EQ(openedAt.toStdString(), chosen.string()) << "the chooser opens at the current save folder";
  EXPECT_EQ(Stored("保存目录"), chosen.string());

  std::filesystem::path other = config.folder() / "other";
  std::filesystem::create_directories(other);
  title.clear();
  AnswerFolderDialog(QString::fromStdString(other.string()), &title, &editField);
  w.handlers.chooseFolderFromEdit();
  EXPECT_EQ(title, QStringLiteral("选择要保存到的文件夹"));
  EXPECT_TRUE(editField);
  EXPECT_EQ(w.编辑框_保存目录->text().toStdString(), other.string());
  EXPECT_EQ(Stored("保存目录"), other.string());
}

// The standard dialogs speak Chinese whatever the system's locale.
TEST(Language, QtsOwnTextsInChinese) {
  if (!LoadChineseQtTexts()) GTEST_SKIP() << "Qt's translations (qt6-translations-l10n) are not installed";
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"))
      << "the folder chooser too";
}

}  // namespace
