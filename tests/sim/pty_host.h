// The host's end of the simulator's pseudo-terminal, as a terminal user or the utility sees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/virtual_controller.h"

namespace simtest {

class PtyHost {
 public:
  explicit PtyHost(const std::string& path);
  ~PtyHost();
  bool ok() const { return fd_ >= 0; }
  void Close();
  bool Reopen();

  void Write(const std::string& bytes);
  bool ReadByte(uint8_t* b, int timeoutMs);
  // Everything that arrives until the line is quiet for quietMs (at most maxMs in all).
  std::string ReadFor(int quietMs, int maxMs = 3000);
  // Types bytes one at a time and checks each echo, as the utility does.
  bool Type(const std::string& bytes, std::string* why = nullptr);
  // Reads until the text ends with CR LF and a prompt; `out` gets the text before
  // the CR LF, `prompt` the prompt itself.
  bool ReadUntilPrompt(std::string* out, std::string* prompt = nullptr, int maxMs = 3000);
  // Types `line` + CR and returns what the shell printed (without the echo's LF and the prompt).
  std::string Command(const std::string& line, std::string* prompt = nullptr);

 private:
  std::string path_;
  int fd_ = -1;
  std::string carry_;  // bytes read past a prompt
};

std::vector<std::string> SplitLines(const std::string& text);  // each with its CR LF

// A controller started on a fresh demo drive with a host attached.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void Restart(const vsim::Options& o);

  std::unique_ptr<vsim::VirtualController> vc;
  std::unique_ptr<PtyHost> host;
};

}  // namespace simtest
