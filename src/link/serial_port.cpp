#include "link/serial_port.h"

#include <utility>

#include "link/line_wait.h"
#include "platform/adapter_latency.h"

namespace vorn {

SerialPort::SerialPort(std::string portName)
    : SerialPort(portName, platform::CreateSerialDevice(portName)) {}

SerialPort::SerialPort(std::string portName, std::unique_ptr<platform::SerialDevice> device)
    : portName_(std::move(portName)), device_(std::move(device)) {
  // An exchange on the GUI thread lets the window repaint while it waits.
  device_->SetWaitCallback([] { LineWaiting(); }, kLineWaitSliceMs);
}

// Owners close the port themselves; the device's own destructor still releases
// one that was left open, so a forgotten Close cannot keep the port held.
SerialPort::~SerialPort() = default;

bool SerialPort::Open() {
  lost_.clear();
  if (!device_->Open(portName_)) return false;
  // Read after the open, which may have asked the adapter for a lower one.
  holdMs_ = platform::AdapterLatencyMs(portName_).value_or(0);
  return true;
}

bool SerialPort::Close() { return device_->Close(); }

bool SerialPort::IsOpen() const { return device_->IsOpen(); }

platform::OpenFailure SerialPort::LastOpenFailure() const { return device_->LastOpenFailure(); }

std::string SerialPort::OpenFailureReason() const { return device_->LastOpenReason(); }

bool SerialPort::Configure(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  if (!device_->SetLine(baud, byteSize, parity, stopBits)) return false;
  line_ = Line{baud, byteSize, parity, stopBits};
  return true;
}

bool SerialPort::SetTimeouts(uint32_t ms) {
  // Callers count waiting time with Timeout() even when they ignore this
  // result, so it reports what was asked for.
  timeoutMs_ = ms;
  timeoutsSet_ = true;
  return device_->SetTimeouts(ms);
}

void SerialPort::Recover(const platform::TransferResult& failed) {
  // Kept even when the re-open works: what was in flight is lost either way.
  lost_ = failed.reason.empty() ? "I/O error" : failed.reason;
  if (!device_->Close() || !device_->Open(portName_)) return;
  // A device opened afresh has the driver's defaults, whose time-outs may let
  // a read wait for ever; the owner's settings are put back.
  if (line_) device_->SetLine(line_->baud, line_->byteSize, line_->parity, line_->stopBits);
  if (timeoutsSet_) device_->SetTimeouts(timeoutMs_);
}

bool SerialPort::Write(const uint8_t* bytes, size_t count) {
  if (!device_->IsOpen()) return false;
  // Whatever arrived before this write is stale: a reply is read after it.
  device_->PurgeInput();
  const platform::TransferResult r = device_->Write(bytes, count);
  if (r.hardError) {
    Recover(r);
    return false;
  }
  return r.transferred == count;
}

bool SerialPort::ReadExact(uint8_t* buffer, size_t count) {
  if (!device_->IsOpen()) return false;
  const platform::TransferResult r = device_->Read(buffer, count);
  if (r.hardError) {
    Recover(r);
    return false;
  }
  return r.transferred == count;
}

bool SerialPort::ReadLine(size_t maxLen, std::string& text) {
  text.clear();
  if (!device_->IsOpen()) return false;

  for (;;) {
    // The text is full: the rest of an overlong line stays unread for the
    // next call instead of losing a byte here.
    if (text.size() + 1 >= maxLen) return false;
    uint8_t byte = 0;
    const platform::TransferResult r = device_->Read(&byte, 1);
    if (r.hardError) {
      Recover(r);
      return false;
    }
    if (r.transferred != 1) return false;
    text.push_back(static_cast<char>(byte));
    if (byte == LineEnd) return true;
  }
}

bool SerialPort::PurgeInput() { return device_->PurgeInput(); }

}  // namespace vorn
