// The control's "system ANSI code page" is Windows-1252: the degree sign is
// byte 0xB0. Each byte maps to one UTF-16 unit and back.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

std::u16string AnsiToUtf16(std::string_view bytes);
// Characters outside Windows-1252 become '?', as WideCharToMultiByte does.
std::string Utf16ToAnsi(std::u16string_view text);
// Whether `text` is what AnsiToUtf16(bytes) gives, without building it.
bool EqualsAnsi(std::u16string_view text, std::string_view bytes);

}  // namespace orvane
