#include "link/terminal_output.h"

#include "platform/host.h"

namespace vorn {

namespace {
constexpr uint8_t kNul = 0;
constexpr uint8_t kBell = 7;
constexpr uint8_t kBackspace = 8;
constexpr uint8_t kLineFeed = 10;
constexpr uint8_t kReturn = 13;
}  // namespace

// ---------------------------------------------------------------- TerminalPrinter

TerminalPrinter::TerminalPrinter(PrinterHost& host) : host_(host) {}

bool TerminalPrinter::Turn(std::optional<uint8_t> byte) {
  if (byte) {
    const uint8_t b = *byte;
    // A fill byte: a dumb terminal shows nothing for it, and text after it on
    // the same line must still appear.
    if (b == kNul) return true;
    if (pendingReturns_ > 0) {
      if (b == kLineFeed) {
        // CR LF (and CR CR LF) ends the line; no freeze check in between.
        if (!CommitLine()) return false;
        line_.clear();
        pendingReturns_ = 0;
        return true;
      }
      if (b == kReturn) return true;
      // CR followed by text: the controller rewrites the line from its start.
      if (!Simple(&TerminalView::ClearCurrentLine)) return false;
      line_.clear();
      pendingReturns_ = 0;
    }
    switch (b) {
      case kBackspace:
        if (!line_.empty()) {
          line_.pop_back();
        } else if (!Simple(&TerminalView::EraseLastChar)) {
          return false;
        }
        break;
      case kLineFeed:
        if (!CommitLine()) return false;
        line_.clear();
        pendingReturns_ = 0;
        break;
      case kReturn:
        ++pendingReturns_;
        break;
      case kBell:
        host_.Bell();
        break;
      default:
        if (static_cast<int>(line_.size()) < kChunkChars) {
          line_.push_back(static_cast<char>(b));
        } else {
          if (!AppendChunk()) return false;
          line_.assign(1, static_cast<char>(b));
          ++burstLines_;
        }
        break;
    }
  } else {
    if (!line_.empty() && idleCount_ < kIdlePolls) {
      ++idleCount_;
      return host_.Wait(kIdlePollMs);
    }
    if (!line_.empty()) {
      // A lull with text pending (a prompt, typically): show it without a line
      // end. A return already received stays pending, so text that follows it
      // still rewrites the line (progress counters print "n percent\r").
      if (!AppendChunk()) return false;
      line_.clear();
      idleCount_ = 0;
    }
    burstLines_ = 0;
    if (!host_.Wait(kIdleMs)) return false;
  }
  return FreezeCheck();
}

void TerminalPrinter::ReleasePane(TerminalView& pane) {
  if (!paneFrozen_) return;
  pane.Thaw();
  paneFrozen_ = false;
}

bool TerminalPrinter::AppendChunk() {
  const std::string text = line_;
  return host_.ChangePane([&](TerminalView& pane) { pane.AppendToLastLine(text); });
}

bool TerminalPrinter::CommitLine() {
  const std::string text = line_;
  const bool ok = host_.ChangePane([&](TerminalView& pane) {
    // A pane cleared (or written to) by someone else since this printer's
    // last line no longer ends with the saved lines: a trim must not bring
    // them back.
    if (pane.LineCount() != paneLines_) savedLines_.clear();
    pane.AppendToLastLine(text);
    std::string completed = pane.LastLine();
    pane.AddLine();
    const int n = pane.LineCount();
    // Keep copies of the newest lines, so a trim can rebuild the pane from them
    // in one go instead of deleting line by line.
    if (n > MaxLines / 2) savedLines_.push_back(std::move(completed));
    if (n > MaxLines) {
      savedLines_.emplace_back();
      pane.SetLines(savedLines_);
      savedLines_.clear();
    }
    paneLines_ = pane.LineCount();
  });
  if (ok) ++burstLines_;
  return ok;
}

bool TerminalPrinter::Simple(void (TerminalView::*op)()) {
  return host_.ChangePane([op](TerminalView& pane) { (pane.*op)(); });
}

bool TerminalPrinter::FreezeCheck() {
  if (!frozen_ && burstLines_ > FreezeAfter) {
    if (!host_.ChangePane([this](TerminalView& pane) {
          pane.Freeze();
          paneFrozen_ = true;
        }))
      return false;
    frozen_ = true;
  } else if (frozen_ && (burstLines_ > ThawAfter || burstLines_ == 0)) {
    // Redraw once in a while during a long burst, and at once when it ends.
    if (!host_.ChangePane([this](TerminalView& pane) {
          pane.Thaw();
          paneFrozen_ = false;
        }))
      return false;
    frozen_ = false;
    burstLines_ = FreezeAfter;
    return host_.Wait(kThawMs);
  }
  return true;
}

// ---------------------------------------------------------------- VornComReceiver

VornComReceiver::VornComReceiver(GuiInvoker& gui, ByteRing& ring) : WorkerThread(gui), ring_(ring) {}

VornComReceiver::~VornComReceiver() { Stop(); }

void VornComReceiver::Execute() {
  int counter = 0;
  while (!Terminated()) {
    uint8_t received = 0;
    bool gotByte = false;
    // The port belongs to the GUI thread, which also writes the user's keys.
    if (!Synchronize([&] {
          Port* port = port_.load();
          gotByte = port != nullptr && port->ReadExact(&received, 1);
        }))
      return;
    if (gotByte) {
      ring_.Put(received);
      if (counter < kBurstBytes - 1) {
        ++counter;
      } else {
        // Give the GUI thread room during a long burst.
        counter = 0;
        if (!Sleep(kBreatherMs)) return;
      }
    } else if (!Sleep(kEmptyPollMs)) {
      return;
    }
  }
}

// ---------------------------------------------------------------- VornPrinterThread

VornPrinterThread::VornPrinterThread(GuiInvoker& gui, ByteRing& ring, TerminalView& pane)
    : WorkerThread(gui), BellSound([] { platform::Beep(1000, 100); }), ring_(ring), pane_(pane), printer_(*this) {}

VornPrinterThread::~VornPrinterThread() { Stop(); }

void VornPrinterThread::Execute() {
  while (CheckPoint()) {
    uint8_t b = 0;
    std::optional<uint8_t> byte;
    if (ring_.Get(b)) byte = b;
    if (!printer_.Turn(byte)) return;
  }
}

void VornPrinterThread::OnSuspend() { printer_.ReleasePane(pane_); }

bool VornPrinterThread::ChangePane(const std::function<void(TerminalView&)>& change) {
  return Synchronize([&] { change(pane_); });
}

bool VornPrinterThread::Wait(int ms) { return Sleep(ms); }

void VornPrinterThread::Bell() {
  if (BellSound) BellSound();
}

}  // namespace vorn
