#pragma once
// Reading what the controller's shell prints up to its prompt. The prompt has
// no line end, so a plain line read notices it only once the line has been
// quiet for a whole read time-out (twice the port's time-out for one byte).
// These reads end at the prompt's '>' as soon as the line stays quiet for a
// moment after it, so an exchange takes about as long as its bytes do; the
// port's time-outs still bound every wait when no prompt comes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/port.h"

namespace vorn {

// Whether a text that has just received a '>' is the shell's prompt, as the
// caller recognises it.
using PromptTest = bool (*)(const std::string& text);

// A prompt at the start of text, or after one line feed: where lines end at
// the carriage return, the line feed that follows it starts the next text.
bool IsPromptAfterLineFeed(const std::string& text);
// The prompt test for what the port's reads leave, by its line end.
PromptTest PromptTestFor(const Port& port);

// How long nothing may follow a prompt-like text before it counts as the
// prompt: a few character times at the controller's speed, what the port's
// adapter may hold back, and room for the host's and the controller's
// scheduling. Output that merely holds such a text ("D:\>" in a typed file)
// goes on within that time with its line end.
uint32_t PromptQuietMs(const Port& port);

// As Port::ReadLine, and also false when text is a prompt that isPrompt
// accepts, ends in '>' and nothing followed it within PromptQuietMs. A false
// result with any other text is a time-out or a full buffer, as ReadLine's.
bool ReadShellLine(Port& port, size_t maxLen, std::string& text, PromptTest isPrompt);
// The same, adding to text (a line a pause cut in two); maxLen counts all of it.
bool ContinueShellLine(Port& port, size_t maxLen, std::string& text, PromptTest isPrompt);

// One byte within quietMs instead of the port's own time-out, which is put back.
bool ReadByteWithin(Port& port, uint8_t& byte, uint32_t quietMs);

// Throws away what the controller still sends before a command: returns at
// once when the line is quiet; when bytes are coming, reads until the line
// has been quiet for the port's time-out or limit bytes were read.
void DrainShellOutput(Port& port, size_t limit);

}  // namespace vorn
