#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/tcp_socket.h"

namespace vorn::platform {
namespace {

TcpStream::ConnectFailure Classify(int err) {
  switch (err) {
    case ECONNREFUSED: return TcpStream::ConnectFailure::Refused;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN: return TcpStream::ConnectFailure::Unreachable;
    default: return TcpStream::ConnectFailure::Other;
  }
}

}  // namespace

bool TcpStream::Connect(const std::string& host, uint16_t port, int timeoutMs, ConnectFailure& why,
                        std::string& error, uint32_t sliceMs, const std::function<void()>& waiting) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); r != 0) {
    why = r == EAI_NONAME
#ifdef EAI_NODATA
                  || r == EAI_NODATA
#endif
              ? ConnectFailure::NoSuchHost
              : ConnectFailure::Other;
    error = r == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(r);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int lastError = ECONNREFUSED;
  // Every address the name has, in the resolver's order, within one time limit.
  for (addrinfo* a = found; a; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    int err = 0;
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        int r;
        for (;;) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
          const int64_t wait = std::max<int64_t>(0, std::min<int64_t>(left.count(), sliceMs));
          r = poll(&pfd, 1, static_cast<int>(wait));
          if (r < 0 && errno == EINTR) continue;
          if (r != 0 || wait >= left.count()) break;
          if (waiting) waiting();
        }
        socklen_t len = sizeof err;
        if (r == 0) err = ETIMEDOUT;
        else if (r < 0) err = errno;
        else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      }
    }
    if (err == 0) {
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
      handle_ = fd;
      freeaddrinfo(found);
      why = ConnectFailure::None;
      return true;
    }
    close(fd);
    lastError = err;
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  freeaddrinfo(found);
  why = Classify(lastError);
  error = std::strerror(lastError);
  return false;
}

void TcpStream::Close() {
  if (handle_ == kNone) return;
  close(static_cast<int>(handle_));
  handle_ = kNone;
}

long TcpStream::Send(const uint8_t* bytes, size_t count, std::string& error) {
  for (;;) {
    // MSG_NOSIGNAL: a peer that went away is an error here, not a SIGPIPE
    // that ends the program.
    const ssize_t n = send(static_cast<int>(handle_), bytes, count, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    error = std::strerror(errno);
    return -2;
  }
}

long TcpStream::Receive(uint8_t* buffer, size_t count, std::string& error) {
  for (;;) {
    const ssize_t n = recv(static_cast<int>(handle_), buffer, count, 0);
    if (n > 0) return static_cast<long>(n);
    if (n == 0) return -1;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    error = std::strerror(errno);
    return -2;
  }
}

int TcpStream::Wait(bool forSend, int timeoutMs, std::string& error) {
  pollfd pfd{static_cast<int>(handle_), static_cast<short>(forSend ? POLLOUT : POLLIN), 0};
  const int r = poll(&pfd, 1, timeoutMs);
  if (r < 0) {
    if (errno == EINTR) return 0;
    error = std::strerror(errno);
    return -1;
  }
  // An error or hang-up is reported by the next send or receive.
  return r > 0 ? 1 : 0;
}

}  // namespace vorn::platform
