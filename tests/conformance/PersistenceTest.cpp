// What one process writes to the token, a restarted or another process reads.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Persistence = ConformanceTest;

TEST_F(Persistence, ObjectsAndAttributeChangesSurviveFinalizeAndInitialize) {
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE object = createData(session, "kept", "first");
  Template change;
  change.bytes(CKA_VALUE, "second");
  ASSERT_RV(CKR_OK, p11->C_SetAttributeValue(session, object, change.data(), change.size()));
  createData(session, "dropped", "x");
  Template dropped;
  dropped.ulong(CKA_CLASS, CKO_DATA).label("dropped");
  ASSERT_EQ(1u, find(session, dropped).size());
  ASSERT_RV(CKR_OK, p11->C_DestroyObject(session, find(session, dropped)[0]));
  restart();
  session = openSession();
  Template kept;
  kept.ulong(CKA_CLASS, CKO_DATA).label("kept");
  std::vector<CK_OBJECT_HANDLE> found = find(session, kept);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("second", attribute(session, found[0], CKA_VALUE));
  EXPECT_TRUE(find(session, dropped).empty());
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
  ASSERT_EQ(0, runChild("set-value", {"shared", "child value"}));
  ASSERT_EQ(0, runChild("create-data", {"from child", "v"}));
  Template shared;
  shared.ulong(CKA_CLASS, CKO_DATA).label("shared");
  std::vector<CK_OBJECT_HANDLE> found = find(session, shared);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("child value", attribute(session, found[0], CKA_VALUE));
  Template created;
  created.ulong(CKA_CLASS, CKO_DATA).label("from child");
  EXPECT_EQ(1u, find(session, created).size());
}

TEST_F(Persistence, PinChangedByAnotherProcessAppliesHere) {
  ASSERT_EQ(0, runChild("set-pin", {kUserPin, "97531"}));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("97531"), 5));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  restart();
  session = openSession();
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("97531"), 5));
}

}  // namespace
}  // namespace conformance
