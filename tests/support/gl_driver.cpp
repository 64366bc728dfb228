#include "tests/support/gl_driver.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace {

int collect(struct dl_phdr_info* info, size_t, void* data) {
  auto* names = static_cast<std::vector<std::string>*>(data);
  const std::string name = info->dlpi_name ? info->dlpi_name : "";
  for (const char* part : {"_dri.so", "libGLX_mesa", "libLLVM", "libglapi", "libdrm", "libgallium"})
    if (name.find(part) != std::string::npos) names->push_back(name);
  return 0;
}

}  // namespace

void pin_gl_driver() {
  std::vector<std::string> names;
  dl_iterate_phdr(collect, &names);
  // Opening a loaded library again with RTLD_NODELETE makes it stay.
  for (const std::string& name : names)
    dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
