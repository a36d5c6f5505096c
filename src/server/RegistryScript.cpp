#include "server/RegistryScript.h"

#include <cwctype>

namespace {

struct Token {
  std::wstring text;
  bool quoted = false;
  bool is(const wchar_t* t) const { return !quoted && text == t; }
};

class Lexer {
 public:
  explicit Lexer(const std::wstring& s) : s_(s) {}

  // False at the end of the text or on an unterminated quote (error set).
  bool Next(Token* t, std::wstring* error) {
    while (pos_ < s_.size() && std::iswspace(s_[pos_])) ++pos_;
    if (pos_ >= s_.size()) return false;
    t->text.clear();
    t->quoted = false;
    if (s_[pos_] == L'\'') {
      t->quoted = true;
      ++pos_;
      for (;;) {
        if (pos_ >= s_.size()) {
          *error = L"unterminated quoted text";
          return false;
        }
        const wchar_t c = s_[pos_++];
        if (c == L'\'') {
          if (pos_ < s_.size() && s_[pos_] == L'\'') {
            t->text.push_back(L'\'');
            ++pos_;
            continue;
          }
          return true;
        }
        t->text.push_back(c);
      }
    }
    while (pos_ < s_.size() && !std::iswspace(s_[pos_])) t->text.push_back(s_[pos_++]);
    return true;
  }

 private:
  const std::wstring& s_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(const std::wstring& text) : lexer_(text) {}

  bool Parse(RegistryScript* out, std::wstring* error) {
    error_ = error;
    Advance();
    while (has_) {
      RegistryScriptKey root;
      if (tok_.quoted || tok_.is(L"{") || tok_.is(L"}")) return Fail(L"root key expected");
      root.name = tok_.text;
      Advance();
      if (!ParseBody(&root)) return false;
      out->roots.push_back(std::move(root));
    }
    return error_->empty();
  }

 private:
  void Advance() { has_ = lexer_.Next(&tok_, error_); }

  bool Fail(const wchar_t* why) {
    if (error_->empty()) *error_ = why;
    return false;
  }

  bool ParseValue(RegistryScriptValue* v) {
    if (!has_ || tok_.quoted) return Fail(L"value type expected");
    if (tok_.text == L"s" || tok_.text == L"d") {
      v->type = tok_.text[0];
    } else {
      return Fail(L"unsupported value type");
    }
    Advance();
    if (!has_) return Fail(L"value expected");
    if (v->type == L's') {
      if (!tok_.quoted) return Fail(L"quoted text expected");
      v->text = tok_.text;
    } else {
      wchar_t* end = nullptr;
      const unsigned long n = std::wcstoul(tok_.text.c_str(), &end, 0);
      if (tok_.text.empty() || (end && *end)) return Fail(L"number expected");
      v->number = static_cast<uint32_t>(n);
      v->text = tok_.text;
    }
    Advance();
    return true;
  }

  // '{' (key | val ...)* '}'
  bool ParseBody(RegistryScriptKey* key) {
    if (!has_ || !tok_.is(L"{")) return Fail(L"'{' expected");
    Advance();
    for (;;) {
      if (!has_) return Fail(L"'}' expected");
      if (tok_.is(L"}")) {
        Advance();
        return true;
      }
      if (tok_.is(L"val")) {
        Advance();
        RegistryScriptValue v;
        if (!has_) return Fail(L"value name expected");
        v.name = tok_.text;
        Advance();
        if (!has_ || !tok_.is(L"=")) return Fail(L"'=' expected");
        Advance();
        if (!ParseValue(&v)) return false;
        key->values.push_back(std::move(v));
        continue;
      }
      RegistryScriptKey child;
      if (!ParseKey(&child)) return false;
      key->children.push_back(std::move(child));
    }
  }

  // [NoRemove|ForceRemove|Delete] name [= type value] [body]
  bool ParseKey(RegistryScriptKey* key) {
    if (tok_.is(L"NoRemove")) {
      key->rule = RegistryScriptKey::Rule::NoRemove;
      Advance();
    } else if (tok_.is(L"ForceRemove")) {
      key->rule = RegistryScriptKey::Rule::ForceRemove;
      Advance();
    } else if (tok_.is(L"Delete")) {
      key->rule = RegistryScriptKey::Rule::Delete;
      Advance();
    }
    if (!has_ || tok_.is(L"{") || tok_.is(L"}") || tok_.is(L"=")) return Fail(L"key name expected");
    key->name = tok_.text;
    Advance();
    if (has_ && tok_.is(L"=")) {
      Advance();
      key->hasDefault = true;
      if (!ParseValue(&key->defaultValue)) return false;
    }
    if (has_ && tok_.is(L"{")) return ParseBody(key);
    return true;
  }

  Lexer lexer_;
  Token tok_;
  bool has_ = false;
  std::wstring* error_ = nullptr;
};

}  // namespace

std::wstring RegistryScriptQuote(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    out.push_back(c);
    if (c == L'\'') out.push_back(L'\'');
  }
  return out;
}

std::wstring RegistryScriptSubstitute(std::wstring script, const std::wstring& placeholder,
                                      const std::wstring& replacement) {
  if (placeholder.empty()) return script;
  size_t pos = 0;
  while ((pos = script.find(placeholder, pos)) != std::wstring::npos) {
    script.replace(pos, placeholder.size(), replacement);
    pos += replacement.size();
  }
  return script;
}

bool ParseRegistryScript(const std::wstring& text, RegistryScript* out, std::wstring* error) {
  std::wstring ignored;
  if (!error) error = &ignored;
  error->clear();
  RegistryScript script;
  Parser parser(text);
  if (!parser.Parse(&script, error)) return false;
  *out = std::move(script);
  return true;
}
