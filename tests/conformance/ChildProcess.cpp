// The second process of the multi-process cases. When ZELT_CONFORMANCE_CHILD names an action,
// this executable does that action on the token labelled kLabel and exits before main(), so
// it never runs the cases themselves. Exit codes: 0 done, 1 module not usable, 2 token not
// found, 3 a call of the action failed (the call and its result go to stderr).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CryptokiModule.h"
#include "Template.h"

namespace conformance {

namespace {

bool check(const char *what, CK_RV rv, CK_RV expected = CKR_OK) {
  if (rv == expected) return true;
  std::fprintf(stderr, "child: %s answered 0x%08lX, expected 0x%08lX\n", what, static_cast<unsigned long>(rv),
               static_cast<unsigned long>(expected));
  return false;
}

int act(CryptokiModule &module, CK_SLOT_ID slot, const std::string &action) {
  CK_FUNCTION_LIST_PTR p11 = module.p11();
  const std::string arg1 = environment("ZELT_CONFORMANCE_ARG1");
  const std::string arg2 = environment("ZELT_CONFORMANCE_ARG2");
  CK_SESSION_HANDLE session = 0;
  if (!check("C_OpenSession", p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session)))
    return 3;

  if (action == "create-data") {  // label, value: a public token data object
    Template t;
    t.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).boolean(CKA_PRIVATE, false).label(arg1).bytes(CKA_VALUE, arg2);
    CK_OBJECT_HANDLE object = 0;
    return check("C_CreateObject", p11->C_CreateObject(session, t.data(), t.size(), &object)) ? 0 : 3;
  }
  if (action == "set-value" || action == "relabel") {  // label, new value or new label
    Template t;
    t.ulong(CKA_CLASS, CKO_DATA).label(arg1);
    CK_OBJECT_HANDLE object = 0;
    CK_ULONG count = 0;
    if (!check("C_FindObjectsInit", p11->C_FindObjectsInit(session, t.data(), t.size())) ||
        !check("C_FindObjects", p11->C_FindObjects(session, &object, 1, &count)) ||
        !check("C_FindObjectsFinal", p11->C_FindObjectsFinal(session)) || count != 1)
      return 3;
    Template change;
    if (action == "relabel")
      change.label(arg2);
    else
      change.bytes(CKA_VALUE, arg2);
    return check("C_SetAttributeValue", p11->C_SetAttributeValue(session, object, change.data(), change.size())) ? 0
                                                                                                               : 3;
  }
  if (action == "wrong-logins") {  // count: that many logins with kWrongPin, each refused
    const int count = std::atoi(arg1.c_str());
    for (int i = 0; i < count; ++i) {
      CK_RV rv = p11->C_Login(session, CKU_USER, text(kWrongPin), std::strlen(kWrongPin));
      if (rv != CKR_PIN_INCORRECT && rv != CKR_PIN_LOCKED) return check("C_Login", rv, CKR_PIN_INCORRECT) ? 0 : 3;
    }
    return 0;
  }
  if (action == "set-pin") {  // old, new: C_SetPIN of the user PIN
    return check("C_Login", p11->C_Login(session, CKU_USER, text(arg1), arg1.size())) &&
                   check("C_SetPIN", p11->C_SetPIN(session, text(arg1), arg1.size(), text(arg2), arg2.size()))
               ? 0
               : 3;
  }
  if (action == "login") {  // pin: a user login that must succeed
    return check("C_Login", p11->C_Login(session, CKU_USER, text(arg1), arg1.size())) ? 0 : 3;
  }
  std::fprintf(stderr, "child: unknown action %s\n", action.c_str());
  return 3;
}

int runChildIfAsked() {
  const std::string action = environment("ZELT_CONFORMANCE_CHILD");
  if (action.empty()) return 0;
  CryptokiModule module;
  std::string error;
  if (!module.load(error)) {
    std::fprintf(stderr, "child: %s\n", error.c_str());
    std::exit(1);
  }
  if (!check("C_Initialize", module.initialize())) std::exit(1);
  CK_SLOT_ID slot = 0;
  if (!check("find token", module.findSlotByLabel(kLabel, slot))) std::exit(2);
  const int code = act(module, slot, action);
  module.finalize();
  std::fflush(stderr);
  std::exit(code);
}

// Runs before main(): the child never reaches the test runner.
[[maybe_unused]] const int childHook = runChildIfAsked();

}  // namespace

}  // namespace conformance
