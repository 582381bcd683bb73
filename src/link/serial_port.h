#pragma once
#include <memory>
#include <optional>
#include <string>

#include "link/port.h"
#include "platform/serial_device.h"

namespace vorn {

// One host serial port. Constructing it does not open the device; every owner
// calls Close before discarding it.
class SerialPort : public Port {
 public:
  explicit SerialPort(std::string portName);
  SerialPort(std::string portName, std::unique_ptr<platform::SerialDevice> device);
  ~SerialPort() override;

  bool Open() override;
  bool Close() override;
  bool Configure(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) override;
  bool SetTimeouts(uint32_t ms) override;
  uint32_t Timeout() const override { return timeoutMs_; }
  bool Write(const uint8_t* bytes, size_t count) override;
  using Port::Write;
  bool ReadExact(uint8_t* buffer, size_t count) override;
  bool ReadLine(size_t maxLen, std::string& text) override;
  bool PurgeInput() override;
  std::string OpenFailureReason() const override;
  std::string LostReason() const override { return lost_; }
  uint32_t ReceiveHoldMs() const override { return holdMs_; }

  const std::string& PortName() const { return portName_; }
  bool IsOpen() const;
  // Why the last Open failed (AccessDenied: the port exists but is held).
  platform::OpenFailure LastOpenFailure() const;

 private:
  // A hard I/O error closes the device and opens it again with the line
  // settings and time-outs it had.
  void Recover(const platform::TransferResult& failed);

  struct Line {
    uint32_t baud;
    uint8_t byteSize, parity, stopBits;
  };

  std::string portName_;
  std::unique_ptr<platform::SerialDevice> device_;
  std::optional<Line> line_;
  uint32_t timeoutMs_ = 0;
  bool timeoutsSet_ = false;
  std::string lost_;
  // The adapter's latency timer as the host reported it at Open.
  uint32_t holdMs_ = 0;
};

}  // namespace vorn
