// The page's ReadCertificates: its token is found by the serial the host gives
// and opened with the "MY" store; the page's destruction closes it.
#include <gtest/gtest.h>

#include "TokenFixture.h"
#include "cryptoki/CkStatus.h"
#include "kit/PageHarness.h"
#include "page/HostInterfaces.h"
#include "page/UserPage.h"

TEST_F(TokenTest, PageOpensTheTokenOfTheHostsSerial) {
  AddCertificate("jane-doe", "jane", {'J'});
  AddCatalog({});
  {
    testkit::PageHarness harness{&UserPage::CreateInstance};
    ASSERT_TRUE(harness.Ready()) << "no display";
    harness.host.serial = L"5ec0a1d2";
    ASSERT_EQ(S_OK, harness.Open());
    UserPage* page = static_cast<UserPage*>(harness.page());

    ASSERT_EQ(S_OK, page->ReadCertificates());
    EXPECT_EQ(kSlot, page->SlotId());
    EXPECT_EQ(kSlot, page->TokenModel().slotId());
    EXPECT_EQ(1u, page->TokenModel().count());
    EXPECT_NE(nullptr, page->TokenModel().myStore());

    // A serial that no token carries finds no slot, and slot 0 does not exist.
    harness.host.serial = L"00000000";
    harness.Notify(TPN_REFRESH, 0);
    EXPECT_EQ(MapCkResult(CKR_DEVICE_REMOVED), page->ReadCertificates());
    harness.host.serial = L"5ec0a1d2";
    harness.Notify(TPN_REFRESH, 0);
    ASSERT_EQ(S_OK, page->ReadCertificates());
    EXPECT_NE(0u, soft.SessionCount(kSlot));
  }
  EXPECT_EQ(0u, soft.SessionCount(kSlot)) << "the page left its token's session open";
}
