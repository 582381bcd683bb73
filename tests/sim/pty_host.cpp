#include "pty_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point t) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

}  // namespace

PtyHost::PtyHost(const std::string& path) : path_(path) { Reopen(); }

PtyHost::~PtyHost() { Close(); }

void PtyHost::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PtyHost::Reopen() {
  Close();
  fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios tio{};
  ::tcgetattr(fd_, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd_, TCSANOW, &tio);
  carry_.clear();
  return true;
}

void PtyHost::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += size_t(n);
  }
}

bool PtyHost::ReadByte(uint8_t* b, int timeoutMs) {
  if (!carry_.empty()) {
    *b = uint8_t(carry_[0]);
    carry_.erase(0, 1);
    return true;
  }
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return false;
  return ::read(fd_, b, 1) == 1;
}

std::string PtyHost::ReadFor(int quietMs, int maxMs) {
  std::string out;
  auto start = Clock::now();
  uint8_t b;
  while (MsSince(start) < maxMs && ReadByte(&b, quietMs)) out += char(b);
  return out;
}

bool PtyHost::Type(const std::string& bytes, std::string* why) {
  for (char c : bytes) {
    Write(std::string(1, c));
    uint8_t e;
    if (!ReadByte(&e, 1000)) {
      if (why) *why = "no echo for byte " + std::to_string(uint8_t(c));
      return false;
    }
    if (e != uint8_t(c)) {
      if (why) *why = "wrong echo " + std::to_string(e) + " for " + std::to_string(uint8_t(c));
      return false;
    }
  }
  return true;
}

bool PtyHost::ReadUntilPrompt(std::string* out, std::string* prompt, int maxMs) {
  static const std::regex kPromptAtEnd(R"(\r\n([CD]:\\[^\r\n>]*>)$)");
  std::string text;
  auto start = Clock::now();
  while (MsSince(start) < maxMs) {
    uint8_t b;
    if (!ReadByte(&b, 50)) {
      std::smatch m;
      // A prompt is only complete once the line has gone quiet after the '>'.
      if (!text.empty() && text.back() == '>' && std::regex_search(text, m, kPromptAtEnd)) {
        if (out) *out = text.substr(0, size_t(m.position(0)));
        if (prompt) *prompt = m[1].str();
        return true;
      }
      continue;
    }
    text += char(b);
  }
  if (out) *out = text;
  return false;
}

std::string PtyHost::Command(const std::string& line, std::string* prompt) {
  std::string why;
  EXPECT_TRUE(Type(line + "\r", &why)) << line << ": " << why;
  std::string out;
  EXPECT_TRUE(ReadUntilPrompt(&out, prompt)) << line << " gave no prompt; got: " << out;
  if (!out.empty() && out[0] == '\n') out.erase(0, 1);  // the LF after the echoed CR
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end + 2 - pos));
    pos = end + 2;
  }
  return lines;
}

void SimTest::SetUp() { Restart(vsim::Options{}); }

void SimTest::Restart(const vsim::Options& o) {
  host.reset();
  vc = std::make_unique<vsim::VirtualController>(o);
  std::string error;
  ASSERT_TRUE(vc->Start(&error)) << error;
  host = std::make_unique<PtyHost>(vc->PortPath());
  ASSERT_TRUE(host->ok());
}

void SimTest::TearDown() {
  host.reset();
  vc.reset();
}

}  // namespace simtest
