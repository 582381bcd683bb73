#pragma once
// A host file that a command takes as input (a configuration, a password).
#include <cstddef>
#include <string>

namespace vorn::platform {

// Reads the whole file into text. Only a regular file of at most limit bytes
// is read: a folder cannot be, a FIFO or device may block or never end, and a
// larger file is not what the caller asked for. Empty on success; otherwise
// one line that names the path and says why not (text is then empty).
std::string ReadInputFile(const std::string& utf8Path, size_t limit, std::string& text);

// Whether the file could be read as ReadInputFile reads it, without reading
// it: empty, or the same one line of why not.
std::string CheckInputFile(const std::string& utf8Path);

}  // namespace vorn::platform
