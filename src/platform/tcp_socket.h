#pragma once
// A connected TCP stream, reduced to what the network serial device needs:
// non-blocking sends and receives and a wait with a time limit. One
// implementation on POSIX sockets and one on Winsock.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vorn::platform {

class TcpStream {
 public:
  enum class ConnectFailure { None, Refused, Unreachable, NoSuchHost, Other };

  TcpStream() = default;
  ~TcpStream() { Close(); }
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Connects within timeoutMs, without Nagle's delay (each typed character is
  // sent at once), calling waiting every sliceMs while it waits (a window
  // repaints). On failure, error holds the system's words.
  bool Connect(const std::string& host, uint16_t port, int timeoutMs, ConnectFailure& why, std::string& error,
               uint32_t sliceMs = UINT32_MAX, const std::function<void()>& waiting = {});
  bool IsOpen() const { return handle_ != kNone; }
  void Close();

  // Bytes moved (> 0), 0 when nothing could move now, -1 when the peer closed
  // the stream (receive only) and -2 on an error (its words in error).
  long Send(const uint8_t* bytes, size_t count, std::string& error);
  long Receive(uint8_t* buffer, size_t count, std::string& error);
  // Waits until a receive (or a send) would not block: 1, 0 after timeoutMs,
  // -1 on an error.
  int Wait(bool forSend, int timeoutMs, std::string& error);

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace vorn::platform
