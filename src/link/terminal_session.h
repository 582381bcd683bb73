#pragma once
// The terminal while it talks to the controller: the port it holds open, the
// two output threads with the ring between them, and the bytes that the user's
// keys and pastes send. Window-free; the main window maps its keys, clipboard
// and colours onto it. Every call comes on the GUI thread of the invoker.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/byte_ring.h"
#include "link/exchange.h"
#include "link/port.h"
#include "link/terminal_output.h"

namespace vorn {

enum class TerminalKey { Left, Up, Right, Down, F1, F2, F3, F4 };

// Escape, "[" and A to D for the cursor keys; escape, "O" and P to S for F1 to F4.
std::array<uint8_t, 3> SpecialKeyBytes(TerminalKey key);

// Longest selection the pane copies to the clipboard, in characters.
constexpr size_t kCopyLimit = 1024;
// Most characters of the clipboard that one paste sends.
constexpr size_t kPasteLimit = 1023;

struct PasteByte {
  uint8_t byte;
  bool lineEnd;  // a host line end, sent as one carriage return after a pause
};
// What pasting text sends: its first kPasteLimit characters, with each CR LF,
// and each LF on its own, turned into one carriage return.
std::vector<PasteByte> PasteBytes(std::string_view text);

class TerminalSession {
 public:
  static constexpr int kLineEndPauseMs = 20;  // before a pasted line end
  static constexpr int kPastePaceMs = 10;     // after every pasted byte

  TerminalSession(GuiInvoker& gui, TerminalView& pane, PortFactory factory = HostPortFactory());
  // Ends the printer, then the receiver, then closes the port.
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  bool Running() const { return port_ != nullptr; }
  // The open port while the terminal runs, else null.
  Port* TerminalPort() const { return port_.get(); }

  // Opens the port, sets the controller's line with 1 ms time-outs and hands it
  // to the receiver. False, with nothing held, when it cannot be opened.
  bool Open(const std::string& comName);
  // Why the last Open failed, as one line for the user; empty when unknown.
  const std::string& OpenFailureReason() const { return openFailureReason_; }
  // Starts the receiver, then the printer, and wakes the shell with one
  // carriage return.
  void Start();
  // Pauses the printer, then the receiver, and closes the port.
  void Stop();

  // A key pressed in the pane; true when it was a cursor or function key and
  // has been sent (the pane then swallows it). Other keys, backspace among
  // them, arrive as characters in KeyPress.
  bool KeyDown(std::optional<TerminalKey> key);
  // A character typed in the pane, sent as one byte.
  void KeyPress(uint8_t ch);
  // Sends text as pasted, paced with wait(ms), which keeps the caller's events
  // (and with them the output threads' steps) going. Ends early when the
  // terminal is stopped meanwhile.
  void Paste(std::string_view text, const std::function<void(int ms)>& wait);

  // Cleared while a key is being sent, so a key arriving meanwhile is dropped.
  bool KeyGate = true;

  VornComReceiver& Receiver() { return *receiver_; }
  VornPrinterThread& Printer() { return *printer_; }

 private:
  void PauseThreads();
  void ResumeThreads();
  void SendSpecialKey(TerminalKey key);
  // Sends one byte with both threads paused around the write.
  void WritePaused(uint8_t byte, bool settleAfter);
  // A write discards what arrived and was not read yet; whatever the receiver
  // has not polled (the echo of the previous key, say) goes to the ring first
  // so nothing the controller printed is lost on screen.
  void SaveUnreadOutput();

  PortFactory factory_;
  std::unique_ptr<Port> port_;
  std::string openFailureReason_;
  std::unique_ptr<ByteRing> ring_;
  std::unique_ptr<VornComReceiver> receiver_;
  std::unique_ptr<VornPrinterThread> printer_;
};

}  // namespace vorn
