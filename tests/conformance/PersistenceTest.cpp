// What one process writes to the token, a restarted or another process reads.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Persistence = ConformanceTest;

TEST_F(Persistence, ObjectsAndAttributeChangesSurviveFinalizeAndInitialize) {
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE object = createData(session, "first name", "kept value");
  Template change;
  change.label("second name");
  ASSERT_RV(CKR_OK, p11->C_SetAttributeValue(session, object, change.data(), change.size()));
  CK_OBJECT_HANDLE dropped = createData(session, "dropped", "x");
  ASSERT_RV(CKR_OK, p11->C_DestroyObject(session, dropped));
  restart();
  session = openSession();
  Template renamed;
  renamed.ulong(CKA_CLASS, CKO_DATA).label("second name");
  std::vector<CK_OBJECT_HANDLE> found = find(session, renamed);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("kept value", attribute(session, found[0], CKA_VALUE));
  Template all;
  EXPECT_EQ(1u, find(session, all).size()) << "the destroyed object stays destroyed";
}

TEST_F(Persistence, ObjectCreatedByAnotherProcessIsThereAfterRestart) {
  ASSERT_EQ(0, runChild("create-data", {"from child", "child value"}));
  restart();
  CK_SESSION_HANDLE session = openSession();
  Template t;
  t.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).label("from child");
  std::vector<CK_OBJECT_HANDLE> found = find(session, t);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("child value", attribute(session, found[0], CKA_VALUE));
}

TEST_F(Persistence, ChangesOfAnotherProcessAreSeenWithoutRestart) {
  CK_SESSION_HANDLE session = openSession();
  createData(session, "shared", "parent value");
  ASSERT_EQ(0, runChild("relabel", {"shared", "renamed by child"}));
  ASSERT_EQ(0, runChild("create-data", {"from child", "v"}));
  Template renamed;
  renamed.ulong(CKA_CLASS, CKO_DATA).label("renamed by child");
  std::vector<CK_OBJECT_HANDLE> found = find(session, renamed);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("parent value", attribute(session, found[0], CKA_VALUE));
  Template created;
  created.ulong(CKA_CLASS, CKO_DATA).label("from child");
  EXPECT_EQ(1u, find(session, created).size());
}

TEST_F(Persistence, PinChangedByAnotherProcessAppliesAfterRestart) {
  ASSERT_EQ(0, runChild("set-pin", {kUserPin, "97531"}));
  restart();
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("97531"), 5));
}

TEST_F(Persistence, PinChangedByAnotherProcessAppliesAtOnce) {
  SKIP_UNLESS_SOFT_TOKEN_BECAUSE("SoftHSM2 keeps the PIN it read at C_Initialize");
  ASSERT_EQ(0, runChild("set-pin", {kUserPin, "97531"}));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("97531"), 5));
}

}  // namespace
}  // namespace conformance
