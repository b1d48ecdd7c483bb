#include "fatalerror.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "../testsupport.h"
#include "librarycall.h"

using namespace core;
using namespace ui;

namespace {

// The real handler: a message box, and after it is closed exit code -1. The box is read and
// closed by a timer, so nothing waits on a person.
void FailWithMessageBox() {
  QTimer::singleShot(0, [] {
    QMessageBox* box = nullptr;
    WaitFor([&] { return (box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); });
    if (!box) std::_Exit(3);
    fprintf(stderr, "[%s]\n", box->text().toUtf8().constData());
    box->accept();
  });
  LibraryBinder binder(ShowLibraryCallErrorAndExit);
  LibraryFunction<int()> start(binder, "/nowhere/libmissing.so", "DL_Init");
  start();
}

TEST(LibraryCallDeathTest, FatalErrorShowsTheMessageAndEndsWithMinusOne) {
  EXPECT_EXIT(FailWithMessageBox(), testing::ExitedWithCode(255),
              "\\[运行时出错!\n\n错误信息：无法找到指定DLL库文件“libmissing.so”中的输出命令“DL_Init”\\]");
}

}  // namespace
