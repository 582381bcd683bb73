#pragma once
// The byte link to the controller as every user of the line sees it. SerialPort
// is the real one; tests substitute scripted ports that answer at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

class Port {
 public:
  virtual ~Port() = default;

  virtual bool Open() = 0;
  virtual bool Close() = 0;
  // baud rate, byte size, parity (0 = none), stop bits (0 = one)
  virtual bool Configure(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) = 0;
  // One value in milliseconds for every read and write time-out.
  virtual bool SetTimeouts(uint32_t ms) = 0;
  // The read interval time-out in milliseconds.
  virtual uint32_t Timeout() const = 0;
  // Discards unread input first, then sends all count bytes.
  virtual bool Write(const uint8_t* bytes, size_t count) = 0;
  // Receives exactly count bytes before the time-out.
  virtual bool ReadExact(uint8_t* buffer, size_t count) = 0;
  // Receives bytes up to and including LineEnd. The text never holds more than
  // maxLen - 1 bytes (false when it filled up first, the rest left unread);
  // after a time-out it keeps what arrived (a prompt has no line end, so
  // callers rely on the partial text).
  virtual bool ReadLine(size_t maxLen, std::string& text) = 0;
  virtual bool PurgeInput() = 0;
  // One line on why the last Open failed and what to do; empty when unknown.
  virtual std::string OpenFailureReason() const { return {}; }
  // Once a transfer met a hang-up or an I/O error (adapter unplugged, the
  // other end gone), the system's words for it until the next Open; empty
  // while the line is sound. Reads fail at once from then on, so a caller
  // that retries them must look here.
  virtual std::string LostReason() const { return {}; }
  // How long the link may hold received bytes before handing them on (a
  // USB-serial adapter's latency timer); 0 when there is none or it is unknown.
  virtual uint32_t ReceiveHoldMs() const { return 0; }

  bool Write(std::string_view bytes) {
    return Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  bool WriteByte(uint8_t b) { return Write(&b, 1); }

  uint8_t LineEnd = 13;
};

// The line settings every user of the controller link configures.
constexpr uint32_t kControllerBaud = 57600;
inline bool ConfigureControllerLine(Port& port) { return port.Configure(kControllerBaud, 8, 0, 0); }

}  // namespace vorn
