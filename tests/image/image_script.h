#pragma once
// The controller's image programs as a scripted port: echoes the command line,
// then plays the backup sender or the restore requester at once, so a whole
// drive goes through in moments instead of minutes.
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "image/crc16.h"
#include "image/kaprin_threads.h"
#include "scripted_port.h"

namespace vorn::test {

inline std::vector<uint8_t> SampleImage() {
  std::vector<uint8_t> image(kImageSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131 + i / 977) & 0xFF);
  return image;
}

struct Answer {
  std::string digits;   // "111" or "666"
  int32_t progressBefore;  // the thread's Progress when the answer went out
  std::chrono::milliseconds sinceBlock;
};

// Streams `image` in 8-byte blocks; blocks in badOnce carry a wrong CRC the
// first time they are sent.
class BackupScript {
 public:
  BackupScript(ScriptedPort& port, std::vector<uint8_t> image, std::set<int> badOnce = {})
      : port_(port), image_(std::move(image)), badOnce_(std::move(badOnce)) {
    port_.onWrite = [this](const std::vector<uint8_t>& w) { OnWrite(w); };
  }
  const KaprinThreadBase* thread = nullptr;
  std::map<int, int> badTimes;  // blocks whose CRC is spoilt this many times in a row
  bool lineFeedAfterEcho = false;  // the shell ends the echoed carriage return with a line feed
  std::vector<Answer> answers;
  std::string typed;

 private:
  void OnWrite(const std::vector<uint8_t>& w) {
    if (!commandDone_) {
      port_.PushByte(w[0]);
      typed += static_cast<char>(w[0]);
      if (w[0] == '\r') {
        if (lineFeedAfterEcho) port_.PushByte('\n');
        commandDone_ = true;
        SendBlock();
      }
      return;
    }
    const std::string digits(w.begin(), w.begin() + 3);
    answers.push_back({digits, thread ? thread->Progress.load() : 0,
                       std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent_)});
    if (digits == "111") ++next_;
    if (next_ * 8 < image_.size()) SendBlock();
  }
  void SendBlock() {
    uint8_t block[10];
    std::memcpy(block, image_.data() + next_ * 8, 8);
    AppendCrc16(block, 8);
    if (badOnce_.erase(static_cast<int>(next_))) block[9] ^= 0x55;
    if (auto it = badTimes.find(static_cast<int>(next_)); it != badTimes.end() && it->second-- > 0) block[9] ^= 0x55;
    for (uint8_t b : block) port_.PushByte(b);
    sent_ = std::chrono::steady_clock::now();
  }

  ScriptedPort& port_;
  std::vector<uint8_t> image_;
  std::set<int> badOnce_;
  bool commandDone_ = false;
  size_t next_ = 0;
  std::chrono::steady_clock::time_point sent_;
};

// Asks for blocks with the requests `requestFor` gives (5 bytes each) until
// `count` blocks arrived, and keeps the data it received.
class RestoreScript {
 public:
  using RequestFn = std::function<std::string(int index)>;
  RestoreScript(ScriptedPort& port, RequestFn requestFor, int count = kImageSize / 64)
      : port_(port), requestFor_(std::move(requestFor)), count_(count) {
    port_.onWrite = [this](const std::vector<uint8_t>& w) { OnWrite(w); };
  }
  static std::string Request(const char* digits, bool goodCrc = true) {
    uint8_t r[5];
    std::memcpy(r, digits, 3);
    AppendCrc16(r, 3);
    if (!goodCrc) r[3] ^= 0x01;
    return std::string(r, r + 5);
  }
  std::vector<uint8_t> received;
  int badBlocks = 0;
  int requests = 0;
  std::string typed;
  std::string ending;  // what the program prints after the last block, prompt included
  // The shell ends the echoed carriage return with a line feed; with late set,
  // the first request's last byte is not pushed but left there for the port.
  bool lineFeedAfterEcho = false;
  std::optional<uint8_t>* late = nullptr;

 private:
  void OnWrite(const std::vector<uint8_t>& w) {
    if (!commandDone_) {
      port_.PushByte(w[0]);
      typed += static_cast<char>(w[0]);
      if (w[0] == '\r') {
        commandDone_ = true;
        Ask();
      }
      return;
    }
    if (w.size() != 66 || !HasValidCrc16(w.data(), 64)) ++badBlocks;
    received.insert(received.end(), w.begin(), w.begin() + std::min<size_t>(64, w.size()));
    if (++done_ < count_)
      Ask();
    else
      port_.Push(ending);
  }
  void Ask() {
    ++requests;
    std::string request = requestFor_(done_);
    if (done_ == 0 && lineFeedAfterEcho) request.insert(request.begin(), '\n');
    if (done_ == 0 && late) {
      *late = static_cast<uint8_t>(request.back());
      request.pop_back();
    }
    port_.Push(request);
  }

  ScriptedPort& port_;
  RequestFn requestFor_;
  int count_;
  bool commandDone_ = false;
  int done_ = 0;
};

}  // namespace vorn::test
