#include "model/PurposeNames.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <utility>

#include "model/SecretBuffer.h"

namespace {

struct Remembered {
  TextBuffer oid;
  TextBuffer shown;
};

// Pages of the process may run on several apartment threads.
SRWLOCK g_lock = SRWLOCK_INIT;
Remembered g_remembered[PurposeNames::kRemembered];
size_t g_count = 0;

// What the usage shows as, from the platform's table.
Status lookUp(const char* oid, TextBuffer& shown) {
  PCCRYPT_OID_INFO info = ::CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oid), 0);
  if (!info) return shown.assign(oid);
  if (!info->pwszName) return StatusOk;
  SecretBuffer converted;
  const Status status = converted.AssignWide(info->pwszName, SecretBuffer::kUnbounded, SecretBuffer::Conversion::Shown);
  if (status != StatusOk) return status;
  return shown.assign(converted.data());
}

// Appends the remembered text of the usage; false when it is not remembered.
bool appendRemembered(const char* oid, TextBuffer& text, Status& status) {
  ::AcquireSRWLockShared(&g_lock);
  bool found = false;
  for (size_t i = 0; i < g_count && !found; ++i) {
    if (std::strcmp(g_remembered[i].oid.text(), oid) != 0) continue;
    found = true;
    status = text.append(g_remembered[i].shown.text(), g_remembered[i].shown.length());
  }
  ::ReleaseSRWLockShared(&g_lock);
  return found;
}

void remember(const char* oid, TextBuffer&& shown) {
  TextBuffer key;
  if (key.assign(oid) != StatusOk) return;
  ::AcquireSRWLockExclusive(&g_lock);
  bool known = false;
  for (size_t i = 0; i < g_count && !known; ++i) known = std::strcmp(g_remembered[i].oid.text(), oid) == 0;
  if (!known && g_count < PurposeNames::kRemembered) {
    g_remembered[g_count].oid = std::move(key);
    g_remembered[g_count].shown = std::move(shown);
    ++g_count;
  }
  ::ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace

Status PurposeNames::Append(const char* oid, TextBuffer& text) {
  if (!oid) return StatusPointer;
  Status status = StatusOk;
  if (appendRemembered(oid, text, status)) return status;
  TextBuffer shown;
  status = lookUp(oid, shown);
  if (status != StatusOk) return status;
  status = text.append(shown.text(), shown.length());
  remember(oid, std::move(shown));
  return status;
}
