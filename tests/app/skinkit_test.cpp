// Our skin library, loaded as the program loads it, on the test's application.
#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>
#include <QApplication>

#include "carried.h"

namespace {

std::string Bytes(const payload::CarriedFile& f) { return std::string(reinterpret_cast<const char*>(f.data), f.size); }

TEST(SkinKit, AttachesAStyleSheetToTheApplication) {
  void* lib = dlopen(SKINKIT_PATH, RTLD_NOW);
  ASSERT_NE(lib, nullptr) << dlerror();
  using Attach = int(const void*, int, const char*, int, int, int);
  auto* attach = reinterpret_cast<Attach*>(dlsym(lib, "SkinKit_AttachRes"));
  ASSERT_NE(attach, nullptr);
  qApp->setStyleSheet(QString());
  EXPECT_EQ(attach(nullptr, 0, "", 0, 0, 0), 0) << "an empty buffer leaves the native look";
  EXPECT_TRUE(qApp->styleSheet().isEmpty());
  EXPECT_EQ(attach("NOPE", 4, "", 0, 0, 0), 0);
  const payload::CarriedFile eleven = payload::CarriedSkin(11);
  EXPECT_EQ(attach(eleven.data, int(eleven.size), "", 0, 0, 0), 1);
  EXPECT_EQ(qApp->styleSheet().toStdString(), Bytes(eleven).substr(4));
  EXPECT_EQ(attach(".SKNQWidget { color: #ff0000; }", 31, "", 120, 0, 0), 1);
  EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QWidget { color: #00ff00; }")) << "a hue turned by 120 degrees";
  qApp->setStyleSheet(QString());
}

}  // namespace
