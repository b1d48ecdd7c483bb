#pragma once
// The library-call mechanism: a function of a shared library is bound by library file and
// function name at its first call, never at start-up. A library that cannot be loaded or a
// missing function is fatal; what "fatal" does is the failure handler's business (the program
// shows a message box and ends with exit code -1).
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <utility>

namespace core {

// libraryFile is the file name alone, as the message shows it.
using LibraryCallFailure = std::function<void(const std::string& libraryFile, const std::string& function)>;

// "无法找到指定DLL库文件“%s”中的输出命令“%s”"
std::string LibraryCallErrorText(const std::string& libraryFile, const std::string& function);

class LibraryBinder {
 public:
  explicit LibraryBinder(LibraryCallFailure onFailure);
  LibraryBinder(const LibraryBinder&) = delete;
  LibraryBinder& operator=(const LibraryBinder&) = delete;

  // The address of `function` in the library at `libraryPath`, loading the library on first
  // use. On failure the failure handler runs; if it returns, the result is null.
  void* Bind(const std::string& libraryPath, const std::string& function);

 private:
  LibraryCallFailure onFailure_;
  // Libraries stay loaded until the process ends: an engine may still run threads of its own.
  std::map<std::string, void*> loaded_;
};

// One function of one library, bound when it is first called. Fn is the function type,
// for example `int()`.
template <typename Fn>
class LibraryFunction {
 public:
  LibraryFunction(LibraryBinder& binder, std::string libraryPath, std::string function)
      : binder_(binder), library_(std::move(libraryPath)), function_(std::move(function)) {}

  template <typename... Args>
  auto operator()(Args&&... args) {
    using Result = std::invoke_result_t<Fn*, Args...>;
    if (!address_) address_ = reinterpret_cast<Fn*>(binder_.Bind(library_, function_));
    if (!address_) return Result();  // only when a test's failure handler returned
    return address_(std::forward<Args>(args)...);
  }

 private:
  LibraryBinder& binder_;
  std::string library_;
  std::string function_;
  Fn* address_ = nullptr;
};

}  // namespace core
