// Keeping the download list tidy: several rows chosen at once, the finished ones cleared, rows
// filtered and ordered, an address pasted by hand; and the map-data picker, which starts many
// kinds at once and shows what the save folder holds of them.
#include <fstream>

#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include "controls.h"
#include "downloadlistfixture.h"
#include "downloadlistview.h"
#include "downloadtick.h"
#include "mapdatapicker.h"
#include "mapdatapickerhandlers.h"

namespace {

class TidyListTest : public DownloadListWindowTest {
 protected:
  void ChooseAlso(const char* name) {
    l.表格_下载->selectionModel()->select(l.表格_下载->model()->index(RowOf(w, name), 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // The names the table shows, top to bottom.
  QStringList Shown() {
    QStringList names;
    for (int i = 0; i < l.表格_下载->rowCount(); ++i) names << l.表格_下载->item(i, DownloadListWindow::kName)->text();
    return names;
  }
  // Types `text` into the next input dialog and presses OK, once it is shown.
  static void AnswerNextInput(const QString& text) {
    QTimer::singleShot(100, [text] {
      if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        dialog->setTextValue(text);
        dialog->accept();
      }
    });
  }
};

TEST_F(TidyListTest, TheButtonsActOnEveryChosenRow) {
  for (const char* name : {"a.zip", "b.zip", "c.zip"}) Start(w, "http://127.0.0.1:1/" + std::string(name), name);
  ui::OpenDownloadList(w);
  Choose(w, "a.zip");
  ChooseAlso("c.zip");
  EXPECT_EQ(ui::ChosenIds(w).size(), 2u);
  QTest::mouseClick(l.按钮_暂停, Qt::LeftButton);
  EXPECT_EQ(StateOf(w, "a.zip"), QStringLiteral("已暂停"));
  EXPECT_EQ(StateOf(w, "c.zip"), QStringLiteral("已暂停"));
  EXPECT_NE(StateOf(w, "b.zip"), QStringLiteral("已暂停")) << "not chosen";
  EXPECT_EQ(ui::ChosenIds(w).size(), 2u) << "the choice outlives the table's refresh";

  QString asked;
  AnswerNextQuestion(QStringLiteral("取消下载"), &asked);
  QTest::mouseClick(l.按钮_删除, Qt::LeftButton);
  EXPECT_TRUE(asked.contains(QStringLiteral("这 2 个下载"))) << asked.toStdString();
  EXPECT_EQ(Shown(), QStringList{QStringLiteral("b.zip")});
  EXPECT_TRUE(ui::ChosenIds(w).empty()) << "nothing moved into the choice";
}

TEST_F(TidyListTest, FinishedRowsAreClearedAndRowsAreFilteredAndOrdered) {
  fake.stat = DL_STATE_COMPLETE;
  for (const char* name : {"b.ndz", "a.zip"}) Start(w, "http://127.0.0.1:1/" + std::string(name), name);
  ui::TickDownloads(w, false);
  fake.stat = DL_STATE_RUNNING;
  Start(w, "http://mirror.test:1/c.ndz", "c.ndz");
  ui::OpenDownloadList(w);
  EXPECT_EQ(Shown(), (QStringList{QStringLiteral("c.ndz"), QStringLiteral("a.zip"), QStringLiteral("b.ndz")}))
      << "the newest first";

  QTest::keyClicks(l.编辑框_筛选, QStringLiteral(".NDZ"));
  EXPECT_EQ(Shown(), (QStringList{QStringLiteral("c.ndz"), QStringLiteral("b.ndz")})) << "by name, any case";
  l.编辑框_筛选->setText(QStringLiteral("mirror"));
  EXPECT_EQ(Shown(), QStringList{QStringLiteral("c.ndz")}) << "by address";
  l.编辑框_筛选->clear();

  QHeaderView* header = l.表格_下载->horizontalHeader();
  const int nameColumn = header->sectionViewportPosition(DownloadListWindow::kName) + 5;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(nameColumn, header->height() / 2));
  EXPECT_EQ(Shown(), (QStringList{QStringLiteral("a.zip"), QStringLiteral("b.ndz"), QStringLiteral("c.ndz")}));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(nameColumn, header->height() / 2));
  EXPECT_EQ(Shown(), (QStringList{QStringLiteral("c.ndz"), QStringLiteral("b.ndz"), QStringLiteral("a.zip")}));

  QTest::mouseClick(l.按钮_清除已完成, Qt::LeftButton);
  EXPECT_EQ(Shown(), QStringList{QStringLiteral("c.ndz")}) << "the running one stays";
}

TEST_F(TidyListTest, AnAddressPastedByHand) {
  w.编辑框_保存目录->setText(QString::fromStdString(folder.string()));
  AnswerNextInput(QStringLiteral("ftp://127.0.0.1/x.ndz"));
  QTest::mouseClick(l.按钮_添加下载, Qt::LeftButton);
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_TRUE(l.标签_提示->text().startsWith(QStringLiteral("无法添加"))) << l.标签_提示->text().toStdString();
  AnswerNextInput(QStringLiteral("http://127.0.0.1:1/maps/"));
  QTest::mouseClick(l.按钮_添加下载, Qt::LeftButton);
  EXPECT_TRUE(Shown().isEmpty()) << "no file name in it";
  AnswerNextInput(QStringLiteral("  http://127.0.0.1:1/maps/%E6%96%B0.ndz "));
  QTest::mouseClick(l.按钮_添加下载, Qt::LeftButton);
  EXPECT_EQ(Shown(), QStringList{QStringLiteral("新.ndz")});
  EXPECT_EQ(ui::HintFor(w, w.state.session.rows().back()), QString());
}

// With more than one running, the main window's display and the tray's tooltip speak of them
// all; with one, the display follows it again.
TEST_F(TidyListTest, TheMainWindowSpeaksOfAllRunningDownloads) {
  fake.total = 1 << 20;
  fake.downloaded = 256 << 10;
  for (const char* name : {"a.zip", "b.zip"}) Start(w, "http://127.0.0.1:1/" + std::string(name), name);
  ui::TickDownloads(w, true);
  EXPECT_EQ(w.状态条2->partText(0), QStringLiteral("2 个下载进行中"));
  EXPECT_EQ(w.状态条1->partText(2), QStringLiteral("总大小：2.00 MB"));
  EXPECT_EQ(w.状态条2->partText(2), QStringLiteral("下载进度：25.00 %"));
  EXPECT_EQ(w.进度条1->value(), 25);
  if (w.托盘图标) {
    EXPECT_TRUE(w.托盘图标->toolTip().contains(QStringLiteral("2 个下载进行中")));
  }
  w.state.session.Pause(w.state.session.rows().front().id);
  ui::TickDownloads(w, true);
  EXPECT_NE(w.状态条2->partText(0), QStringLiteral("2 个下载进行中"));
}

// The picker: a row per kind in the combo box's order with its file's state in the save folder;
// the ticked ones start as rows in that order, a complete one only when the user says so.
TEST_F(TidyListTest, ThePickerStartsTheTickedKindsAndShowsTheFolder) {
  fs::create_directories(folder);
  w.编辑框_保存目录->setText(QString::fromStdString(folder.string()));
  w.编辑框_图资->setText(QStringLiteral("3m21j27"));
  std::ofstream(folder / "pro.ndz") << "x";
  std::ofstream(folder / "tmc.ndz.part") << "x";
  ui::OpenMapDataPicker(w);
  MapDataPicker& p = *w.图资选择窗口;
  ASSERT_EQ(p.列表_图资->topLevelItemCount(), 24);
  auto row = [&](int kind) { return p.列表_图资->topLevelItem(kind); };
  EXPECT_EQ(row(15)->text(MapDataPicker::kFile), QStringLiteral("pro.ndz"));
  EXPECT_EQ(row(15)->text(MapDataPicker::kState), QStringLiteral("已完成"));
  EXPECT_EQ(row(3)->text(MapDataPicker::kState), QStringLiteral("未完成"));
  EXPECT_EQ(row(1)->text(MapDataPicker::kState), QStringLiteral("没有"));
  EXPECT_TRUE(row(5)->isDisabled()) << "patches need an update identifier";
  EXPECT_EQ(row(5)->text(MapDataPicker::kState), QStringLiteral("需要增量更新编号"));

  QTest::mouseClick(p.按钮_全选, Qt::LeftButton);
  int ticked = 0;
  for (int i = 0; i < 24; ++i) ticked += row(i)->checkState(MapDataPicker::kKind) == Qt::Checked;
  EXPECT_EQ(ticked, 22) << "all but the two that need an identifier";
  QTest::mouseClick(p.按钮_全不选, Qt::LeftButton);
  for (int kind : {15, 1, 3}) row(kind)->setCheckState(MapDataPicker::kKind, Qt::Checked);
  QString asked;
  AnswerNextQuestion(QStringLiteral("不下载"), &asked);
  QTest::mouseClick(p.按钮_开始下载, Qt::LeftButton);
  EXPECT_TRUE(asked.contains(QStringLiteral("pro.ndz"))) << asked.toStdString();
  std::vector<std::string> started;
  for (const session::ListedDownload& d : w.state.session.rows()) started.push_back(d.order.name);
  EXPECT_EQ(started, (std::vector<std::string>{"3d_a1.ndz", "tmc.ndz", "pro.ndz"})) << "the combo box's order";
  EXPECT_EQ(p.标签_图资提示->text(), QStringLiteral("已加入下载列表：2 个图资。"));

  // A version changed in the main window shows at the next refresh.
  w.编辑框_图资->clear();
  ui::RefreshMapDataPicker(w);
  EXPECT_FALSE(p.按钮_开始下载->isEnabled());
  EXPECT_TRUE(p.标签_图资版本->text().contains(QStringLiteral("请先在主窗口填写图资版本")));
}

}  // namespace
