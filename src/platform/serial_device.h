#pragma once
// The host's serial device, reduced to what SerialPort needs. One implementation
// per host: POSIX (termios + poll) and Windows (overlapped communications API).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vorn::platform {

enum class OpenFailure {
  None,
  NotFound,     // no such port
  AccessDenied, // the port exists but another program (or this one) holds it
  Other,
};

struct TransferResult {
  size_t transferred = 0;
  // A failure that is not a time-out: the device is gone or broken, and the
  // owner should close and reopen it.
  bool hardError = false;
  // With a hard error: the system's words for it, such as "Input/output error".
  std::string reason;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Opens exclusively and loads the driver's current settings and time-outs;
  // Close puts back the settings found here.
  virtual bool Open(const std::string& portName) = 0;
  virtual OpenFailure LastOpenFailure() const = 0;
  // One line for the user: why the last Open failed and what to do; empty
  // when the host gives no reason.
  virtual std::string LastOpenReason() const { return {}; }
  virtual bool IsOpen() const = 0;
  virtual bool Close() = 0;
  // Sets speed, byte size, parity and stop bits and binary mode; every other
  // setting keeps what the driver reported at Open.
  virtual bool SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) = 0;
  // Win32 semantics with all five COMMTIMEOUTS fields set to ms: a read of n
  // bytes gives up after ms*n+ms, or earlier when more than ms pass between two
  // bytes; a write of n bytes gives up after ms*n+ms. With 0 a read returns at
  // once with the bytes that have arrived, on every host.
  virtual bool SetTimeouts(uint32_t ms) = 0;
  virtual TransferResult Write(const uint8_t* bytes, size_t count) = 0;
  virtual TransferResult Read(uint8_t* buffer, size_t count) = 0;
  virtual bool PurgeInput() = 0;

  // Called every slice milliseconds while a Read or Write waits for the line
  // (never while bytes are ready), on the waiting thread; the time spent in it
  // counts against the time-out.
  void SetWaitCallback(std::function<void()> callback, uint32_t sliceMs) {
    waitCallback_ = std::move(callback);
    waitSliceMs_ = sliceMs;
  }

 protected:
  // The longest a single wait may block before Waiting() is due.
  uint32_t WaitSliceMs() const { return waitCallback_ ? waitSliceMs_ : UINT32_MAX; }
  void Waiting() const {
    if (waitCallback_) waitCallback_();
  }

 private:
  std::function<void()> waitCallback_;
  uint32_t waitSliceMs_ = UINT32_MAX;
};

// The host's serial device.
std::unique_ptr<SerialDevice> CreateSerialDevice();
// The device for a port name: a connection to a serial device server for
// "socket://HOST:PORT" and "rfc2217://HOST:PORT", else the host's device.
std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& portName);

// Names of the serial ports this host may have, in probing order (COM1..COM255
// on Windows; the tty devices present under /dev elsewhere).
std::vector<std::string> CandidatePortNames();

// The name of a port that stays the same when its USB adapter is plugged in
// again (a link under /dev/serial/by-id on Linux, or under linkFolder when one
// is given); empty when the port has none, and always on Windows.
std::string StablePortName(const std::string& portName, const std::string& linkFolder = {});

}  // namespace vorn::platform
