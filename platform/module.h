// Shared modules loaded while the program runs: the window lives in one, so that a start
// without a display never loads the toolkit.
#pragma once

#include <string>

namespace platform {

// The address of symbol in the module at path, loading the module (it stays loaded);
// nullptr when either cannot be found, with the system's reason in error.
void* ModuleSymbol(const std::string& path, const char* symbol, std::string& error);

}  // namespace platform
