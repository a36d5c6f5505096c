// The few platform services the conformance cases need: loading the Cryptoki module, the
// environment, and running this test executable again as a second process. One
// implementation per platform (LoaderWin32.cpp here, LoaderPosix.cpp in the native suite),
// so the cases themselves stay free of platform headers.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace conformance {

class Loader {
 public:
  // Null with a description in `error` when the module cannot be loaded.
  static std::unique_ptr<Loader> load(const std::string &path, std::string &error);
  virtual ~Loader() = default;
  virtual void *symbol(const char *name) const = 0;
};

// The module under test unless ZELT_CONFORMANCE_MODULE names another one.
std::string defaultModulePath();

// An empty value removes the variable. Values are UTF-8.
void setEnvironment(const std::string &name, const std::string &value);
std::string environment(const std::string &name);

// Runs this executable again with `env` added to its environment and waits for it; the
// child's exit code, or -1 when it could not be started or did not end in time.
long runSelf(const std::vector<std::pair<std::string, std::string>> &env);

}  // namespace conformance
