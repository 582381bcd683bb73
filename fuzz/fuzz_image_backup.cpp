// The backup's block reader: 8 data bytes and a CRC per block as the
// controller's image reader streams them, damaged or not, out of step or
// cut. The first two input bytes put good blocks before the rest: a few
// (first byte below 0xFF), or all but the last up to 63, so that a whole
// image is reached too.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_line.h"
#include "image/crc16.h"
#include "image/kaprin_threads.h"
#include "link/gui_invoker.h"

// The 500 ms pause before a block is asked for again is a real sleep; the
// link step swaps it for none, as in the upload target.
extern "C" bool __real__ZN4vorn12WorkerThread5SleepEi(vorn::WorkerThread* self, int ms);
extern "C" bool __wrap__ZN4vorn12WorkerThread5SleepEi(vorn::WorkerThread* self, int) {
  return __real__ZN4vorn12WorkerThread5SleepEi(self, 0);
}

namespace {

const std::string kEarlier = "an earlier image";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Folder {
  Folder() {
    path = (std::filesystem::temp_directory_path() / ("vorn-fuzz-backup-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  static Folder folder;
  if (size < 2) return 0;
  constexpr uint32_t kBlocks = kImageSize / 8;
  const uint32_t good = data[0] < 0xFF ? data[0] % 16 : kBlocks - data[1] % 64;

  auto line = std::make_shared<fuzz::Line>();
  line->echo = fuzz::Line::Echo::FirstLine;
  line->atEnd = fuzz::Line::AtEnd::Lost;  // the thread waits for ever on a silent line
  line->pending.push_back(fuzz::kPause);  // the drain before the command
  for (uint32_t i = 0; i < good; ++i) {
    uint8_t block[10];
    for (uint32_t k = 0; k < 8; ++k) block[k] = static_cast<uint8_t>(i * 8 + k);
    AppendCrc16(block, 8);
    line->pending.insert(line->pending.end(), block, block + 10);
  }
  const auto rest = fuzz::DecodeStream(data + 2, size - 2);
  line->pending.insert(line->pending.end(), rest.begin(), rest.end());

  // What the host accepted: the last ten bytes read before each "111".
  std::string accepted, lastRead;
  line->onRead = [&](const uint8_t* bytes, size_t count) {
    lastRead.append(reinterpret_cast<const char*>(bytes), count);
    if (lastRead.size() > 10) lastRead.erase(0, lastRead.size() - 10);
  };
  line->onWrite = [&](const uint8_t* bytes, size_t count) {
    if (count == 5 && bytes[0] == '1' && bytes[1] == '1' && bytes[2] == '1' && lastRead.size() == 10)
      accepted += lastRead.substr(0, 8);
  };

  const std::string image = folder.path + "/drive.img";
  {
    std::ofstream(image, std::ios::binary) << kEarlier;
  }
  DirectInvoker gui;
  fuzz::CountingPane pane;
  {
    VornKaprinThread thread(gui);
    thread.PortName = "FUZZ";
    thread.ImagePath = image;
    thread.Factory = fuzz::Factory(line);
    thread.Terminal = &pane;
    thread.Resume();
    thread.WaitFor();
    FUZZ_CHECK(thread.Done);
    FUZZ_CHECK(thread.Succeeded || !thread.ErrorText.empty());
    if (thread.Succeeded) {
      // The image holds exactly the blocks accepted, and all of them.
      FUZZ_CHECK(accepted.size() == kImageSize);
      FUZZ_CHECK(Slurp(image) == accepted);
    } else {
      // A failed backup leaves the earlier image as it was.
      FUZZ_CHECK(Slurp(image) == kEarlier);
    }
  }
  // Nothing of this run is left beside the image.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path)) files += entry.is_regular_file();
  FUZZ_CHECK(files == 1);
  return 0;
}
