// A registrar for the registration script of the module (resource 102): the
// text format with keys in braces, ForceRemove, NoRemove, Delete, named values
// (val), string (s) and number (d) values and %MODULE%.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "automation/platform.h"

namespace orvane::com {

enum class RegistrarMode { kRegister, kUnregister };

struct RegistryNode {
  std::wstring name;
  bool force_remove = false;
  bool no_remove = false;
  bool delete_key = false;   // "Delete": removed when registering
  bool named_value = false;  // "val name = ...": a value of the parent key
  wchar_t type = 0;          // 's' or 'd'; 0 for a key without a default value
  std::wstring value;
  std::vector<RegistryNode> children;
};

// Replaces %MODULE% with `module_path` (apostrophes doubled, since it lands in
// quoted text) and %% with %; any other variable is an error.
HRESULT ExpandScript(std::string_view script, std::wstring_view module_path, std::wstring* out);

// Parses an expanded script into its root keys (HKCR, HKLM, ...), the names
// as written. E_FAIL with `*error_at` set to the offset of a syntax error.
HRESULT ParseScript(std::wstring_view script, std::vector<RegistryNode>* roots,
                    std::size_t* error_at = nullptr);

// Expands, parses and applies the script to the registry.
HRESULT RunRegistrationScript(std::string_view script, std::wstring_view module_path,
                              RegistrarMode mode);

}  // namespace orvane::com
