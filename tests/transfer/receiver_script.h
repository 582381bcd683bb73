#pragma once
// The controller side of an upload as the scripted port sees it: echoes the
// command line, sends the first NAK, answers blocks and EOT as the test says,
// and prints the prompt at the end. Several uploads may follow one another.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scripted_port.h"

namespace vorn::test {

class ReceiverScript {
 public:
  // An answer: 'A' ACK, 'N' NAK, 'C' CAN CAN, 'c' one CAN, 'k' CAN ACK, 'a' and 'n' ACK
  // and NAK with one bit flipped, 'x' another byte, '-' nothing.
  using BlockAnswer = std::function<char(int upload, int block, int attempt)>;

  struct Upload {
    std::string command;              // the echoed command line
    std::vector<std::vector<uint8_t>> blocks;  // every 132-byte transmission, repeats included
    std::string data;                 // the data of acknowledged blocks, fill included
    int eots = 0;
    int cancels = 0;                  // writes of the five CAN bytes
  };

  explicit ReceiverScript(ScriptedPort& port) : port_(port) {
    port.onWrite = [this](const std::vector<uint8_t>& w) { OnWrite(w); };
  }

  BlockAnswer blockAnswer = [](int, int, int) { return 'A'; };
  std::string eotAnswers = "A";        // per EOT, the last one repeats
  std::string afterCommand = "\x15";   // what follows the command's echo
  std::string afterEot = "\r\nD:\\>";  // printed after an acknowledged EOT
  std::string afterCancel = "\r\nTransfer aborted\r\nD:\\>";
  bool echo = true;
  std::function<void(int upload, int block)> onBlock;  // after each complete transmission

  std::vector<Upload> uploads;

 private:
  void Answer(char a) {
    switch (a) {
      case 'A': port_.PushByte(0x06); break;
      case 'N': port_.PushByte(0x15); break;
      case 'C': port_.Push("\x18\x18"); break;
      case 'c': port_.PushByte(0x18); break;
      case 'k': port_.Push("\x18\x06"); break;  // a lone CAN, then an ACK
      case 'a': port_.PushByte(0x06 ^ 0x40); break;
      case 'n': port_.PushByte(0x15 ^ 0x01); break;
      case 'x': port_.PushByte('?'); break;
      default: break;
    }
  }

  void OnWrite(const std::vector<uint8_t>& w) {
    // A sender that gave up without EOT types its next command straight away.
    if (!inCommand_ && pending_.empty() && w.size() == 1 && w[0] != 0x01 && w[0] != 0x04) Finish();
    if (inCommand_) {
      if (startNew_) {
        uploads.emplace_back();
        startNew_ = false;
        blockIndex_ = 0;
      }
      Upload& u = uploads.back();
      u.command += static_cast<char>(w[0]);
      if (echo) port_.PushByte(w[0]);
      if (w[0] == '\r') {
        inCommand_ = false;
        pending_.clear();
        attempt_ = 0;
        lastNumber_ = -1;
        lastStored_ = -1;
        port_.Push(afterCommand);
      }
      return;
    }
    Upload& u = uploads.back();
    if (pending_.empty() && w.size() == 1 && w[0] == 0x04) {
      char a = eotAnswers[std::min<size_t>(u.eots, eotAnswers.size() - 1)];
      ++u.eots;
      Answer(a);
      if (a == 'A') {
        port_.Push(afterEot);
        Finish();
      }
      return;
    }
    if (pending_.empty() && w.size() == 5 && w == std::vector<uint8_t>(5, 0x18)) {
      ++u.cancels;
      port_.Push(afterCancel);
      Finish();
      return;
    }
    pending_.insert(pending_.end(), w.begin(), w.end());
    if (pending_.size() < 132) return;
    const int number = pending_[1];
    attempt_ = number == lastNumber_ ? attempt_ + 1 : 1;
    if (number != lastNumber_) ++blockIndex_;
    lastNumber_ = number;
    u.blocks.push_back(pending_);
    std::vector<uint8_t> block = std::move(pending_);
    pending_.clear();
    const int uploadIndex = static_cast<int>(uploads.size()) - 1;
    if (onBlock) onBlock(uploadIndex, blockIndex_);
    char a = blockAnswer(uploadIndex, blockIndex_, attempt_);
    // A repeat of the block taken last is acknowledged, not stored again.
    if ((a == 'A' || a == 'a') && number != lastStored_) {
      u.data.append(block.begin() + 3, block.begin() + 131);
      lastStored_ = number;
    }
    Answer(a);
  }

  // The next byte typed starts the next upload.
  void Finish() {
    inCommand_ = true;
    startNew_ = true;
  }

  ScriptedPort& port_;
  bool inCommand_ = true;
  bool startNew_ = true;
  std::vector<uint8_t> pending_;
  int attempt_ = 0;
  int lastNumber_ = -1;
  int lastStored_ = -1;
  int blockIndex_ = 0;
};

}  // namespace vorn::test
