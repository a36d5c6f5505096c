// The registration script grammar: what the registrar will write and remove.
#include "server/RegistryScript.h"

#include <gtest/gtest.h>

namespace {

RegistryScript Parse(const std::wstring& text) {
  RegistryScript script;
  std::wstring error;
  EXPECT_TRUE(ParseRegistryScript(text, &script, &error)) << std::string(error.begin(), error.end());
  return script;
}

bool Fails(const std::wstring& text) {
  RegistryScript script;
  std::wstring error;
  const bool ok = ParseRegistryScript(text, &script, &error);
  return !ok && !error.empty();
}

}  // namespace

TEST(RegistryScript, ReadsKeysDefaultsNamedValuesAndRules) {
  const RegistryScript s = Parse(
      L"HKCR\n{\n\tProg.1 = s 'Some Class'\n\t{\n\t\tCLSID = s '{1234}'\n\t}\n"
      L"\tNoRemove CLSID\n\t{\n\t\tForceRemove {1234} = s 'Some Class'\n\t\t{\n"
      L"\t\t\tForceRemove Programmable\n\t\t\tInprocServer32 = s 'C:\\x.dll'\n\t\t\t{\n"
      L"\t\t\t\tval ThreadingModel = s 'Apartment'\n\t\t\t\tval Count = d '7'\n\t\t\t}\n\t\t}\n\t}\n}\n");
  ASSERT_EQ(1u, s.roots.size());
  EXPECT_EQ(L"HKCR", s.roots[0].name);
  ASSERT_EQ(2u, s.roots[0].children.size());

  const RegistryScriptKey& prog = s.roots[0].children[0];
  EXPECT_EQ(L"Prog.1", prog.name);
  EXPECT_EQ(RegistryScriptKey::Rule::Normal, prog.rule);
  EXPECT_TRUE(prog.hasDefault);
  EXPECT_EQ(L"Some Class", prog.defaultValue.text);
  ASSERT_EQ(1u, prog.children.size());
  EXPECT_EQ(L"{1234}", prog.children[0].defaultValue.text);

  const RegistryScriptKey& clsid = s.roots[0].children[1];
  EXPECT_EQ(RegistryScriptKey::Rule::NoRemove, clsid.rule);
  EXPECT_FALSE(clsid.hasDefault);
  const RegistryScriptKey& cls = clsid.children.at(0);
  EXPECT_EQ(L"{1234}", cls.name) << "a braced name is a key name, not a block";
  EXPECT_EQ(RegistryScriptKey::Rule::ForceRemove, cls.rule);
  ASSERT_EQ(2u, cls.children.size());
  EXPECT_EQ(RegistryScriptKey::Rule::ForceRemove, cls.children[0].rule);
  EXPECT_FALSE(cls.children[0].hasDefault);
  const RegistryScriptKey& inproc = cls.children[1];
  EXPECT_EQ(L"C:\\x.dll", inproc.defaultValue.text) << "backslashes are literal";
  ASSERT_EQ(2u, inproc.values.size());
  EXPECT_EQ(L"ThreadingModel", inproc.values[0].name);
  EXPECT_EQ(L"Apartment", inproc.values[0].text);
  EXPECT_EQ(L'd', inproc.values[1].type);
  EXPECT_EQ(7u, inproc.values[1].number);
}

TEST(RegistryScript, ModulePathWithApostrophesSurvivesQuotingAndSubstitution) {
  const std::wstring path = L"C:\\O'Neil's pages\\page.dll";
  const std::wstring text = RegistryScriptSubstitute(L"HKCR { InprocServer32 = s '%MODULE%' }", L"%MODULE%",
                                                     RegistryScriptQuote(path));
  EXPECT_NE(std::wstring::npos, text.find(L"O''Neil''s")) << "apostrophes must be doubled in the script";
  const RegistryScript s = Parse(text);
  EXPECT_EQ(path, s.roots.at(0).children.at(0).defaultValue.text);
}

TEST(RegistryScript, SubstitutesEveryOccurrence) {
  EXPECT_EQ(L"a X b X", RegistryScriptSubstitute(L"a %M% b %M%", L"%M%", L"X"));
  EXPECT_EQ(L"%M%%M%", RegistryScriptSubstitute(L"%M%", L"%M%", L"%M%%M%")) << "replacement is not rescanned";
}

TEST(RegistryScript, RejectsBrokenScripts) {
  EXPECT_TRUE(Fails(L"HKCR { Key = s 'unterminated }"));
  EXPECT_TRUE(Fails(L"HKCR { Key = s 'v' "));
  EXPECT_TRUE(Fails(L"HKCR Key"));
  EXPECT_TRUE(Fails(L"HKCR { Key = x 'v' }"));
  EXPECT_TRUE(Fails(L"HKCR { Key = s unquoted }"));
  EXPECT_TRUE(Fails(L"HKCR { val = s 'v' }"));
  EXPECT_TRUE(Fails(L"HKCR { Key = d 'twelve' }"));
}

TEST(RegistryScript, EmptyScriptHasNoRoots) {
  EXPECT_TRUE(Parse(L"  \n\t ").roots.empty());
}
