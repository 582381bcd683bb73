// The restore's request reader: what the controller's image writer asks for
// ("111" next block, "444" again, with a CRC), damaged or not, and its last
// words. The first two input bytes put good requests before the rest: a few
// (first byte below 0xFF), or all but the last up to 63 blocks, so that the
// end of a whole image is reached too without making every run that long.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_line.h"
#include "image/crc16.h"
#include "image/kaprin_threads.h"
#include "link/gui_invoker.h"

namespace {

// One image for the whole run; gone when the process ends normally.
struct ImageFile {
  ImageFile() : bytes(vorn::kImageSize) {
    for (uint32_t i = 0; i < vorn::kImageSize; ++i) bytes[i] = static_cast<uint8_t>(i * 7 ^ i >> 8);
    path = (std::filesystem::temp_directory_path() / ("vorn-fuzz-image-" + std::to_string(::getpid()) + ".img")).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(std::fclose(f) == 0);
  }
  ~ImageFile() { std::remove(path.c_str()); }
  std::vector<uint8_t> bytes;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  static ImageFile image;
  if (size < 2) return 0;
  constexpr uint32_t kBlocks = kImageSize / 64;
  const uint32_t good = data[0] < 0xFF ? data[0] % 16 : kBlocks - data[1] % 64;

  auto line = std::make_shared<fuzz::Line>();
  line->echo = fuzz::Line::Echo::FirstLine;
  line->atEnd = fuzz::Line::AtEnd::Lost;  // the thread waits for ever on a silent line
  uint8_t request[5] = {'1', '1', '1'};
  AppendCrc16(request, 3);
  for (uint32_t i = 0; i < good; ++i) line->pending.insert(line->pending.end(), request, request + 5);
  const auto rest = fuzz::DecodeStream(data + 2, size - 2);
  // Every block sent, checked as it goes: in order and exactly as in the file.
  uint32_t blocksSent = 0;
  bool blocksRight = true;
  line->onWrite = [&](const uint8_t* bytes, size_t count) {
    if (count != 66) return;
    blocksRight = blocksRight && blocksSent < kBlocks && std::memcmp(bytes, &image.bytes[blocksSent * 64], 64) == 0;
    ++blocksSent;
  };
  line->pending.insert(line->pending.end(), rest.begin(), rest.end());

  DirectInvoker gui;
  fuzz::CountingPane pane;
  {
    VornKaprinResThread thread(gui);
    thread.PortName = "FUZZ";
    thread.ImagePath = image.path;
    thread.Factory = fuzz::Factory(line);
    thread.Terminal = &pane;
    thread.Resume();
    thread.WaitFor();
    FUZZ_CHECK(thread.Done);
    // A failure always says why.
    FUZZ_CHECK(thread.Succeeded || !thread.ErrorText.empty());
    // Success means every block went out once, in order, exactly as in the file.
    if (thread.Succeeded) FUZZ_CHECK(blocksRight && blocksSent == kBlocks);
  }
  return 0;
}
