// KAPRINRD and KAPRINWR: the image programs the host uploads to D:\ and starts.
// KAPRINRD streams the whole drive in 8-byte blocks and repeats a block when
// the host answers "666"; KAPRINWR asks for 64-byte blocks with "111" ("444"
// after a damaged one), then replaces the drive with what it received. A
// refusal, and a drive written with damaged blocks, ends with a line that
// begins "KAPRINWR Error".
#include <algorithm>
#include <cstring>

#include "sim/console.h"
#include "sim/programs.h"
#include "sim/shell.h"

namespace vsim {
namespace {

constexpr size_t kReadBlock = 8;
constexpr size_t kWriteBlock = 64;
constexpr int kAnswerWaitMs = 10000;  // the host may pause 500 ms before a repeat request
constexpr int kInsideBlockMs = 1000;
constexpr int kSilentMs = 60000;      // how long a silenced program keeps the line

// CRC-16/MODBUS, written here again so the simulator checks the host's own.
uint16_t Crc(const uint8_t* data, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

void PutCrc(uint8_t* data, size_t n) {
  uint16_t crc = Crc(data, n);
  data[n] = crc & 0xFF;
  data[n + 1] = crc >> 8;
}

bool CrcOk(const uint8_t* data, size_t n) {
  uint16_t crc = Crc(data, n);
  return data[n] == (crc & 0xFF) && data[n + 1] == (crc >> 8);
}

int BitsApart(const uint8_t* a, const uint8_t* b, size_t n) {
  int bits = 0;
  for (size_t i = 0; i < n; ++i) bits += __builtin_popcount(unsigned(a[i] ^ b[i]));
  return bits;
}

// The host's answer, read through line noise: the two answers with their
// CRCs lie eighteen bits apart, so one a few flipped bits away from one of
// them is still that one. 0 when it is neither.
char DecodeAnswer(const uint8_t* answer) {
  constexpr int kMostFlips = 4;
  uint8_t accept[5], repeat[5];
  std::memcpy(accept, "111", 3);
  std::memcpy(repeat, "666", 3);
  PutCrc(accept, 3);
  PutCrc(repeat, 3);
  const int toAccept = BitsApart(answer, accept, 5);
  const int toRepeat = BitsApart(answer, repeat, 5);
  if (toAccept <= kMostFlips && toAccept < toRepeat) return '1';
  if (toRepeat <= kMostFlips && toRepeat < toAccept) return '6';
  return 0;
}

bool Listed(const std::vector<uint32_t>& blocks, uint32_t n) {
  return std::find(blocks.begin(), blocks.end(), n) != blocks.end();
}

// Keeps the line without a word, as a hung program would, until stopped or
// the host has said nothing for a long while.
void FallSilent(ProgramContext& ctx) {
  int quietMs = 0;
  while (!ctx.console.Stopping() && quietMs < kSilentMs) {
    uint8_t b;
    if (ctx.console.ReadByte(&b, 200))
      quietMs = 0;
    else
      quietMs += 200;
  }
}

// The blocks of a whole drive, or of its first part when asked to stop early.
uint32_t BlocksToServe(uint32_t driveBytes, const ImageOptions& opt, size_t blockSize) {
  const uint32_t bytes = opt.stopAfterBytes ? std::min(opt.stopAfterBytes, driveBytes) : driveBytes;
  return static_cast<uint32_t>(bytes / blockSize);
}

void RunImageRead(ProgramContext& ctx) {
  const std::vector<uint8_t> image = ctx.drive.Image();
  const ImageOptions opt = ctx.options().image;
  std::vector<uint32_t> badOnce = opt.badCrcBlocks;  // each spoilt the first time only
  const uint32_t count = BlocksToServe(static_cast<uint32_t>(image.size()), opt, kReadBlock);
  uint32_t n = 0;
  while (n < count && !ctx.console.Stopping()) {
    uint8_t block[kReadBlock + 2];
    std::memcpy(block, image.data() + n * kReadBlock, kReadBlock);
    PutCrc(block, kReadBlock);
    if (auto it = std::find(badOnce.begin(), badOnce.end(), n); it != badOnce.end()) {
      block[kReadBlock + 1] ^= 0x5A;
      badOnce.erase(it);
    }
    ctx.console.Write(block, sizeof block);

    uint8_t answer[5];
    if (ctx.console.Read(answer, 5, kAnswerWaitMs, kInsideBlockMs) != 5) {
      ctx.Line("");
      ctx.Line("KAPRINRD: no valid answer from the host, backup stopped at block " + std::to_string(n));
      return;
    }
    const bool intact = CrcOk(answer, 3);
    const char decoded = intact ? char(answer[0]) : DecodeAnswer(answer);
    if (!intact && decoded == 0) {
      ctx.Line("");
      ctx.Line("KAPRINRD: no valid answer from the host, backup stopped at block " + std::to_string(n));
      return;
    }
    if (intact ? std::memcmp(answer, "111", 3) == 0 : decoded == '1') {
      if (opt.silentAfter >= 0 && n == static_cast<uint32_t>(opt.silentAfter)) {
        FallSilent(ctx);
        return;
      }
      ++n;
    } else if (intact && std::memcmp(answer, "666", 3) != 0) {
      ctx.Line("");
      ctx.Line("KAPRINRD: unknown answer from the host, backup stopped at block " + std::to_string(n));
      return;
    }
  }
}

void RunImageWrite(ProgramContext& ctx) {
  const ImageOptions opt = ctx.options().image;
  const uint32_t whole = static_cast<uint32_t>(Drive::kImageSize / kWriteBlock);
  const uint32_t count = BlocksToServe(static_cast<uint32_t>(Drive::kImageSize), opt, kWriteBlock);
  std::vector<uint8_t> image;
  image.reserve(Drive::kImageSize);
  uint32_t damaged = 0;
  bool lastDamaged = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (ctx.console.Stopping()) return;
    if (opt.silentAfter >= 0 && i == static_cast<uint32_t>(opt.silentAfter) + 1) {
      FallSilent(ctx);
      return;
    }
    uint8_t request[5];
    const bool invalid = opt.invalidRequestAt >= 0 && i == static_cast<uint32_t>(opt.invalidRequestAt);
    std::memcpy(request, invalid ? "123" : lastDamaged ? "444" : "111", 3);
    PutCrc(request, 3);
    if (Listed(opt.badCrcBlocks, i)) request[4] ^= 0x5A;  // a request spoilt on the way
    ctx.console.Write(request, sizeof request);

    uint8_t block[kWriteBlock + 2];
    if (ctx.console.Read(block, sizeof block, kAnswerWaitMs, kInsideBlockMs) != sizeof block) {
      ctx.Line("");
      ctx.Line("KAPRINWR Error: no block from the host, restore stopped at block " + std::to_string(i));
      return;
    }
    lastDamaged = !CrcOk(block, kWriteBlock);
    if (lastDamaged) ++damaged;
    image.insert(image.end(), block, block + kWriteBlock);
  }
  ctx.console.Drain(50, 500);
  ctx.Line("");
  if (count < whole) {
    ctx.Line("KAPRINWR Error: stopped after " + std::to_string(count) + " blocks as asked, drive D: left unchanged");
    return;
  }
  if (!ctx.drive.Load(image)) {
    ctx.Line("KAPRINWR Error: the received image is not a drive, drive D: left unchanged");
    return;
  }
  ctx.shell.ResetDriveD();
  // Each block is written as it came: the drive now holds the damaged ones.
  if (damaged > 0) {
    ctx.Line("KAPRINWR Error: " + std::to_string(damaged) + " of " + std::to_string(count) +
             " blocks arrived damaged and were written as they came");
    return;
  }
  ctx.Line("KAPRINWR: " + std::to_string(count) + " blocks written, 0 arrived damaged");
}

}  // namespace

void AddImagePrograms(ProgramTable* table) {
  table->Add({"KAPRINRD.EXE", ProgramHome::DriveD, 0, {}, RunImageRead});
  table->Add({"KAPRINWR.EXE", ProgramHome::DriveD, 0, {}, RunImageWrite});
}

}  // namespace vsim
