// TRANSFER /R <path>: receives one file by XMODEM with 128-byte blocks and the
// arithmetic checksum, and stores it on D: with its fill bytes.
#include <chrono>

#include "sim/console.h"
#include "sim/programs.h"
#include "sim/shell.h"

namespace vsim {
namespace {

constexpr uint8_t SOH = 0x01;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t CAN = 0x18;

constexpr int kStartNaks = 60;          // one a second while the sender has not begun
constexpr int kBlockGapMs = 10000;      // waiting for the next block
constexpr int kInsideBlockMs = 1000;    // between two bytes of a block
constexpr int kMaxErrors = 10;          // consecutive bad blocks or time-outs

void Cancel(ProgramContext& ctx, const std::string& why) {
  // Two CANs: many senders ignore a single one as line noise.
  const uint8_t cans[2] = {CAN, CAN};
  ctx.console.Write(cans, 2);
  ctx.Line("");
  ctx.Line(why);
}

// Swallows everything and answers nothing, until the sender cancels, the line has been
// quiet for a minute, or the test switches the mode back.
void ReceiveSilently(ProgramContext& ctx) {
  int quietMs = 0;
  while (!ctx.console.Stopping() && quietMs < kStartNaks * 1000) {
    if (ctx.options().transfer != TransferMode::Silent) return;
    uint8_t b;
    if (ctx.console.ReadByte(&b, 200)) {
      quietMs = 0;
      if (b == CAN) {
        ctx.console.Drain(100, 1000);
        return;
      }
    } else {
      quietMs += 200;
    }
  }
}

}  // namespace

void RunTransfer(ProgramContext& ctx) {
  // Arguments: "/R" and the target path, in either order.
  bool receive = false;
  std::string target;
  std::string args = ctx.args;
  size_t i = 0;
  while (i < args.size()) {
    if (args[i] == ' ' || args[i] == '\t') {
      ++i;
      continue;
    }
    size_t j = args.find_first_of(" \t", i);
    if (j == std::string::npos) j = args.size();
    std::string word = args.substr(i, j - i);
    i = j;
    if (Upper(word) == "/R") {
      receive = true;
    } else if (target.empty()) {
      target = word;
    }
  }
  if (!receive || target.empty()) {
    ctx.Line("Usage: TRANSFER /R <drive:\\path\\file>");
    return;
  }

  // Why the file could not be stored; told to the sender at the first block.
  std::string refusal;
  char drive;
  DrivePath path;
  if (!ctx.shell.ResolvePath(target, &drive, &path) || path.empty()) {
    refusal = "Invalid file name - transfer aborted";
  } else if (drive == 'C') {
    refusal = "Drive C is read-only - transfer aborted";
  } else {
    DrivePath dir(path.begin(), path.end() - 1);
    DirEntry e;
    if (!ctx.drive.IsDirectory(dir)) {
      refusal = "Target directory not found - transfer aborted";
    } else if (ctx.drive.Stat(path, &e) == FsError::None && e.isDir) {
      refusal = "Access denied, target is a directory - transfer aborted";
    }
  }

  const TransferMode mode = ctx.options().transfer;
  if (mode == TransferMode::Silent) {
    ReceiveSilently(ctx);
    return;
  }

  Console& con = ctx.console;
  std::string data;
  uint8_t expected = 1;
  int blocks = 0;
  int errors = 0;
  int startNaks = 1;
  con.WriteByte(NAK);

  auto fail = [&](const std::string& why) {
    con.Drain(100, 2000);
    Cancel(ctx, why);
  };
  // A bad or missing block: ask again, unless the sender has had enough chances.
  auto nak = [&]() -> bool {
    con.WriteByte(NAK);
    if (++errors < kMaxErrors) return true;
    fail("Too many errors - transfer aborted");
    return false;
  };

  for (;;) {
    uint8_t b;
    if (!con.ReadByte(&b, blocks == 0 && errors == 0 ? 1000 : kBlockGapMs)) {
      if (con.Stopping()) return;
      if (blocks == 0 && errors == 0) {
        if (startNaks >= kStartNaks) {
          ctx.Line("");
          ctx.Line("No data received - transfer aborted");
          return;
        }
        ++startNaks;
        con.WriteByte(NAK);
        continue;
      }
      if (!nak()) return;
      continue;
    }

    if (b == EOT) {
      if (ctx.options().transfer == TransferMode::EotUnanswered) {
        // The sender's further EOTs are swallowed before the prompt comes back.
        con.Drain(100, 2000);
        return;
      }
      if (!refusal.empty()) {
        Cancel(ctx, refusal);
        return;
      }
      con.WriteByte(ACK);
      if (ctx.drive.WriteFile(path, data, NowStamp()) != FsError::None) {
        ctx.Line("");
        ctx.Line("Write error - file not stored");
        return;
      }
      ctx.Line("");
      ctx.Line("Transfer complete, " + Thousands(data.size()) + " bytes received");
      return;
    }
    if (b == CAN) {
      con.Drain(100, 2000);
      ctx.Line("");
      ctx.Line("Transfer cancelled by the sender");
      return;
    }
    if (b != SOH) {
      // Out of step with the sender: let the line settle, then ask again.
      con.Drain(100, 2000);
      if (!nak()) return;
      continue;
    }

    uint8_t rest[131];  // number, complement, 128 data bytes, checksum
    if (con.Read(rest, sizeof rest, kInsideBlockMs, kInsideBlockMs) < sizeof rest) {
      if (con.Stopping()) return;
      if (!nak()) return;
      continue;
    }
    uint8_t sum = 0;
    for (int k = 2; k < 130; ++k) sum = uint8_t(sum + rest[k]);
    if (uint8_t(rest[0] ^ rest[1]) != 0xFF || sum != rest[130]) {
      con.Drain(50, 2000);
      if (!nak()) return;
      continue;
    }
    if (mode == TransferMode::NakEveryBlock) {
      if (!nak()) return;
      continue;
    }
    if (blocks > 0 && rest[0] == uint8_t(expected - 1)) {
      con.WriteByte(ACK);  // our ACK was lost; the block is already stored
      errors = 0;
      continue;
    }
    if (rest[0] != expected) {
      Cancel(ctx, "Block out of sequence - transfer aborted");
      return;
    }
    if (mode == TransferMode::CanAfterFirstBlock) {
      Cancel(ctx, "Transfer cancelled by the receiver");
      return;
    }
    if (!refusal.empty()) {
      Cancel(ctx, refusal);
      return;
    }
    if (!ctx.drive.CanStore(path, uint32_t(data.size() + 128))) {
      Cancel(ctx, "Insufficient disk space - transfer aborted");
      return;
    }
    data.append(reinterpret_cast<const char*>(rest + 2), 128);
    ++expected;
    ++blocks;
    errors = 0;
    con.WriteByte(ACK);
  }
}

}  // namespace vsim
