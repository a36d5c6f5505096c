// What one process writes to the token, a restarted or another process reads.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Persistence = ConformanceTest;

TEST_F(Persistence, ObjectsAndAttributeChangesSurviveFinalizeAndInitialize) {
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE object = createData(session, "first name", "kept value");
  ASSERT_RV(CKR_OK, set(session, object, Template().label("second name")));
  CK_OBJECT_HANDLE dropped = createData(session, "dropped", "x");
  ASSERT_RV(CKR_OK, p11->C_DestroyObject(session, dropped));
  restart();
  session = openSession();
  std::vector<CK_OBJECT_HANDLE> found = find(session, Template().ulong(CKA_CLASS, CKO_DATA).label("second name"));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("kept value", attribute(session, found[0], CKA_VALUE));
  Template all;
  EXPECT_EQ(1u, find(session, all).size()) << "the destroyed object stays destroyed";
}

TEST_F(Persistence, ChangesOfAnotherProcessAreSeenAtOnceAndAfterRestart) {
  CK_SESSION_HANDLE session = openSession();
  createData(session, "shared", "parent value");
  ASSERT_EQ(0, runChild("relabel", {"shared", "renamed by child"}));
  ASSERT_EQ(0, runChild("create-data", {"from child", "child value"}));
  std::vector<CK_OBJECT_HANDLE> found = find(session, Template().ulong(CKA_CLASS, CKO_DATA).label("renamed by child"));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("parent value", attribute(session, found[0], CKA_VALUE));
  Template created;
  created.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).label("from child");
  EXPECT_EQ(1u, find(session, created).size());
  restart();
  session = openSession();
  found = find(session, created);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("child value", attribute(session, found[0], CKA_VALUE));
}

TEST_F(Persistence, PinChangedByAnotherProcessApplies) {
  ASSERT_EQ(0, runChild("set-pin", {kUserPin, "97531"}));
  for (int pass = vendor ? 0 : 1; pass < 2; ++pass) {
    // SoftHSM2 keeps the PIN it read at C_Initialize: only the soft token knows it at once.
    SCOPED_TRACE(pass ? "after a restart" : "at once");
    if (pass) restart();
    CK_SESSION_HANDLE session = openSession();
    EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
    EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("97531"), 5));
  }
}

}  // namespace
}  // namespace conformance
