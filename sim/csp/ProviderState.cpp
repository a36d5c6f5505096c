#include "ProviderState.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace providerstate {

namespace {

std::mutex g_lock;
std::string g_serial;
bool g_serialChosen = false;
std::string g_password;
bool g_passwordSet = false;
std::map<std::string, std::vector<std::string>> g_names;

void wipe(std::string& text) {
  if (!text.empty()) ::SecureZeroMemory(&text[0], text.size());
  text.clear();
}

}  // namespace

bool selectedSerial(std::string* serial) {
  std::lock_guard<std::mutex> hold(g_lock);
  *serial = g_serial;
  return g_serialChosen;
}

void selectSerial(const std::string* serial) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_serialChosen = serial != nullptr;
  g_serial = serial ? *serial : std::string();
}

bool password(std::string* out) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_passwordSet) *out = g_password;
  return g_passwordSet;
}

void setPassword(const char* password) {
  std::lock_guard<std::mutex> hold(g_lock);
  wipe(g_password);
  g_passwordSet = password != nullptr;
  if (password) g_password = password;
}

void rememberNames(const std::string& serial, const std::vector<std::string>& names) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_names[serial] = names;
}

std::vector<std::string> knownNames(const std::string& serial) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_names.find(serial);
  return it == g_names.end() ? std::vector<std::string>() : it->second;
}

}  // namespace providerstate
