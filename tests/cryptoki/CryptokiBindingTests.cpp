// Loading the Cryptoki library, sharing it between bindings and finding the token's slot,
// observed through the software token's call trace.
#include <windows.h>

#include <memory>

#include <gtest/gtest.h>

#include "cryptoki/CkStatus.h"
#include "cryptoki/CryptokiBinding.h"
#include "kit/SoftToken.h"

namespace {

bool LibraryLoaded() { return ::GetModuleHandleA("ZeltP11.dll") != nullptr; }

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "software token not loadable, error " << ::GetLastError();
    ASSERT_EQ(0, CryptokiBinding::LibraryUsers());
  }
  void TearDown() override { EXPECT_EQ(0, CryptokiBinding::LibraryUsers()) << "a binding leaked its library"; }
  testkit::SoftToken token;
};

}  // namespace

TEST_F(BindingTest, BindingsShareOneInitialisedLibraryAndTheLastOneFinalisesAndUnloadsIt) {
  token.standard()->C_Finalize(nullptr);
  token.StartTrace();
  auto first = std::make_unique<CryptokiBinding>();
  auto second = std::make_unique<CryptokiBinding>();
  ASSERT_TRUE(first->Load());
  EXPECT_NE(nullptr, first->VendorList());
  ASSERT_TRUE(first->Load());
  EXPECT_EQ(1u, token.Calls("C_GetFunctionList").size()) << "a second load set the library up again";
  ASSERT_TRUE(second->Load());
  EXPECT_EQ(2, CryptokiBinding::LibraryUsers());
  const auto inits = token.Calls("C_Initialize");
  ASSERT_EQ(3u, inits.size());
  EXPECT_NE(std::string::npos, inits[0].find("flags=0x2")) << inits[0];
  EXPECT_NE(std::string::npos, inits[0].find("-> CKR_OK")) << inits[0];
  EXPECT_NE(std::string::npos, inits[2].find("CKR_CRYPTOKI_ALREADY_INITIALIZED")) << inits[2];

  second.reset();
  EXPECT_TRUE(token.Calls("C_Finalize").empty()) << "the first binding's Cryptoki was finalised";
  CK_ULONG count = 0;
  EXPECT_EQ(CKR_OK, first->StandardList()->C_GetSlotList(CK_FALSE, nullptr, &count));
  first.reset();
  EXPECT_EQ(1u, token.Calls("C_Finalize").size());
  token.ReleaseLibrary();
  EXPECT_FALSE(LibraryLoaded());
}

TEST_F(BindingTest, FailedLoadsHoldNothingButTheModuleUntilTheNextLoad) {
  CryptokiBinding missing("ZeltP11-not-installed.dll");
  EXPECT_FALSE(missing.Load());
  EXPECT_EQ(0, CryptokiBinding::LibraryUsers());
  ASSERT_EQ(CKR_OK, token.Inject("C_GetFunctionList", 1, CKR_HOST_MEMORY));
  auto binding = std::make_unique<CryptokiBinding>();
  EXPECT_FALSE(binding->Load());
  EXPECT_EQ(nullptr, binding->StandardList());

  ASSERT_EQ(CKR_OK, token.Inject("C_Initialize", 1, CKR_GENERAL_ERROR));
  EXPECT_FALSE(binding->Load());
  EXPECT_EQ(1, CryptokiBinding::LibraryUsers()) << "a failed load keeps the module until the next load";
  EXPECT_TRUE(binding->Load());
  EXPECT_EQ(1, CryptokiBinding::LibraryUsers());
  // With the fixture's own reference gone, only the binding holds the module.
  token.ReleaseLibrary();
  EXPECT_TRUE(LibraryLoaded());
  binding.reset();
  EXPECT_FALSE(LibraryLoaded()) << "the binding left a reference to the library behind";
}

TEST_F(BindingTest, LibraryWithoutVendorListStillWorks) {
  ASSERT_EQ(CKR_OK, token.CreateToken(1, "11112222"));
  CryptokiBinding binding("ZeltP11NoVendor.dll");
  ASSERT_TRUE(binding.Load()) << "error " << ::GetLastError();
  EXPECT_EQ(nullptr, binding.VendorList());
  CK_SLOT_ID slot = 0;
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("1111", &slot));
  EXPECT_EQ(1u, slot);
}

// The wanted text is looked for, upper-cased, inside each blank-padded serial; the first slot wins.
TEST_F(BindingTest, FindTokenSlotMatchesPartOfTheSerialInSlotOrder) {
  ASSERT_EQ(CKR_OK, token.CreateToken(2, "0a1b2c3d"));
  ASSERT_EQ(CKR_OK, token.CreateToken(3, "ff0a1b2c"));
  CryptokiBinding binding;
  ASSERT_TRUE(binding.Load());
  const struct {
    const char* wanted;
    CK_SLOT_ID slot;
  } cases[] = {{"A1B2C", 2}, {"ff0a", 3}, {"0A1B2C3D ", 2}, {"", 2}, {"99999", 0}};
  for (const auto& c : cases) {
    CK_SLOT_ID slot = 77;
    EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot(c.wanted, &slot)) << c.wanted;
    EXPECT_EQ(c.slot, slot) << "'" << c.wanted << "'";
  }
}

TEST(CkStatus, VendorValuesPassUnchangedAndOthersMoveIntoTheB001Range) {
  EXPECT_EQ(0, MapCkResult(CKR_OK));
  EXPECT_EQ(static_cast<int32_t>(0xB00100A0), MapCkResult(CKR_PIN_INCORRECT));
  EXPECT_EQ(static_cast<int32_t>(0x88000005), MapCkResult(0x88000005UL));
}
