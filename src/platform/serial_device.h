#pragma once
// The host's serial device, reduced to what SerialPort needs. One implementation
// per host: POSIX (termios + poll) and Windows (overlapped communications API).
#include <cstddef>
#include <cstdint>
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
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Opens exclusively and loads the driver's current settings and time-outs.
  virtual bool Open(const std::string& portName) = 0;
  virtual OpenFailure LastOpenFailure() const = 0;
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
};

std::unique_ptr<SerialDevice> CreateSerialDevice();

// Names of the serial ports this host may have, in probing order (COM1..COM255
// on Windows; the tty devices present under /dev elsewhere).
std::vector<std::string> CandidatePortNames();

}  // namespace vorn::platform
