#pragma once
// The engine library's functions for the download session, each bound by name at its first
// call through the library-call binder.
#include <string>

#include "downloadsession.h"
#include "librarycall.h"

namespace core {

session::EngineCalls BindEngineCalls(LibraryBinder& binder, const std::string& libraryPath);

}  // namespace core
