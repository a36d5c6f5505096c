// Loading the Cryptoki library, sharing it between bindings and finding the token's slot,
// observed through the software token's call trace.
#include <windows.h>

#include <memory>

#include <gtest/gtest.h>

#include "cryptoki/CkStatus.h"
#include "cryptoki/CryptokiBinding.h"
#include "kit/SoftToken.h"

using testkit::SoftToken;

namespace {

bool LibraryLoaded(const char* name = "ZeltP11.dll") { return ::GetModuleHandleA(name) != nullptr; }

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "software token not loadable, error " << ::GetLastError();
    ASSERT_EQ(0, CryptokiBinding::LibraryUsers());
  }
  void TearDown() override { EXPECT_EQ(0, CryptokiBinding::LibraryUsers()) << "a binding leaked its library"; }
  SoftToken token;
};

}  // namespace

TEST_F(BindingTest, SecondLoadOnlyRepeatsInitializeAndAcceptsAlreadyInitialized) {
  token.standard()->C_Finalize(nullptr);
  token.StartTrace();
  {
    CryptokiBinding binding;
    ASSERT_TRUE(binding.Load());
    ASSERT_NE(nullptr, binding.StandardList());
    EXPECT_NE(nullptr, binding.VendorList());
    ASSERT_TRUE(binding.Load());
    EXPECT_EQ(1, CryptokiBinding::LibraryUsers());

    const auto inits = token.Calls("C_Initialize");
    ASSERT_EQ(2u, inits.size());
    EXPECT_NE(std::string::npos, inits[0].find("flags=0x2")) << inits[0];
    EXPECT_NE(std::string::npos, inits[0].find("-> CKR_OK")) << inits[0];
    EXPECT_NE(std::string::npos, inits[1].find("CKR_CRYPTOKI_ALREADY_INITIALIZED")) << inits[1];
    EXPECT_EQ(1u, token.Calls("C_GetFunctionList").size()) << "the library was set up twice";
  }
  EXPECT_EQ(1u, token.Calls("C_Finalize").size());
}

TEST_F(BindingTest, FailedLoadFollowedByAGoodOneLeavesOneModuleLoaded) {
  ASSERT_EQ(CKR_OK, token.Inject("C_Initialize", 1, CKR_GENERAL_ERROR));
  auto binding = std::make_unique<CryptokiBinding>();
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

TEST_F(BindingTest, TwoBindingsShareTheLibraryAndTheLastOneFinalizesOnceAndUnloads) {
  token.StartTrace();
  auto first = std::make_unique<CryptokiBinding>();
  auto second = std::make_unique<CryptokiBinding>();
  ASSERT_TRUE(first->Load());
  ASSERT_TRUE(second->Load());
  EXPECT_EQ(2, CryptokiBinding::LibraryUsers());

  second.reset();
  EXPECT_TRUE(token.Calls("C_Finalize").empty()) << "the first binding's Cryptoki was finalised";
  CK_ULONG count = 0;
  EXPECT_EQ(CKR_OK, first->StandardList()->C_GetSlotList(CK_FALSE, nullptr, &count));
  first.reset();
  EXPECT_EQ(1u, token.Calls("C_Finalize").size());
  token.ReleaseLibrary();
  EXPECT_FALSE(LibraryLoaded());
}

TEST_F(BindingTest, MissingLibraryOrRefusedFunctionListFailsTheLoad) {
  CryptokiBinding missing("ZeltP11-not-installed.dll");
  EXPECT_FALSE(missing.Load());
  EXPECT_EQ(nullptr, missing.StandardList());
  EXPECT_EQ(0, CryptokiBinding::LibraryUsers());
  CK_SLOT_ID slot = 99;
  EXPECT_EQ(static_cast<CK_RV>(CKR_FUNCTION_FAILED), missing.FindTokenSlot("", &slot));

  ASSERT_EQ(CKR_OK, token.Inject("C_GetFunctionList", 1, CKR_HOST_MEMORY));
  CryptokiBinding refused;
  EXPECT_FALSE(refused.Load());
  EXPECT_EQ(nullptr, refused.StandardList());
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

class FindTokenSlotTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    ASSERT_TRUE(binding.Load());
  }
  // Members outlive TearDown: let the binding go before the leak check.
  void TearDown() override {
    binding.Unload();
    BindingTest::TearDown();
  }
  CryptokiBinding binding;
};

TEST_F(FindTokenSlotTest, UpperCaseRunOfLowerCaseSerialMatchesFirstSlotInOrder) {
  ASSERT_EQ(CKR_OK, token.CreateToken(2, "0a1b2c3d"));
  ASSERT_EQ(CKR_OK, token.CreateToken(3, "ff0a1b2c"));
  CK_SLOT_ID slot = 0;
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("A1B2C", &slot));
  EXPECT_EQ(2u, slot) << "the first matching slot wins";
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("0A1B2C3D", &slot));
  EXPECT_EQ(2u, slot);
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("ff0a", &slot));
  EXPECT_EQ(3u, slot) << "the wanted text is upper-cased too";
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("0A1B2C3D ", &slot)) << "the blank padding counts";
  EXPECT_EQ(2u, slot);
}

TEST_F(FindTokenSlotTest, EmptySerialMatchesTheFirstReadableToken) {
  ASSERT_EQ(CKR_OK, token.CreateToken(2, "AAAA0001"));
  ASSERT_EQ(CKR_OK, token.CreateToken(4, "BBBB0002"));
  CK_SLOT_ID slot = 0;
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("", &slot));
  EXPECT_EQ(2u, slot);

  // A slot whose token information cannot be read is skipped.
  ASSERT_EQ(CKR_OK, token.Inject("C_GetTokenInfo", 1, CKR_DEVICE_ERROR));
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("", &slot));
  EXPECT_EQ(4u, slot);
}

TEST_F(FindTokenSlotTest, NoTokenAnywhereIsTokenNotPresentMappedToB00100E1) {
  CK_SLOT_ID slot = 5;
  const CK_RV rv = binding.FindTokenSlot("", &slot);
  EXPECT_EQ(CryptokiBinding::kNoTokenPresent, rv);
  EXPECT_EQ(0u, slot);
  EXPECT_EQ(static_cast<int32_t>(0xB00100E1), MapCkResult(rv));
}

TEST_F(FindTokenSlotTest, NoMatchIsSlotZeroWhileNullArgumentsAndSlotListFailuresArePassedOn) {
  ASSERT_EQ(CKR_OK, token.CreateToken(1, "12345678"));
  CK_SLOT_ID slot = 77;
  EXPECT_EQ(static_cast<CK_RV>(CKR_OK), binding.FindTokenSlot("99999", &slot));
  EXPECT_EQ(0u, slot);
  const CK_RV rv = binding.FindTokenSlot(nullptr, &slot);
  EXPECT_EQ(static_cast<CK_RV>(CKR_ARGUMENTS_BAD), rv);
  EXPECT_EQ(static_cast<int32_t>(0xB0010007), MapCkResult(rv));
  EXPECT_EQ(static_cast<CK_RV>(CKR_ARGUMENTS_BAD), binding.FindTokenSlot("1", nullptr));
  ASSERT_EQ(CKR_OK, token.Inject("C_GetSlotList", 1, CKR_DEVICE_ERROR));
  EXPECT_EQ(static_cast<CK_RV>(CKR_DEVICE_ERROR), binding.FindTokenSlot("", &slot));
}

TEST(CkStatus, MapsCryptokiValuesIntoTheB001Range) {
  EXPECT_EQ(0, MapCkResult(CKR_OK));
  EXPECT_EQ(static_cast<int32_t>(0xB00100A0), MapCkResult(CKR_PIN_INCORRECT));
  EXPECT_EQ(static_cast<int32_t>(0xB00100A4), MapCkResult(CKR_PIN_LOCKED));
  EXPECT_EQ(static_cast<int32_t>(0x88000005), MapCkResult(0x88000005UL)) << "0x08000000 values pass unchanged";
  EXPECT_EQ(static_cast<int32_t>(0x8800FFFF), MapCkResult(0x8800FFFFUL));
}
