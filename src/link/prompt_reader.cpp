#include "link/prompt_reader.h"

#include "link/exchange.h"

namespace vorn {

namespace {
// Wake-up delays of a loaded host and of the controller between two bytes
// of one line; far below any read time-out the exchanges use.
constexpr uint32_t kSchedulingSlackMs = 20;
constexpr uint32_t kCharsOfQuiet = 4;
constexpr uint32_t kBitsPerChar = 10;
}  // namespace

bool IsPromptAfterLineFeed(const std::string& text) {
  return IsPrompt(!text.empty() && text.front() == '\n' ? text.substr(1) : text);
}

PromptTest PromptTestFor(const Port& port) { return port.LineEnd == '\r' ? IsPromptAfterLineFeed : IsPrompt; }

uint32_t PromptQuietMs(const Port& port) {
  const uint32_t charsMs = (kCharsOfQuiet * kBitsPerChar * 1000 + kControllerBaud - 1) / kControllerBaud;
  return kSchedulingSlackMs + charsMs + port.ReceiveHoldMs();
}

bool ReadByteWithin(Port& port, uint8_t& byte, uint32_t quietMs) {
  const uint32_t saved = port.Timeout();
  // A one-byte read waits up to twice the time-out.
  port.SetTimeouts((quietMs + 1) / 2);
  const bool got = port.ReadExact(&byte, 1);
  port.SetTimeouts(saved);
  return got;
}

bool ContinueShellLine(Port& port, size_t maxLen, std::string& text, PromptTest isPrompt) {
  bool promptLike = !text.empty() && text.back() == '>' && isPrompt(text);
  for (;;) {
    if (text.size() + 1 >= maxLen) return false;
    uint8_t byte = 0;
    const bool got = promptLike ? ReadByteWithin(port, byte, PromptQuietMs(port)) : port.ReadExact(&byte, 1);
    if (!got) return false;
    text.push_back(static_cast<char>(byte));
    if (byte == port.LineEnd) return true;
    promptLike = byte == '>' && isPrompt(text);
  }
}

bool ReadShellLine(Port& port, size_t maxLen, std::string& text, PromptTest isPrompt) {
  text.clear();
  return ContinueShellLine(port, maxLen, text, isPrompt);
}

void DrainShellOutput(Port& port, size_t limit) {
  if (limit == 0) return;
  uint8_t byte = 0;
  if (!ReadByteWithin(port, byte, PromptQuietMs(port))) return;
  // Something is still talking: let it finish, as far as the limit allows.
  for (size_t n = 1; n < limit; ++n)
    if (!port.ReadExact(&byte, 1)) return;
}

}  // namespace vorn
