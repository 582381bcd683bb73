#pragma once
// The terminal's output: a receive thread that polls the port into the byte
// ring, and a printer thread that assembles lines from the ring and shows them
// in the terminal pane like a dumb terminal. The line assembly itself is
// window-free and thread-free (TerminalPrinter), so it can be driven directly.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/byte_ring.h"
#include "link/port.h"
#include "link/worker_thread.h"

namespace vorn {

// The terminal pane as the printer sees it: a list of text lines whose last one
// is the current line, the one output goes to. An empty pane counts as one
// empty line, so LineCount is never below 1. Every call comes on the GUI thread.
class TerminalView {
 public:
  virtual ~TerminalView() = default;
  virtual int LineCount() const = 0;
  virtual std::string LastLine() const = 0;
  virtual void AppendToLastLine(const std::string& text) = 0;
  virtual void AddLine() = 0;           // a new empty last line
  virtual void ClearCurrentLine() = 0;  // the last line becomes empty
  virtual void EraseLastChar() = 0;     // of the last line, when it has one
  virtual void Clear() = 0;             // leaves one empty line
  // Replaces the whole text; the last given line becomes the current one.
  virtual void SetLines(const std::vector<std::string>& lines) = 0;
  // Stop and restart redrawing during bursts. They do not nest: one Thaw undoes
  // any number of Freeze calls.
  virtual void Freeze() = 0;
  virtual void Thaw() = 0;
};

// The pane as plain data: for tests, and as the logic behind a real pane.
class PaneModel : public TerminalView {
 public:
  int LineCount() const override { return static_cast<int>(lines_.size()); }
  std::string LastLine() const override { return lines_.back(); }
  void AppendToLastLine(const std::string& text) override { lines_.back() += text; }
  void AddLine() override { lines_.emplace_back(); }
  void ClearCurrentLine() override { lines_.back().clear(); }
  void EraseLastChar() override {
    if (!lines_.back().empty()) lines_.back().pop_back();
  }
  void Clear() override { lines_.assign(1, std::string()); }
  void SetLines(const std::vector<std::string>& lines) override {
    lines_ = lines;
    if (lines_.empty()) lines_.emplace_back();
  }
  void Freeze() override { frozen_ = true; }
  void Thaw() override { frozen_ = false; }

  const std::vector<std::string>& Lines() const { return lines_; }
  bool Frozen() const { return frozen_; }

 private:
  std::vector<std::string> lines_{std::string()};
  bool frozen_ = false;
};

// What the line assembly needs from around it.
class PrinterHost {
 public:
  virtual ~PrinterHost() = default;
  // Applies change to the pane on the GUI thread and waits for it. False when
  // the printer has to stop.
  virtual bool ChangePane(const std::function<void(TerminalView&)>& change) = 0;
  // Sleeps ms milliseconds. False when the printer has to stop.
  virtual bool Wait(int ms) = 0;
  virtual void Bell() = 0;
};

// Assembles the bytes the controller prints into lines of the pane: CR, LF,
// backspace and bell work as on a dumb terminal, pending text goes out in
// 80-character chunks or after a short lull, redrawing is suspended during
// long bursts, and the pane is trimmed to a bounded number of lines.
class TerminalPrinter {
 public:
  static constexpr int kChunkChars = 80;   // pending characters of the current line
  static constexpr int kIdlePolls = 5;     // empty polls before pending text is shown
  static constexpr int kIdlePollMs = 5;
  static constexpr int kIdleMs = 50;
  static constexpr int kThawMs = 20;

  explicit TerminalPrinter(PrinterHost& host);

  int MaxLines = 512;    // the pane's line limit
  int FreezeAfter = 24;  // burst size above which the pane stops redrawing
  int ThawAfter = 72;    // burst size above which it redraws again

  // One turn of the printer loop with what the ring gave (nullopt: nothing).
  // False when the host said stop.
  bool Turn(std::optional<uint8_t> byte);
  // On the GUI thread, while no step of this printer can run (paused): thaws
  // the pane if this printer left it frozen, so the pane is not stuck without
  // redraw while the terminal is off. The printer's own frozen flag stays as it
  // was and is settled by the next thaw check.
  void ReleasePane(TerminalView& pane);

  // Line state, kept across pauses.
  const std::string& PendingText() const { return line_; }
  int PendingReturns() const { return pendingReturns_; }
  int IdleCount() const { return idleCount_; }
  int BurstLines() const { return burstLines_; }
  bool Frozen() const { return frozen_; }
  const std::vector<std::string>& SavedLines() const { return savedLines_; }

 private:
  bool AppendChunk();
  bool CommitLine();
  bool Simple(void (TerminalView::*op)());
  bool FreezeCheck();

  PrinterHost& host_;
  // Pending characters of the current line, at most kChunkChars.
  std::string line_;
  int pendingReturns_ = 0;
  int idleCount_ = 0;
  int burstLines_ = 0;
  bool frozen_ = false;
  // Whether the pane itself is frozen by this printer; only touched on the GUI
  // thread (in pane steps and ReleasePane).
  bool paneFrozen_ = false;
  // The newest completed lines, kept for the next trim; used only inside pane
  // steps while the printer waits for them.
  std::vector<std::string> savedLines_;
  // The pane's line count after this printer's last line; -1 before it.
  int paneLines_ = -1;
};

// Polls the terminal's port one byte at a time (the read runs on the GUI
// thread) and stores each byte in the ring.
class VornComReceiver : public WorkerThread {
 public:
  static constexpr int kBurstBytes = 258;  // bytes between two breathers
  static constexpr int kBreatherMs = 30;
  static constexpr int kEmptyPollMs = 50;

  VornComReceiver(GuiInvoker& gui, ByteRing& ring);
  ~VornComReceiver() override;

  // The terminal's open port, not owned; set before each Resume that launches
  // the terminal. A missing port polls as empty.
  void SetPort(Port* port) { port_ = port; }

 protected:
  void Execute() override;

 private:
  ByteRing& ring_;
  std::atomic<Port*> port_{nullptr};
};

// Takes bytes out of the ring and shows them in the pane through
// TerminalPrinter; every pane change runs on the GUI thread.
class VornPrinterThread : public WorkerThread, private PrinterHost {
 public:
  VornPrinterThread(GuiInvoker& gui, ByteRing& ring, TerminalView& pane);
  ~VornPrinterThread() override;

  // Limits (MaxLines, FreezeAfter, ThawAfter) are set here before the first
  // Resume; the line state is read here by tests.
  TerminalPrinter& Printer() { return printer_; }
  // What a bell byte does; by default the host's speaker, 1000 Hz for 100 ms.
  std::function<void()> BellSound;

 protected:
  void Execute() override;
  void OnSuspend() override;

 private:
  bool ChangePane(const std::function<void(TerminalView&)>& change) override;
  bool Wait(int ms) override;
  void Bell() override;

  ByteRing& ring_;
  TerminalView& pane_;
  TerminalPrinter printer_;
};

}  // namespace vorn
