#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "Loader.h"

extern char **environ;

namespace conformance {

namespace {

class PosixLoader : public Loader {
 public:
  explicit PosixLoader(void *module) : module_(module) {}
  ~PosixLoader() override { dlclose(module_); }
  void *symbol(const char *name) const override { return dlsym(module_, name); }

 private:
  void *module_;
};

}  // namespace

std::unique_ptr<Loader> Loader::load(const std::string &path, std::string &error) {
  // Kept mapped after dlclose: a library that registers exit handlers must not vanish under
  // them when each case loads and unloads it.
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!module) {
    const char *why = dlerror();
    error = "dlopen(" + path + ") failed: " + (why ? why : "unknown");
    return nullptr;
  }
  return std::unique_ptr<Loader>(new PosixLoader(module));
}

std::string defaultModulePath() { return "/usr/lib/softhsm/libsofthsm2.so"; }

void setEnvironment(const std::string &name, const std::string &value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}

std::string environment(const std::string &name) {
  const char *v = std::getenv(name.c_str());
  return v ? v : "";
}

long runSelf(const std::vector<std::pair<std::string, std::string>> &env) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return -1;
  exe[n] = '\0';
  for (const auto &v : env) setEnvironment(v.first, v.second);
  char *argv[] = {exe, nullptr};
  pid_t pid = 0;
  int started = posix_spawn(&pid, exe, nullptr, nullptr, argv, environ);
  for (const auto &v : env) setEnvironment(v.first, std::string());
  if (started != 0) return -1;
  int status = 0;
  for (int waited = 0; waited < 1200; ++waited) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    struct timespec pause = {0, 100000000};
    nanosleep(&pause, nullptr);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

}  // namespace conformance
