// The upload's reading of the receiver: the NAK that starts it, the answer
// to every block (ACK, NAK, CAN or anything else), the EOT's answer and the
// lines up to the prompt.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_line.h"
#include "link/gui_invoker.h"
#include "transfer/upload_loop.h"
#include "transfer/xmodem_sender.h"

// The protocol's pauses are real time; under the fuzzer they would be nearly
// all of it. The link step swaps WorkerThread::Sleep for this, which keeps its
// termination check without the wait.
extern "C" bool __real__ZN4vorn12WorkerThread5SleepEi(vorn::WorkerThread* self, int ms);
extern "C" bool __wrap__ZN4vorn12WorkerThread5SleepEi(vorn::WorkerThread* self, int) {
  return __real__ZN4vorn12WorkerThread5SleepEi(self, 0);
}

namespace {

constexpr size_t kSizes[] = {0, 1, 128, 300};

struct SourceFiles {
  SourceFiles() {
    for (size_t n = 0; n < 4; ++n) {
      paths[n] = (std::filesystem::temp_directory_path() /
                  ("vorn-fuzz-upload-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".dat"))
                     .string();
      std::FILE* f = std::fopen(paths[n].c_str(), "wb");
      FUZZ_CHECK(f);
      for (size_t i = 0; i < kSizes[n]; ++i) std::fputc(static_cast<int>(i * 13 + 1), f);
      FUZZ_CHECK(std::fclose(f) == 0);
    }
  }
  ~SourceFiles() {
    for (const std::string& p : paths) std::remove(p.c_str());
  }
  std::string paths[4];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  static SourceFiles sources;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  auto line = std::make_shared<fuzz::Line>();
  line->echo = mode & 4 ? fuzz::Line::Echo::None : fuzz::Line::Echo::FirstLine;
  line->pending = fuzz::DecodeStream(data + 1, size - 1);

  DirectInvoker gui;
  fuzz::CountingPane pane;
  std::unique_ptr<Port> port = OpenUploadPort(fuzz::Factory(line), "FUZZ");
  FUZZ_CHECK(port);
  int outcome = 1;
  {
    TThreadXModem thread(gui);
    thread.Port = port.get();
    thread.Terminal = &pane;
    thread.SourcePath = sources.paths[mode % 4];
    thread.TargetPath = "D:\\PROG.EXE";
    thread.Resume();
    thread.WaitFor();
    outcome = thread.Outcome;
  }
  port->Close();
  FUZZ_CHECK(outcome == 0 || outcome == -1);
  if (outcome != 0) return 0;

  // Success means the receiver acknowledged every block: the byte read right
  // after a block's checksum went out was an ACK.
  const size_t blocks = (kSizes[mode % 4] + xmodem::kBlockData - 1) / xmodem::kBlockData;
  std::vector<bool> acknowledged(blocks, false);
  int number = -1;          // the block whose bytes are going out
  bool awaitAnswer = false;  // its checksum went out, the answer is next
  size_t piece = 0;          // writes of the block so far
  for (const auto& e : line->events) {
    if (e.write) {
      awaitAnswer = false;
      if (e.bytes.size() == 1 && e.bytes[0] == xmodem::SOH && piece == 0) {
        piece = 1;
      } else if (piece == 1 && e.bytes.size() == 1) {
        number = e.bytes[0];
        piece = 2;
      } else if (piece >= 2 && piece < 4) {
        ++piece;
      } else if (piece == 4 && e.bytes.size() == 1) {
        awaitAnswer = true;
        piece = 0;
      } else {
        piece = 0;
      }
      continue;
    }
    if (awaitAnswer && number >= 1 && static_cast<size_t>(number) <= blocks && e.bytes[0] == xmodem::ACK)
      acknowledged[static_cast<size_t>(number) - 1] = true;
    awaitAnswer = false;
  }
  for (size_t i = 0; i < blocks; ++i) FUZZ_CHECK(acknowledged[i]);
  return 0;
}
