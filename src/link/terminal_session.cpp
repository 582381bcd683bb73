#include "link/terminal_session.h"

#include <chrono>
#include <thread>

namespace vorn {

namespace {
constexpr uint8_t kEscape = 27;
constexpr uint8_t kReturn = 13;
constexpr uint8_t kLineFeed = 10;
constexpr uint32_t kPollTimeoutMs = 1;

// Lets a byte on its way settle before the threads touch the port again.
void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
}  // namespace

std::array<uint8_t, 3> SpecialKeyBytes(TerminalKey key) {
  switch (key) {
    case TerminalKey::Left: return {kEscape, '[', 'D'};
    case TerminalKey::Up: return {kEscape, '[', 'A'};
    case TerminalKey::Right: return {kEscape, '[', 'C'};
    case TerminalKey::Down: return {kEscape, '[', 'B'};
    case TerminalKey::F1: return {kEscape, 'O', 'P'};
    case TerminalKey::F2: return {kEscape, 'O', 'Q'};
    case TerminalKey::F3: return {kEscape, 'O', 'R'};
    case TerminalKey::F4: return {kEscape, 'O', 'S'};
  }
  return {kEscape, '[', 'A'};
}

std::vector<PasteByte> PasteBytes(std::string_view text) {
  text = text.substr(0, kPasteLimit);
  std::vector<PasteByte> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b == kReturn && i + 1 < text.size() && text[i + 1] == kLineFeed) {
      out.push_back({kReturn, true});
      ++i;
    } else if (b == kLineFeed) {
      // The clipboards of POSIX hosts end lines with LF alone.
      out.push_back({kReturn, true});
    } else {
      out.push_back({b, false});
    }
  }
  return out;
}

TerminalSession::TerminalSession(GuiInvoker& gui, TerminalView& pane, PortFactory factory)
    : factory_(std::move(factory)),
      ring_(std::make_unique<ByteRing>()),
      receiver_(std::make_unique<VornComReceiver>(gui, *ring_)),
      printer_(std::make_unique<VornPrinterThread>(gui, *ring_, pane)) {}

TerminalSession::~TerminalSession() {
  // Each thread ends its loop and is joined, paused or not; their steps still
  // waiting for the GUI thread are dropped, so this cannot hang.
  printer_.reset();
  receiver_.reset();
  ring_.reset();
  if (port_) port_->Close();
}

bool TerminalSession::Open(const std::string& comName) {
  if (port_) return true;
  std::unique_ptr<Port> port = factory_(comName);
  openFailureReason_.clear();
  if (!port || !port->Open()) {
    if (port) openFailureReason_ = port->OpenFailureReason();
    return false;
  }
  port_ = std::move(port);
  ConfigureControllerLine(*port_);
  port_->SetTimeouts(kPollTimeoutMs);
  receiver_->SetPort(port_.get());
  return true;
}

void TerminalSession::Start() {
  if (!port_) return;
  ResumeThreads();
  port_->WriteByte(kReturn);
  KeyGate = true;
}

void TerminalSession::Stop() {
  if (!port_) return;
  PauseThreads();
  receiver_->SetPort(nullptr);
  port_->Close();
  port_.reset();
}

void TerminalSession::PauseThreads() {
  printer_->Suspend();
  receiver_->Suspend();
}

void TerminalSession::ResumeThreads() {
  receiver_->Resume();
  printer_->Resume();
}

void TerminalSession::SaveUnreadOutput() {
  uint8_t byte;
  for (size_t n = 0; n < ByteRing::kCapacity && port_->ReadExact(&byte, 1); ++n) ring_->Put(byte);
}

void TerminalSession::SendSpecialKey(TerminalKey key) {
  // On the GUI thread no receiver poll can run meanwhile, so the threads go on.
  const std::array<uint8_t, 3> bytes = SpecialKeyBytes(key);
  SaveUnreadOutput();
  port_->Write(bytes.data(), bytes.size());
}

void TerminalSession::WritePaused(uint8_t byte, bool settleAfter) {
  PauseThreads();
  Settle();
  SaveUnreadOutput();
  port_->WriteByte(byte);
  if (settleAfter) Settle();
  ResumeThreads();
}

bool TerminalSession::KeyDown(std::optional<TerminalKey> key) {
  if (!port_ || !KeyGate) return false;
  KeyGate = false;
  if (key) SendSpecialKey(*key);
  KeyGate = true;
  return key.has_value();
}

void TerminalSession::KeyPress(uint8_t ch) {
  if (!port_ || !KeyGate) return;
  KeyGate = false;
  WritePaused(ch, true);
  KeyGate = true;
}

void TerminalSession::Paste(std::string_view text, const std::function<void(int ms)>& wait) {
  for (const PasteByte& p : PasteBytes(text)) {
    if (!port_) return;
    if (p.lineEnd) {
      wait(kLineEndPauseMs);
      if (!port_) return;
      WritePaused(kReturn, false);
    } else {
      WritePaused(p.byte, true);
    }
    wait(kPastePaceMs);
  }
}

}  // namespace vorn
