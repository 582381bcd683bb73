// Serial devices on Windows: the communications API with overlapped I/O, the
// driver's own time-outs ending every transfer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/serial_device.h"
#include "platform/win/text_win.h"

namespace vorn::platform {
namespace {

// Errors that some USB adapters report for an expired write time-out instead
// of a short count; they are time-outs, not a broken device.
bool IsTimeoutError(DWORD error) {
  return error == ERROR_SEM_TIMEOUT || error == ERROR_COUNTER_TIMEOUT || error == ERROR_TIMEOUT;
}

using win::SystemText;

// One line: why an open failed and what the user can do about it.
std::string OpenReason(DWORD error, const std::string& portName) {
  std::string hint;
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      hint = " Choose another port or check that the adapter is plugged in.";
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      hint = " Close the program that uses " + portName + " and try again.";
      break;
    default:
      break;
  }
  return "Reason: " + SystemText(error) + hint;
}

class WinSerialDevice final : public SerialDevice {
 public:
  ~WinSerialDevice() override { Close(); }

  bool Open(const std::string& portName) override;
  OpenFailure LastOpenFailure() const override { return lastFailure_; }
  std::string LastOpenReason() const override { return reason_; }
  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() override;
  bool SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) override;
  bool SetTimeouts(uint32_t ms) override;
  TransferResult Write(const uint8_t* bytes, size_t count) override;
  TransferResult Read(uint8_t* buffer, size_t count) override;
  bool PurgeInput() override;

 private:
  TransferResult Transfer(bool write, void* buffer, size_t count);

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  // The line as it was found; put back at Close, so that probing or using a
  // port does not leave it changed for the program that uses it next.
  DCB originalDcb_{};
  COMMTIMEOUTS originalTimeouts_{};
  // Time-out 0: a read takes only what the driver holds already.
  bool readAtOnce_ = false;
  OpenFailure lastFailure_ = OpenFailure::None;
  std::string reason_;
};

bool WinSerialDevice::Open(const std::string& portName) {
  // A second Open of the same object must neither leak nor drop the handle.
  reason_.clear();
  if (handle_ != INVALID_HANDLE_VALUE) {
    lastFailure_ = OpenFailure::AccessDenied;
    reason_ = OpenReason(ERROR_BUSY, portName);
    return false;
  }
  // The "\\.\" prefix lets COM10 and above open.
  const std::string path =
      portName.rfind("\\\\.\\", 0) == 0 ? portName : "\\\\.\\" + portName;
  HANDLE h = CreateFileW(win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY:
        lastFailure_ = OpenFailure::AccessDenied;
        break;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        lastFailure_ = OpenFailure::NotFound;
        break;
      default:
        lastFailure_ = OpenFailure::Other;
        break;
    }
    reason_ = OpenReason(error, portName);
    SetLastError(error);  // left for callers that ask the system directly
    return false;
  }

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  COMMTIMEOUTS timeouts{};
  if (!GetCommState(h, &dcb) || !GetCommTimeouts(h, &timeouts)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    lastFailure_ = OpenFailure::Other;
    reason_ = "Reason: " + portName + " is not a serial port (" + SystemText(error) + "). Choose a serial port.";
    SetLastError(error);
    return false;
  }
  handle_ = h;
  dcb_ = dcb;
  timeouts_ = timeouts;
  originalDcb_ = dcb;
  originalTimeouts_ = timeouts;
  readAtOnce_ = false;  // the driver's own time-outs until SetTimeouts
  lastFailure_ = OpenFailure::None;
  return true;
}

bool WinSerialDevice::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return true;
  SetCommState(handle_, &originalDcb_);
  SetCommTimeouts(handle_, &originalTimeouts_);
  const bool ok = CloseHandle(handle_) != FALSE;
  handle_ = INVALID_HANDLE_VALUE;
  return ok;
}

bool WinSerialDevice::SetLine(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  DCB dcb = dcb_;
  dcb.BaudRate = baud;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  dcb.fBinary = 1;
  if (!SetCommState(handle_, &dcb)) return false;
  dcb_ = dcb;
  return true;
}

bool WinSerialDevice::SetTimeouts(uint32_t ms) {
  COMMTIMEOUTS t{};
  if (ms == 0) {
    // All zeros would make a read wait for its last byte forever; this
    // combination returns what has arrived, as on the other hosts.
    t.ReadIntervalTimeout = MAXDWORD;
  } else {
    t.ReadIntervalTimeout = ms;
    t.ReadTotalTimeoutMultiplier = ms;
    t.ReadTotalTimeoutConstant = ms;
    t.WriteTotalTimeoutMultiplier = ms;
    t.WriteTotalTimeoutConstant = ms;
  }
  if (handle_ == INVALID_HANDLE_VALUE || !SetCommTimeouts(handle_, &t)) return false;
  timeouts_ = t;
  readAtOnce_ = ms == 0;
  return true;
}

TransferResult WinSerialDevice::Transfer(bool write, void* buffer, size_t count) {
  TransferResult result;
  if (handle_ == INVALID_HANDLE_VALUE || count == 0) return result;
  const DWORD wanted = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);

  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (ov.hEvent == nullptr) return result;  // the device was not touched

  const BOOL started = write ? WriteFile(handle_, buffer, wanted, nullptr, &ov)
                             : ReadFile(handle_, buffer, wanted, nullptr, &ov);
  DWORD done = 0;
  if (started) {
    if (GetOverlappedResult(handle_, &ov, &done, FALSE)) result.transferred = done;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    // The driver keeps the time-outs; the wait is cut into slices only so the
    // owner's wait callback runs meanwhile.
    const uint32_t slice = WaitSliceMs();
    DWORD waited;
    while ((waited = WaitForSingleObject(ov.hEvent, slice == UINT32_MAX ? INFINITE : slice)) == WAIT_TIMEOUT) Waiting();
    if (waited == WAIT_OBJECT_0) {
      if (GetOverlappedResult(handle_, &ov, &done, FALSE)) {
        result.transferred = done;
      } else {
        // A request that ended in an error (an adapter pulled out, say)
        // leaves the device broken just like a refused one.
        const DWORD error = GetLastError();
        result.hardError = !IsTimeoutError(error);
        if (result.hardError) result.reason = SystemText(error);
      }
    } else {
      const DWORD error = GetLastError();
      // The driver must not finish into this stack frame after we leave it.
      CancelIo(handle_);
      GetOverlappedResult(handle_, &ov, &done, TRUE);
      result.hardError = true;
      result.reason = SystemText(error);
    }
  } else {
    result.hardError = true;
    result.reason = SystemText(GetLastError());
  }
  CloseHandle(ov.hEvent);
  return result;
}

TransferResult WinSerialDevice::Write(const uint8_t* bytes, size_t count) {
  return Transfer(true, const_cast<uint8_t*>(bytes), count);
}

TransferResult WinSerialDevice::Read(uint8_t* buffer, size_t count) {
  if (readAtOnce_ && handle_ != INVALID_HANDLE_VALUE) {
    // Not every serial driver honours the "return at once" time-outs for an
    // overlapped read; asking for only the bytes already queued cannot wait.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) {
      TransferResult broken;
      broken.hardError = true;
      broken.reason = SystemText(GetLastError());
      return broken;
    }
    count = std::min<size_t>(count, status.cbInQue);
    if (count == 0) return {};
  }
  return Transfer(false, buffer, count);
}

bool WinSerialDevice::PurgeInput() {
  return handle_ != INVALID_HANDLE_VALUE && PurgeComm(handle_, PURGE_RXCLEAR) != FALSE;
}

}  // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<WinSerialDevice>(); }

std::vector<std::string> CandidatePortNames() {
  std::vector<std::string> names;
  names.reserve(255);
  for (int n = 1; n <= 255; ++n) names.push_back("COM" + std::to_string(n));
  return names;
}

// COM names are the stable ones already.
std::string StablePortName(const std::string&, const std::string&) { return {}; }

}  // namespace vorn::platform
