// The latency timer that the common USB-serial adapters' driver keeps per
// port, under the device's parameters in the registry; reading it needs no
// administrator rights.
#include <windows.h>

#include <string>

#include "platform/adapter_latency.h"
#include "platform/win/text_win.h"

namespace vorn::platform {

namespace {

std::wstring SubkeyName(HKEY key, DWORD index) {
  wchar_t name[256];
  DWORD length = 256;
  if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return {};
  return std::wstring(name, length);
}

// In "<root>\<device>\<instance>\Device Parameters": the instance whose
// PortName is the port.
std::optional<uint32_t> FindLatency(HKEY root, const std::wstring& port) {
  for (DWORD d = 0;; ++d) {
    const std::wstring device = SubkeyName(root, d);
    if (device.empty()) return std::nullopt;
    HKEY deviceKey;
    if (RegOpenKeyExW(root, device.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS) continue;
    std::optional<uint32_t> found;
    for (DWORD i = 0; !found; ++i) {
      const std::wstring instance = SubkeyName(deviceKey, i);
      if (instance.empty()) break;
      const std::wstring parameters = instance + L"\\Device Parameters";
      wchar_t name[64];
      DWORD size = sizeof name;
      if (RegGetValueW(deviceKey, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr, name, &size) !=
              ERROR_SUCCESS ||
          _wcsicmp(name, port.c_str()) != 0)
        continue;
      DWORD ms = 0;
      size = sizeof ms;
      if (RegGetValueW(deviceKey, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD, nullptr, &ms, &size) ==
              ERROR_SUCCESS &&
          ms <= 255)
        found = ms;
      else
        break;  // the port's adapter, without a timer of its own
    }
    RegCloseKey(deviceKey);
    if (found) return found;
  }
}

}  // namespace

std::optional<uint32_t> AdapterLatencyMs(const std::string& portName) {
  HKEY root;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", 0, KEY_READ, &root) !=
      ERROR_SUCCESS)
    return std::nullopt;
  const std::optional<uint32_t> ms = FindLatency(root, win::Widen(portName));
  RegCloseKey(root);
  return ms;
}

}  // namespace vorn::platform
