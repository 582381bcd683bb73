#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/tcp_socket.h"
#include "platform/win/text_win.h"

namespace vorn::platform {
namespace {

// Winsock is started once for the program's life.
bool StartWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data{};
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

TcpStream::ConnectFailure Classify(int err) {
  switch (err) {
    case WSAECONNREFUSED: return TcpStream::ConnectFailure::Refused;
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAEHOSTDOWN:
    case WSAENETDOWN: return TcpStream::ConnectFailure::Unreachable;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA: return TcpStream::ConnectFailure::NoSuchHost;
    default: return TcpStream::ConnectFailure::Other;
  }
}

// Waits on one socket with select, which every Windows has.
int WaitSocket(SOCKET s, bool forSend, int timeoutMs, bool withErrors) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int r = select(0, forSend ? nullptr : &ready, forSend ? &ready : nullptr, withErrors ? &failed : nullptr, &tv);
  if (r <= 0) return r;
  return FD_ISSET(s, &failed) ? 2 : 1;
}

}  // namespace

bool TcpStream::Connect(const std::string& host, uint16_t port, int timeoutMs, ConnectFailure& why,
                        std::string& error, uint32_t sliceMs, const std::function<void()>& waiting) {
  Close();
  if (!StartWinsock()) {
    why = ConnectFailure::Other;
    error = win::SystemText(WSAGetLastError());
    return false;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  const std::wstring service = std::to_wstring(port);
  if (GetAddrInfoW(win::Widen(host).c_str(), service.c_str(), &hints, &found) != 0) {
    const int err = WSAGetLastError();
    why = Classify(err);
    error = win::SystemText(err);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int lastError = WSAECONNREFUSED;
  for (ADDRINFOW* a = found; a; a = a->ai_next) {
    SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      lastError = WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int err = 0;
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      err = WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        int r;
        for (;;) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
          const int64_t wait = std::max<int64_t>(0, std::min<int64_t>(left.count(), sliceMs));
          r = WaitSocket(s, true, static_cast<int>(wait), true);
          if (r != 0 || wait >= left.count()) break;
          if (waiting) waiting();
        }
        int len = sizeof err;
        if (r == 0) err = WSAETIMEDOUT;
        else if (r < 0) err = WSAGetLastError();
        else if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) err = WSAGetLastError();
        else if (r == 2 && err == 0) err = WSAECONNREFUSED;
      }
    }
    if (err == 0) {
      const BOOL one = TRUE;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
      setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&one), sizeof one);
      handle_ = static_cast<intptr_t>(s);
      FreeAddrInfoW(found);
      why = ConnectFailure::None;
      return true;
    }
    closesocket(s);
    lastError = err;
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  FreeAddrInfoW(found);
  why = Classify(lastError);
  error = win::SystemText(lastError);
  return false;
}

void TcpStream::Close() {
  if (handle_ == kNone) return;
  closesocket(static_cast<SOCKET>(handle_));
  handle_ = kNone;
}

long TcpStream::Send(const uint8_t* bytes, size_t count, std::string& error) {
  const int chunk = count > 65536 ? 65536 : static_cast<int>(count);
  const int n = send(static_cast<SOCKET>(handle_), reinterpret_cast<const char*>(bytes), chunk, 0);
  if (n >= 0) return n;
  const int err = WSAGetLastError();
  if (err == WSAEWOULDBLOCK) return 0;
  error = win::SystemText(err);
  return -2;
}

long TcpStream::Receive(uint8_t* buffer, size_t count, std::string& error) {
  const int chunk = count > 65536 ? 65536 : static_cast<int>(count);
  const int n = recv(static_cast<SOCKET>(handle_), reinterpret_cast<char*>(buffer), chunk, 0);
  if (n > 0) return n;
  if (n == 0) return -1;
  const int err = WSAGetLastError();
  if (err == WSAEWOULDBLOCK) return 0;
  error = win::SystemText(err);
  return -2;
}

int TcpStream::Wait(bool forSend, int timeoutMs, std::string& error) {
  const int r = WaitSocket(static_cast<SOCKET>(handle_), forSend, timeoutMs, false);
  if (r < 0) {
    error = win::SystemText(WSAGetLastError());
    return -1;
  }
  return r > 0 ? 1 : 0;
}

}  // namespace vorn::platform
