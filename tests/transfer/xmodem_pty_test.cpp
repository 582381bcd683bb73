// Uploads through a real pseudo-terminal to the virtual controller.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "link/gui_invoker.h"
#include "link/serial_port.h"
#include "scripted_port.h"
#include "sim/virtual_controller.h"
#include "temp_files.h"
#include "transfer/put_command.h"
#include "transfer/xmodem_sender.h"

namespace vorn::test {
namespace {

class XModemPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
  }

  int Upload(const std::string& source, const std::string& target) {
    SerialPort port(sim.PortPath());
    EXPECT_TRUE(port.Open());
    ConfigureControllerLine(port);
    port.SetTimeouts(500);
    int outcome;
    {
      TThreadXModem thread(gui);
      thread.Port = &port;
      thread.Terminal = &pane;
      thread.SourcePath = source;
      thread.TargetPath = target;
      thread.Resume();
      while (thread.Outcome == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      outcome = thread.Outcome;
    }
    port.Close();
    return outcome;
  }

  vsim::VirtualController sim;
  TempDir dir;
  RecordingPane pane;
  DirectInvoker gui;
};

TEST_F(XModemPtyTest, HundredKilobytesArriveWithTheirFill) {
  std::string data(100000, '\0');
  uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  ASSERT_EQ(Upload(dir.File("BIG.BIN", data), "D:\\BIG.BIN"), 0);
  std::string stored;
  ASSERT_TRUE(sim.ReadFile("D:\\BIG.BIN", &stored));
  const size_t padded = (data.size() + 127) / 128 * 128;
  ASSERT_EQ(stored.size(), padded);
  EXPECT_TRUE(stored.compare(0, data.size(), data) == 0);
  EXPECT_EQ(stored.substr(data.size()), std::string(padded - data.size(), '\0'));
  EXPECT_EQ(pane.lines.at(0), "C:\\transfer /R D:\\BIG.BIN");
  EXPECT_EQ(pane.lines.at(2), "<<Get ACK for EOT>>");
}

// On a line that flips one bit in ten thousand, both ways: every upload
// either stores exactly the file or fails, never stores it damaged.
TEST(XModemNoisyLine, TheFileArrivesExactlyOrTheUploadFails) {
  const char* seedsEnv = std::getenv("VORN_NOISE_SEEDS");
  const int seeds = seedsEnv ? std::atoi(seedsEnv) : 4;
  const size_t size = seedsEnv ? 20000 : 8000;
  std::string data(size, '\0');
  uint32_t x = 99;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  TempDir dir;
  const std::string source = dir.File("NOISY.BIN", data);
  int stored = 0, failed = 0, damaged = 0;
  for (int seed = 1; seed <= seeds; ++seed) {
    vsim::Options options;
    options.noiseRate = 1e-4;
    options.noiseSeed = static_cast<uint64_t>(seed);
    vsim::VirtualController sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    SerialPort port(sim.PortPath());
    ASSERT_TRUE(port.Open());
    ConfigureControllerLine(port);
    port.SetTimeouts(500);
    RecordingPane pane;
    DirectInvoker gui;
    int outcome;
    {
      TThreadXModem thread(gui);
      thread.Port = &port;
      thread.Terminal = &pane;
      thread.SourcePath = source;
      thread.TargetPath = "D:\\NOISY.BIN";
      thread.Resume();
      while (thread.Outcome == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      outcome = thread.Outcome;
    }
    port.Close();
    std::string content;
    const bool there = sim.ReadFile("D:\\NOISY.BIN", &content);
    const bool exact = there && content.size() >= data.size() && content.compare(0, data.size(), data) == 0;
    if (outcome == 0 && exact) ++stored;
    else if (outcome != 0) ++failed;
    else ++damaged;
    EXPECT_TRUE(outcome != 0 || exact) << "seed " << seed << ": reported stored, but damaged";
  }
  std::printf("noisy uploads: %d stored exactly, %d failed, %d damaged\n", stored, failed, damaged);
  EXPECT_GT(stored, 0);
}

TEST_F(XModemPtyTest, ReceiverThatCancelsFailsTheUpload) {
  auto options = sim.GetOptions();
  options.transfer = vsim::TransferMode::CanAfterFirstBlock;
  sim.SetOptions(options);
  EXPECT_EQ(Upload(dir.File("C.BIN", std::string(1000, 'c')), "D:\\C.BIN"), -1);
  EXPECT_FALSE(sim.Exists("D:\\C.BIN"));
}

TEST_F(XModemPtyTest, PutCommandUploadsIntoADirectory) {
  ASSERT_TRUE(sim.MakeDir("D:\\UPL"));
  std::ostringstream err;
  const int code = RunPut(sim.PortPath(), HostPortFactory(),
                          {dir.File("ONE.TXT", "first"), dir.File("TWO.TXT", "second"), "--to", "\\UPL"}, pane, err);
  EXPECT_EQ(code, 0) << err.str();
  std::string content;
  ASSERT_TRUE(sim.ReadFile("D:\\UPL\\TWO.TXT", &content));
  EXPECT_EQ(content.substr(0, 6), "second");
  EXPECT_TRUE(sim.Exists("D:\\UPL\\ONE.TXT"));
}

}  // namespace
}  // namespace vorn::test
