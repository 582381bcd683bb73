#pragma once
// The one place where Windows texts cross into the utility: every path and
// text is UTF-8 inside the utility and UTF-16 at each system call. The "A"
// calls would hand over the ANSI code page's bytes instead, which are not
// UTF-8 once a folder or message holds a non-ASCII character.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace vorn::platform::win {

inline std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), wide);
  return out;
}

inline std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

// A zero-terminated buffer the system filled.
inline std::string Narrow(const wchar_t* text) { return text ? Narrow(std::wstring(text)) : std::string(); }

// The system's text for an error code, on one line; "Error N" when it has none.
inline std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  for (wchar_t& c : message)
    if (c == L'\r' || c == L'\n') c = L' ';
  while (!message.empty() && message.back() == L' ') message.pop_back();
  return message.empty() ? "Error " + std::to_string(code) : Narrow(message);
}

}  // namespace vorn::platform::win
