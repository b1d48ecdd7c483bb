#pragma once
// Shared by the widget tests: a private settings folder per test and a bounded wait.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

// Points XDG_CONFIG_HOME (and XDG_DATA_HOME below it) at a fresh folder for the lifetime
// of the object.
class ScratchConfig {
 public:
  ScratchConfig() {
    folder_ = std::filesystem::temp_directory_path() /
              ("quorvel-cfg-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
  }
  ~ScratchConfig() { std::filesystem::remove_all(folder_); }
  std::string settingsFile() const { return (folder_ / "Quorvel" / "registry.reg").string(); }
  std::filesystem::path folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// Pumps events until `done` holds or `ms` milliseconds have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}
