#include "platform/module.h"

#include <dlfcn.h>

namespace platform {

void* ModuleSymbol(const std::string& path, const char* symbol, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    error = dlerror();
    return nullptr;
  }
  void* address = dlsym(module, symbol);
  if (!address) error = dlerror();
  return address;
}

}  // namespace platform
