// The registration script grammar beyond what the module's own script shows (the Wine
// registration test covers that end to end).
#include "server/RegistryScript.h"

#include <gtest/gtest.h>

namespace {

bool Parses(const std::wstring& text, RegistryScript* script) {
  std::wstring error;
  const bool ok = ParseRegistryScript(text, script, &error);
  EXPECT_EQ(ok, error.empty()) << "a failure carries its reason: " << std::string(error.begin(), error.end());
  return ok;
}

}  // namespace

TEST(RegistryScript, ReadsNumbersQuotedApostrophesAndTheDeleteRule) {
  RegistryScript s;
  ASSERT_TRUE(Parses(L"HKCU\n{\n\tDelete Old\n\tKey = d '7'\n\t{\n\t\tval Name = s 'O''Neil'\n\t}\n}\n", &s));
  ASSERT_EQ(1u, s.roots.size());
  EXPECT_EQ(L"HKCU", s.roots[0].name);
  ASSERT_EQ(2u, s.roots[0].children.size());
  EXPECT_EQ(RegistryScriptKey::Rule::Delete, s.roots[0].children[0].rule);
  const RegistryScriptKey& key = s.roots[0].children[1];
  EXPECT_EQ(L'd', key.defaultValue.type);
  EXPECT_EQ(7u, key.defaultValue.number);
  ASSERT_EQ(1u, key.values.size());
  EXPECT_EQ(L"O'Neil", key.values[0].text);
}

TEST(RegistryScript, RejectsBrokenScriptsAndAcceptsAnEmptyOne) {
  for (const wchar_t* broken : {L"HKCR { Key = s 'unterminated }", L"HKCR { Key = s 'v' ", L"HKCR Key",
                                L"HKCR { Key = x 'v' }", L"HKCR { Key = s unquoted }", L"HKCR { val = s 'v' }",
                                L"HKCR { Key = d 'twelve' }"}) {
    const std::wstring text(broken);
    RegistryScript s;
    EXPECT_FALSE(Parses(text, &s)) << std::string(text.begin(), text.end());
  }
  RegistryScript empty;
  EXPECT_TRUE(Parses(L"  \n\t ", &empty));
  EXPECT_TRUE(empty.roots.empty());
}

TEST(RegistryScript, SubstitutesEveryOccurrenceWithoutRescanning) {
  EXPECT_EQ(L"a X b X", RegistryScriptSubstitute(L"a %M% b %M%", L"%M%", L"X"));
  EXPECT_EQ(L"%M%%M%", RegistryScriptSubstitute(L"%M%", L"%M%", L"%M%%M%"));
}
