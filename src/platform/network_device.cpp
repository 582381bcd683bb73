#include "platform/network_device.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <climits>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/tcp_socket.h"

namespace vorn::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Telnet (RFC 854) and its COM-PORT option (RFC 2217).
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr uint8_t kOptBinary = 0, kOptSuppressGoAhead = 3, kOptComPort = 44;
constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kPurgeData = 12;
constexpr uint8_t kServerReply = 100;  // a server answers command c with c + 100
constexpr uint8_t kPurgeBoth = 3;

// Long enough for a device server across a slow site link; an exchange waits
// this long only when the host does not answer at all.
constexpr int kConnectTimeoutMs = 5000;
// How long the server gets to answer the line settings or to refuse the port.
constexpr int kAnswerTimeoutMs = 3000;
// A raw server that refuses a second user does so at once after accepting,
// a round trip later; the connect measures one, but a proxy on the way may
// accept at once and hide it, hence the floor.
constexpr int kRawRefusalFloorMs = 100;
constexpr int kRawRefusalCeilingMs = 1000;
// How long a refusing server is asked again, and the pause between.
constexpr int kBusyRetryMs = 1500;
constexpr int kBusyPauseMs = 100;

// Server ports this program holds, so that two users inside one program are
// refused as a second program would be.
std::mutex g_heldMutex;
std::set<std::string> g_held;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

TransferResult Broken(TransferResult result, const std::string& reason) {
  result.hardError = true;
  result.reason = reason;
  return result;
}

int MsUntil(Clock::time_point t) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
  if (ms < 0) return 0;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// What a refusing server printed, as one short line.
std::string OneLine(const std::vector<uint8_t>& text) {
  std::string out;
  for (uint8_t b : text) {
    if (b == '\r' || b == '\n') {
      if (!out.empty()) break;
      continue;
    }
    if (b >= 0x20 && b < 0x7F) out.push_back(static_cast<char>(b));
    if (out.size() >= 120) break;
  }
  return out;
}

class NetworkSerialDevice final : public SerialDevice {
 public:
  ~NetworkSerialDevice() override { Close(); }

  bool Open(const std::string& portName) override;
  OpenFailure LastOpenFailure() const override { return lastFailure_; }
  std::string LastOpenReason() const override { return reason_; }
  bool IsOpen() const override { return stream_.IsOpen(); }
  bool Close() override;
  bool SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) override;
  bool SetTimeouts(uint32_t ms) override {
    timeoutMs_ = ms;
    return IsOpen();
  }
  TransferResult Write(const uint8_t* bytes, size_t count) override;
  TransferResult Read(uint8_t* buffer, size_t count) override;
  bool PurgeInput() override;

 private:
  bool OpenOnce(const std::string& portName);
  bool Fail(OpenFailure why, const std::string& reason);
  std::string Where() const { return address_.host + " port " + std::to_string(address_.port); }
  // Takes what the stream holds now, waiting up to waitMs for the first of
  // it; false once the stream closed or failed (closedReason_ says why).
  bool Pump(int waitMs);
  void Decode(const uint8_t* bytes, size_t count);
  void Negotiate(uint8_t verb, uint8_t option);
  void SubNegotiation();
  // Sends whole, within the time-out arithmetic of a write of count bytes.
  bool SendAll(const std::vector<uint8_t>& bytes, Clock::time_point deadline, size_t& sent);
  bool SendControl(std::vector<uint8_t> bytes);
  void SendComPort(uint8_t command, const std::vector<uint8_t>& value);
  // Pumps until done() or the deadline; false when the stream ended first.
  template <class Done>
  bool AwaitAnswer(Done done, Clock::time_point deadline);
  Clock::time_point Deadline(size_t count) const;

  TcpStream stream_;
  NetworkPortAddress address_;
  std::string heldKey_;
  std::string reason_;
  OpenFailure lastFailure_ = OpenFailure::None;
  bool serverRefused_ = false;  // the server hung up right after taking the connection
  uint32_t timeoutMs_ = 0;

  std::deque<uint8_t> input_;   // received line bytes not yet read
  bool closed_ = false;         // the stream ended; reads report it once input_ is empty
  std::string closedReason_;

  // Telnet receive state, kept across receives since a command may be split.
  enum class State { Data, Iac, Verb, Sub, SubIac } state_ = State::Data;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
  std::array<bool, 256> localOn_{}, remoteOn_{}, willSent_{}, doSent_{};
  bool comPortRefused_ = false;
  std::map<uint8_t, std::vector<uint8_t>> answers_;  // server reply code -> its value
};

bool NetworkSerialDevice::Fail(OpenFailure why, const std::string& reason) {
  lastFailure_ = why;
  reason_ = reason;
  stream_.Close();
  if (!heldKey_.empty()) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    g_held.erase(heldKey_);
    heldKey_.clear();
  }
  return false;
}

bool NetworkSerialDevice::Open(const std::string& portName) {
  // A server lets the port go a moment after the last user hung up, and
  // every exchange opens the port afresh: a refusal is only final once it
  // persists.
  const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(kBusyRetryMs);
  for (;;) {
    if (OpenOnce(portName)) return true;
    if (!serverRefused_ || Clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusyPauseMs));
  }
}

bool NetworkSerialDevice::OpenOnce(const std::string& portName) {
  reason_.clear();
  serverRefused_ = false;
  // A second Open of the same object must neither leak nor drop the stream.
  if (IsOpen()) {
    lastFailure_ = OpenFailure::AccessDenied;
    reason_ = "Reason: " + portName + " is already open here.";
    return false;
  }
  const std::optional<NetworkPortAddress> address = ParseNetworkPortName(portName);
  if (!address)
    return Fail(OpenFailure::NotFound, "Reason: '" + portName +
                                           "' is not a network port; write socket://HOST:PORT or rfc2217://HOST:PORT.");
  address_ = *address;
  const std::string key = Lower(address_.host) + ":" + std::to_string(address_.port);
  {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    if (!g_held.insert(key).second)
      return Fail(OpenFailure::AccessDenied, "Reason: " + Where() + " is in use by this program.");
    heldKey_ = key;
  }
  input_.clear();
  closed_ = false;
  closedReason_.clear();
  state_ = State::Data;
  sub_.clear();
  localOn_ = remoteOn_ = willSent_ = doSent_ = {};
  comPortRefused_ = false;
  answers_.clear();

  TcpStream::ConnectFailure why = TcpStream::ConnectFailure::None;
  std::string error;
  const Clock::time_point started = Clock::now();
  if (!stream_.Connect(address_.host, address_.port, kConnectTimeoutMs, why, error, WaitSliceMs(),
                       [this] { Waiting(); })) {
    const OpenFailure failure = why == TcpStream::ConnectFailure::Other ? OpenFailure::Other : OpenFailure::NotFound;
    // Windows' own texts end in a full stop already.
    while (!error.empty() && (error.back() == '.' || error.back() == ' ')) error.pop_back();
    return Fail(failure, "Reason: cannot connect to " + Where() + ": " + error + ".");
  }
  const auto roundTrip = Clock::now() - started;

  bool settled;
  if (address_.telnet) {
    // Binary both ways keeps every byte as it is; the COM-PORT option lets
    // the line be set. The server's answer to a query of the speed tells
    // that it holds the line for us.
    SendControl({kIac, kWill, kOptBinary, kIac, kDo, kOptBinary, kIac, kWill, kOptSuppressGoAhead, kIac, kDo,
                 kOptSuppressGoAhead, kIac, kWill, kOptComPort});
    willSent_[kOptBinary] = willSent_[kOptSuppressGoAhead] = willSent_[kOptComPort] = true;
    doSent_[kOptBinary] = doSent_[kOptSuppressGoAhead] = true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    settled = AwaitAnswer([&] { return localOn_[kOptComPort] || comPortRefused_; }, deadline);
    if (settled && localOn_[kOptComPort]) {
      SendComPort(kSetBaudRate, {0, 0, 0, 0});
      settled = AwaitAnswer([&] { return answers_.count(kServerReply + kSetBaudRate) > 0; }, deadline);
    }
  } else {
    const auto wait = std::clamp<int64_t>(
        3 * std::chrono::duration_cast<std::chrono::milliseconds>(roundTrip).count() + kRawRefusalFloorMs,
        kRawRefusalFloorMs, kRawRefusalCeilingMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait);
    while (!closed_ && Clock::now() < deadline) Pump(MsUntil(deadline));
    settled = !closed_;
  }
  if (!settled) {
    // What the server printed before it hung up is its reason.
    const std::string said = OneLine(std::vector<uint8_t>(input_.begin(), input_.end()));
    serverRefused_ = closed_;
    if (closed_)
      return Fail(OpenFailure::AccessDenied, "Reason: the device server at " + Where() + " refused the port" +
                                                 (said.empty() ? " (" + closedReason_ + ")" : ": " + said) + ".");
    return Fail(OpenFailure::Other, "Reason: the device server at " + Where() + " did not answer the Telnet COM-PORT option in time.");
  }
  lastFailure_ = OpenFailure::None;
  return true;
}

bool NetworkSerialDevice::Close() {
  if (!IsOpen()) return true;
  stream_.Close();
  input_.clear();
  std::lock_guard<std::mutex> lock(g_heldMutex);
  g_held.erase(heldKey_);
  heldKey_.clear();
  return true;
}

bool NetworkSerialDevice::Pump(int waitMs) {
  if (closed_ || !IsOpen()) return false;
  std::string error;
  uint8_t chunk[4096];
  bool waited = false;
  for (;;) {
    const long n = stream_.Receive(chunk, sizeof chunk, error);
    if (n > 0) {
      Decode(chunk, static_cast<size_t>(n));
      if (static_cast<size_t>(n) < sizeof chunk) return true;
      continue;
    }
    if (n == -1) {
      closed_ = true;
      closedReason_ = "the device server at " + Where() + " closed the connection";
      return false;
    }
    if (n == -2) {
      closed_ = true;
      closedReason_ = "the connection to " + Where() + " failed: " + error;
      return false;
    }
    if (waited || waitMs <= 0) return true;
    waited = true;
    const int r = stream_.Wait(false, waitMs, error);
    if (r < 0) {
      closed_ = true;
      closedReason_ = "the connection to " + Where() + " failed: " + error;
      return false;
    }
    if (r == 0) return true;
  }
}

void NetworkSerialDevice::Decode(const uint8_t* bytes, size_t count) {
  if (!address_.telnet) {
    input_.insert(input_.end(), bytes, bytes + count);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) state_ = State::Iac;
        else input_.push_back(b);
        break;
      case State::Iac:
        if (b == kIac) {
          input_.push_back(b);  // an escaped 0xFF of the line
          state_ = State::Data;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = State::Verb;
        } else if (b == kSb) {
          sub_.clear();
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA and the like carry nothing for us
        }
        break;
      case State::Verb:
        Negotiate(verb_, b);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) state_ = State::SubIac;
        else if (sub_.size() < 256) sub_.push_back(b);
        break;
      case State::SubIac:
        if (b == kIac) {
          if (sub_.size() < 256) sub_.push_back(b);
          state_ = State::Sub;
        } else {
          if (b == kSe) SubNegotiation();
          state_ = State::Data;
        }
        break;
    }
  }
}

void NetworkSerialDevice::Negotiate(uint8_t verb, uint8_t option) {
  const bool weDo = option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
  const bool theyMay = option == kOptBinary || option == kOptSuppressGoAhead;
  // Answer only a change, so that two sides never echo each other for ever
  // (and never let the server echo: the controller does).
  switch (verb) {
    case kDo:
      if (!weDo) {
        SendControl({kIac, kWont, option});
      } else if (!localOn_[option]) {
        localOn_[option] = true;
        if (!willSent_[option]) SendControl({kIac, kWill, option});
        willSent_[option] = true;
      }
      break;
    case kDont:
      if (option == kOptComPort) comPortRefused_ = true;
      if (localOn_[option] || willSent_[option]) SendControl({kIac, kWont, option});
      localOn_[option] = willSent_[option] = false;
      break;
    case kWill:
      if (!theyMay) {
        SendControl({kIac, kDont, option});
      } else if (!remoteOn_[option]) {
        remoteOn_[option] = true;
        if (!doSent_[option]) SendControl({kIac, kDo, option});
        doSent_[option] = true;
      }
      break;
    case kWont:
      if (remoteOn_[option] || doSent_[option]) SendControl({kIac, kDont, option});
      remoteOn_[option] = doSent_[option] = false;
      break;
  }
}

void NetworkSerialDevice::SubNegotiation() {
  if (sub_.size() < 2 || sub_[0] != kOptComPort || sub_[1] < kServerReply) return;
  // Line and modem state notices are of no use here; answers to our settings are.
  answers_[sub_[1]] = std::vector<uint8_t>(sub_.begin() + 2, sub_.end());
}

Clock::time_point NetworkSerialDevice::Deadline(size_t count) const {
  // ms * n + ms, as a serial driver with all time-outs set to ms computes it.
  const uint64_t total = std::min<uint64_t>(
      static_cast<uint64_t>(timeoutMs_) * (std::min<uint64_t>(count, UINT32_MAX) + 1), uint64_t{1} << 35);
  return Clock::now() + std::chrono::milliseconds(total);
}

bool NetworkSerialDevice::SendAll(const std::vector<uint8_t>& bytes, Clock::time_point deadline, size_t& sent) {
  sent = 0;
  std::string error;
  while (sent < bytes.size()) {
    const long n = stream_.Send(bytes.data() + sent, bytes.size() - sent, error);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0) {
      closed_ = true;
      closedReason_ = "the connection to " + Where() + " failed: " + error;
      return false;
    }
    // The server is slow to take more: keep its answers flowing meanwhile,
    // or both sides could wait on each other.
    Pump(0);
    if (closed_) return false;
    const int left = MsUntil(deadline);
    if (left == 0) return false;
    const int r = stream_.Wait(true, static_cast<int>(std::min<int64_t>(left, WaitSliceMs())), error);
    if (r < 0) {
      closed_ = true;
      closedReason_ = "the connection to " + Where() + " failed: " + error;
      return false;
    }
    if (r == 0) Waiting();
  }
  return true;
}

bool NetworkSerialDevice::SendControl(std::vector<uint8_t> bytes) {
  size_t sent = 0;
  return SendAll(bytes, Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs), sent);
}

void NetworkSerialDevice::SendComPort(uint8_t command, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> out{kIac, kSb, kOptComPort, command};
  for (uint8_t b : value) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  out.insert(out.end(), {kIac, kSe});
  SendControl(std::move(out));
}

template <class Done>
bool NetworkSerialDevice::AwaitAnswer(Done done, Clock::time_point deadline) {
  while (!done()) {
    if (closed_) return false;
    const int left = MsUntil(deadline);
    if (left == 0) return false;
    Pump(std::min<int>(left, static_cast<int>(std::min<uint32_t>(WaitSliceMs(), INT_MAX))));
    if (!done() && !closed_ && MsUntil(deadline) > 0) Waiting();
  }
  return true;
}

bool NetworkSerialDevice::SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  if (!IsOpen() || baud == 0 || byteSize < 5 || byteSize > 8 || parity > 4 || stopBits > 2) return false;
  // A raw server keeps the line as its own configuration sets it.
  if (!address_.telnet) return true;
  if (!localOn_[kOptComPort]) return false;
  for (uint8_t code : {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize}) answers_.erase(kServerReply + code);
  SendComPort(kSetBaudRate, {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                             static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)});
  SendComPort(kSetDataSize, {byteSize});
  SendComPort(kSetParity, {static_cast<uint8_t>(parity + 1)});  // 1 none, 2 odd, 3 even, 4 mark, 5 space
  static constexpr uint8_t kStopCodes[] = {1, 3, 2};           // one, one and a half, two
  SendComPort(kSetStopSize, {kStopCodes[stopBits]});
  // What the controller sent before the line was set is noise at the old speed.
  SendComPort(kPurgeData, {kPurgeBoth});
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  if (!AwaitAnswer([&] { return answers_.count(kServerReply + kSetStopSize) > 0; }, deadline)) return false;
  const std::vector<uint8_t>& speed = answers_[kServerReply + kSetBaudRate];
  if (speed.size() != 4) return false;
  const uint32_t granted = (uint32_t{speed[0]} << 24) | (uint32_t{speed[1]} << 16) | (uint32_t{speed[2]} << 8) | speed[3];
  const std::vector<uint8_t>& size = answers_[kServerReply + kSetDataSize];
  return granted == baud && size.size() == 1 && size[0] == byteSize;
}

TransferResult NetworkSerialDevice::Read(uint8_t* buffer, size_t count) {
  TransferResult result;
  if (!IsOpen() || count == 0) return result;
  const Clock::time_point deadline = Deadline(count);
  const auto gap = std::chrono::milliseconds(timeoutMs_);
  Clock::time_point lastByte{};
  bool pumped = false;
  for (;;) {
    const size_t take = std::min(count - result.transferred, input_.size());
    if (take > 0) {
      std::copy_n(input_.begin(), take, buffer + result.transferred);
      input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(take));
      result.transferred += take;
      lastByte = Clock::now();
    }
    if (result.transferred == count) return result;
    if (closed_) return Broken(result, closedReason_);
    // What has arrived is taken before any waiting.
    if (!pumped) {
      pumped = true;
      Pump(0);
      continue;
    }
    if (timeoutMs_ == 0) return result;
    Clock::time_point until = deadline;
    if (result.transferred > 0) until = std::min(until, lastByte + gap);
    const int left = MsUntil(until);
    if (left == 0) return result;
    const size_t before = input_.size();
    Pump(static_cast<int>(std::min<int64_t>(left, WaitSliceMs())));
    if (input_.size() == before && !closed_ && MsUntil(until) > 0) Waiting();
  }
}

TransferResult NetworkSerialDevice::Write(const uint8_t* bytes, size_t count) {
  TransferResult result;
  if (!IsOpen() || count == 0) return result;
  if (closed_) return Broken(result, closedReason_);
  std::vector<uint8_t> out;
  out.reserve(count + 8);
  for (size_t i = 0; i < count; ++i) {
    out.push_back(bytes[i]);
    if (address_.telnet && bytes[i] == kIac) out.push_back(kIac);  // 0xFF of the line goes twice
  }
  size_t sent = 0;
  const bool whole = SendAll(out, timeoutMs_ == 0 ? Clock::now() : Deadline(count), sent);
  if (whole) {
    result.transferred = count;
    return result;
  }
  // Only line bytes that went out whole count.
  size_t raw = 0;
  for (size_t i = 0; i < count; ++i) {
    raw += (address_.telnet && bytes[i] == kIac) ? 2 : 1;
    if (raw > sent) break;
    ++result.transferred;
  }
  if (closed_) return Broken(result, closedReason_);
  return result;
}

bool NetworkSerialDevice::PurgeInput() {
  if (!IsOpen()) return false;
  // Telnet answers in the stream are still taken; the line's bytes are not.
  while (!closed_) {
    const size_t before = input_.size();
    Pump(0);
    if (input_.size() == before) break;
    input_.clear();
  }
  input_.clear();
  return true;
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  const std::string lower = Lower(name.substr(0, 10));
  return lower.rfind("socket://", 0) == 0 || lower.rfind("rfc2217://", 0) == 0;
}

std::optional<NetworkPortAddress> ParseNetworkPortName(const std::string& name) {
  if (!IsNetworkPortName(name)) return std::nullopt;
  NetworkPortAddress address;
  address.telnet = Lower(name.substr(0, 1)) == "r";
  std::string rest = name.substr(name.find("://") + 3);
  // A trailing slash, as some tools write it, means nothing more.
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
    address.host = rest.substr(1, close - 1);
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    address.host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (address.host.find(':') != std::string::npos) return std::nullopt;  // IPv6 needs brackets
  }
  if (address.host.empty() || portText.empty() || portText.size() > 5) return std::nullopt;
  for (char c : address.host)
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '@' || c == '?' || c == '#') return std::nullopt;
  unsigned long port = 0;
  for (char c : portText) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    port = port * 10 + static_cast<unsigned long>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  address.port = static_cast<uint16_t>(port);
  return address;
}

std::unique_ptr<SerialDevice> CreateNetworkDevice() { return std::make_unique<NetworkSerialDevice>(); }

std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& portName) {
  return IsNetworkPortName(portName) ? CreateNetworkDevice() : CreateSerialDevice();
}

}  // namespace vorn::platform
