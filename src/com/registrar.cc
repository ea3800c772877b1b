#include "com/registrar.h"

#include <cwctype>

namespace orvane::com {
namespace {

class Parser {
 public:
  explicit Parser(std::wstring_view text) : text_(text) {}

  HRESULT ParseRoots(std::vector<RegistryNode>* roots) {
    for (;;) {
      SkipBlanks();
      if (pos_ == text_.size()) return S_OK;
      RegistryNode root;
      if (!ReadName(&root.name) || !ParseBlock(&root.children, false)) return E_FAIL;
      roots->push_back(std::move(root));
    }
  }
  std::size_t position() const { return pos_; }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
  }
  bool Peek(wchar_t c) {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == c;
  }
  // A brace followed by a blank opens a block; "{...}" is a name (a GUID).
  bool AtBlockOpen() {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == L'{' &&
           (pos_ + 1 == text_.size() || std::iswspace(text_[pos_ + 1]));
  }
  bool ReadQuoted(std::wstring* out) {
    ++pos_;  // opening apostrophe
    out->clear();
    while (pos_ < text_.size()) {
      wchar_t c = text_[pos_++];
      if (c != L'\'') {
        out->push_back(c);
      } else if (pos_ < text_.size() && text_[pos_] == L'\'') {
        out->push_back(L'\'');
        ++pos_;
      } else {
        return true;
      }
    }
    return false;
  }
  bool ReadName(std::wstring* out) {
    SkipBlanks();
    if (pos_ == text_.size()) return false;
    if (text_[pos_] == L'\'') return ReadQuoted(out);
    std::size_t start = pos_;
    if (text_[pos_] == L'{') {
      std::size_t close = text_.find(L'}', pos_);
      if (close == std::wstring_view::npos) return false;
      pos_ = close + 1;
    } else {
      while (pos_ < text_.size() && !std::iswspace(text_[pos_]) && text_[pos_] != L'=' &&
             text_[pos_] != L'{' && text_[pos_] != L'}') {
        ++pos_;
      }
    }
    out->assign(text_.substr(start, pos_ - start));
    return !out->empty();
  }
  // "= s 'text'" or "= d 'number'" after a name.
  bool ParseValue(RegistryNode* node) {
    if (!Peek(L'=')) return true;
    ++pos_;
    SkipBlanks();
    if (pos_ == text_.size()) return false;
    wchar_t type = static_cast<wchar_t>(std::towlower(text_[pos_]));
    if (type != L's' && type != L'd') return false;
    ++pos_;
    if (!Peek(L'\'')) return false;
    node->type = type;
    return ReadQuoted(&node->value);
  }
  bool ParseBlock(std::vector<RegistryNode>* children, bool optional) {
    if (!AtBlockOpen()) return optional;
    ++pos_;
    for (;;) {
      if (Peek(L'}')) {
        ++pos_;
        return true;
      }
      if (pos_ == text_.size()) return false;
      RegistryNode node;
      std::wstring word;
      bool quoted = text_[pos_] == L'\'';
      if (!ReadName(&word)) return false;
      while (!quoted) {
        if (_wcsicmp(word.c_str(), L"ForceRemove") == 0) {
          node.force_remove = true;
        } else if (_wcsicmp(word.c_str(), L"NoRemove") == 0) {
          node.no_remove = true;
        } else if (_wcsicmp(word.c_str(), L"Delete") == 0) {
          node.delete_key = true;
        } else if (_wcsicmp(word.c_str(), L"val") == 0) {
          node.named_value = true;
        } else {
          break;
        }
        SkipBlanks();
        quoted = pos_ < text_.size() && text_[pos_] == L'\'';
        if (!ReadName(&word)) return false;
      }
      node.name = std::move(word);
      if (!ParseValue(&node)) return false;
      if (!node.named_value && !ParseBlock(&node.children, true)) return false;
      children->push_back(std::move(node));
    }
  }

  std::wstring_view text_;
  std::size_t pos_ = 0;
};

HKEY RootKey(const std::wstring& name) {
  struct Root {
    const wchar_t* short_name;
    const wchar_t* long_name;
    HKEY key;
  };
  static const Root kRoots[] = {
      {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {L"HKU", L"HKEY_USERS", HKEY_USERS},
  };
  for (const Root& r : kRoots) {
    if (_wcsicmp(name.c_str(), r.short_name) == 0 || _wcsicmp(name.c_str(), r.long_name) == 0) {
      return r.key;
    }
  }
  return nullptr;
}

HRESULT FromWin32(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT SetValue(HKEY key, const wchar_t* name, const RegistryNode& node) {
  if (node.type == L'd') {
    DWORD number = static_cast<DWORD>(std::wcstoul(node.value.c_str(), nullptr, 0));
    return FromWin32(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                    sizeof number));
  }
  return FromWin32(RegSetValueExW(key, name, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(node.value.c_str()),
                                  static_cast<DWORD>((node.value.size() + 1) * sizeof(wchar_t))));
}

HRESULT RegisterKey(HKEY parent, const RegistryNode& node) {
  if (node.force_remove || node.delete_key) RegDeleteTreeW(parent, node.name.c_str());
  if (node.delete_key) return S_OK;
  HKEY key = nullptr;
  HRESULT hr = FromWin32(RegCreateKeyExW(parent, node.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                         nullptr, &key, nullptr));
  if (FAILED(hr)) return hr;
  if (node.type != 0) hr = SetValue(key, nullptr, node);
  for (const RegistryNode& child : node.children) {
    if (FAILED(hr)) break;
    hr = child.named_value ? SetValue(key, child.name.c_str(), child) : RegisterKey(key, child);
  }
  RegCloseKey(key);
  return hr;
}

bool HasSubkeys(HKEY key) {
  DWORD subkeys = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

// Removal never fails the script: keys that are not there are fine.
void UnregisterKey(HKEY parent, const RegistryNode& node) {
  if (node.delete_key) return;
  if (node.force_remove) {
    RegDeleteTreeW(parent, node.name.c_str());
    RegDeleteKeyW(parent, node.name.c_str());
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (const RegistryNode& child : node.children) {
    if (child.named_value) {
      RegDeleteValueW(key, child.name.c_str());
    } else {
      UnregisterKey(key, child);
    }
  }
  bool keep = node.no_remove || HasSubkeys(key);
  RegCloseKey(key);
  if (!keep) RegDeleteKeyW(parent, node.name.c_str());
}

}  // namespace

HRESULT ExpandScript(std::string_view script, std::wstring_view module_path, std::wstring* out) {
  std::wstring doubled;
  for (wchar_t c : module_path) {
    doubled.push_back(c);
    if (c == L'\'') doubled.push_back(L'\'');
  }
  out->clear();
  for (std::size_t i = 0; i < script.size(); ++i) {
    char c = script[i];
    if (c != '%') {
      out->push_back(static_cast<unsigned char>(c));
      continue;
    }
    std::size_t end = script.find('%', i + 1);
    if (end == std::string_view::npos) return E_FAIL;
    std::string_view name = script.substr(i + 1, end - i - 1);
    if (name.empty()) {
      out->push_back(L'%');
    } else if (name == "MODULE") {
      out->append(doubled);
    } else {
      return E_FAIL;
    }
    i = end;
  }
  return S_OK;
}

HRESULT ParseScript(std::wstring_view script, std::vector<RegistryNode>* roots,
                    std::size_t* error_at) {
  Parser parser(script);
  roots->clear();
  HRESULT hr = parser.ParseRoots(roots);
  if (FAILED(hr) && error_at != nullptr) *error_at = parser.position();
  return hr;
}

HRESULT RunRegistrationScript(std::string_view script, std::wstring_view module_path,
                              RegistrarMode mode) {
  std::wstring text;
  std::vector<RegistryNode> roots;
  HRESULT hr = ExpandScript(script, module_path, &text);
  if (SUCCEEDED(hr)) hr = ParseScript(text, &roots);
  if (FAILED(hr)) return hr;
  for (const RegistryNode& root : roots) {
    HKEY key = RootKey(root.name);
    if (key == nullptr) return E_FAIL;
    for (const RegistryNode& node : root.children) {
      if (mode == RegistrarMode::kRegister) {
        hr = RegisterKey(key, node);
        if (FAILED(hr)) return hr;
      } else {
        UnregisterKey(key, node);
      }
    }
  }
  return S_OK;
}

}  // namespace orvane::com
