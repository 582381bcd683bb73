#include "transfer/xmodem_sender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "link/gui_invoker.h"
#include "receiver_script.h"
#include "scripted_port.h"
#include "temp_files.h"

namespace vorn::test {
namespace {

class XModemSenderTest : public ::testing::Test {
 protected:
  // Runs one upload to its end and returns the outcome.
  int Upload(const std::string& source, const std::string& target = "D:\\PROG.EXE") {
    TThreadXModem thread(gui);
    current = &thread;
    thread.Port = &port;
    thread.Terminal = &pane;
    thread.SourcePath = source;
    thread.TargetPath = target;
    thread.Resume();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (thread.Outcome == 1 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    percent = thread.Percent;
    echoed = thread.CommandEchoed;
    const int outcome = thread.Outcome;
    current = nullptr;
    return outcome;
  }

  // The writes after the command line's echo.
  std::vector<std::vector<uint8_t>> WritesAfterCommand() const {
    std::vector<std::vector<uint8_t>> out;
    bool after = false;
    for (const auto& w : port.writes) {
      if (after) out.push_back(w);
      if (w.size() == 1 && w[0] == '\r') after = true;
    }
    return out;
  }

  int CountWrites(const std::vector<uint8_t>& bytes) const {
    int n = 0;
    for (const auto& w : WritesAfterCommand()) n += w == bytes;
    return n;
  }

  const ReceiverScript::Upload& Received() const { return rx.uploads.at(0); }

  TempDir dir;
  ScriptedPort port;
  RecordingPane pane;
  DirectInvoker gui;
  ReceiverScript rx{port};
  TThreadXModem* current = nullptr;
  int percent = -1;
  bool echoed = false;
};

const std::vector<uint8_t> kEot{0x04};
const std::vector<uint8_t> kCancel(5, 0x18);

TEST_F(XModemSenderTest, EmptyFileSendsEotRightAfterTheFirstNak) {
  EXPECT_EQ(Upload(dir.File("EMPTY.DAT", "")), 0);
  EXPECT_TRUE(Received().blocks.empty());
  EXPECT_EQ(Received().eots, 1);
  EXPECT_EQ(percent, 0);
  EXPECT_EQ(Received().command, "C:\\transfer /R D:\\PROG.EXE\r");
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"C:\\transfer /R D:\\PROG.EXE", "<<Transferring File...>>",
                                                  "<<Get ACK for EOT>>"}));
}

TEST_F(XModemSenderTest, BlocksAreFilledWithZerosAndCarryTheByteSum) {
  std::string data(129, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
  ASSERT_EQ(Upload(dir.File("A.BIN", data.substr(0, 128))), 0);
  ASSERT_EQ(Received().blocks.size(), 1u);
  const auto& one = Received().blocks[0];
  EXPECT_EQ(one[0], 0x01);
  EXPECT_EQ(one[1], 1);
  EXPECT_EQ(one[2], 254);
  EXPECT_EQ(std::string(one.begin() + 3, one.begin() + 131), data.substr(0, 128));
  uint8_t sum = 0;
  for (int i = 0; i < 128; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  EXPECT_EQ(one[131], sum);
  EXPECT_EQ(percent, 100);

  rx.uploads.clear();
  ASSERT_EQ(Upload(dir.File("B.BIN", data)), 0);
  ASSERT_EQ(Received().blocks.size(), 2u);
  const auto& second = Received().blocks[1];
  EXPECT_EQ(second[1], 2);
  EXPECT_EQ(second[2], 253);
  EXPECT_EQ(second[3], static_cast<uint8_t>(data[128]));
  EXPECT_EQ(std::string(second.begin() + 4, second.begin() + 131), std::string(127, '\0'));
  EXPECT_EQ(second[131], static_cast<uint8_t>(data[128]));
  EXPECT_EQ(Received().data, data + std::string(127, '\0'));
}

TEST_F(XModemSenderTest, BlockNumberWrapsToZeroAfter255) {
  std::string data(256 * 128 + 1, 'v');
  ASSERT_EQ(Upload(dir.File("BIG.BIN", data)), 0);
  const auto& blocks = Received().blocks;
  ASSERT_EQ(blocks.size(), 257u);
  EXPECT_EQ(blocks[254][1], 255);
  EXPECT_EQ(blocks[254][2], 0x00);
  EXPECT_EQ(blocks[255][1], 0x00);
  EXPECT_EQ(blocks[255][2], 0xFF);
  EXPECT_EQ(blocks[256][1], 0x01);
  EXPECT_EQ(Received().data.substr(0, data.size()), data);
  EXPECT_EQ(percent, 100);
}

TEST_F(XModemSenderTest, FailingReceiverEndsTheUploadWithoutEot) {
  // NAK every time: ten transmissions of the same block.
  rx.blockAnswer = [](int, int, int) { return 'N'; };
  EXPECT_EQ(Upload(dir.File("N.BIN", std::string(300, 'n'))), -1);
  ASSERT_EQ(Received().blocks.size(), 10u);
  for (const auto& b : Received().blocks) EXPECT_EQ(b, Received().blocks[0]);
  EXPECT_EQ(CountWrites(kEot), 0);
  EXPECT_EQ(CountWrites(kCancel), 1);  // the receiver must not be left waiting for the block
  EXPECT_EQ(pane.lines.back(), "Transfer aborted");  // what it printed after the cancel
  EXPECT_EQ(percent, 0);

  // CAN after the second block: at once, nothing more is sent.
  port.writes.clear();
  rx.uploads.clear();
  rx.blockAnswer = [](int, int block, int) { return block == 2 ? 'C' : 'A'; };
  EXPECT_EQ(Upload(dir.File("C.BIN", std::string(300, 'c'))), -1);
  EXPECT_EQ(Received().blocks.size(), 2u);
  EXPECT_EQ(CountWrites(kEot), 0);
  EXPECT_EQ(CountWrites(kCancel), 0);
  EXPECT_EQ(percent, 42);  // one acknowledged block of 300 bytes

  // Any other byte fails the same way.
  rx.uploads.clear();
  rx.blockAnswer = [](int, int, int) { return 'x'; };
  EXPECT_EQ(Upload(dir.File("X.BIN", std::string(10, 'x'))), -1);
  EXPECT_EQ(Received().blocks.size(), 1u);
}

// On a noisy line: an ACK or NAK with a flipped bit sends the block again
// (the receiver takes a repeat of its last block as one), and a lone CAN is
// no cancel from the receiver; neither ever counts as acknowledged.
TEST_F(XModemSenderTest, DamagedAnswersSendTheBlockAgainAndNeverCountAsAcknowledged) {
  struct Case {
    char answer;  // to the first transmission of block 2
    int outcome;
    size_t transmissions;
    int cancels;  // ours
  } const cases[] = {{'a', 0, 4, 0}, {'n', 0, 4, 0}, {'c', -1, 2, 1}, {'k', -1, 2, 1}, {'C', -1, 2, 0}};
  const std::string data(300, 'd');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    port.writes.clear();
    rx.uploads.clear();
    rx.blockAnswer = [&c](int, int block, int attempt) { return block == 2 && attempt == 1 ? c.answer : 'A'; };
    EXPECT_EQ(Upload(dir.File("D.BIN", data)), c.outcome);
    EXPECT_EQ(Received().blocks.size(), c.transmissions);
    EXPECT_EQ(CountWrites(kCancel), c.cancels);
    if (c.outcome == 0) EXPECT_EQ(Received().data, data + std::string(84, '\0'));
  }
}

TEST_F(XModemSenderTest, SilentReceiverGetsOneTransmissionAndTenReads) {
  rx.blockAnswer = [](int, int, int) { return '-'; };
  int readsBefore = 0;
  rx.onBlock = [&](int, int) { readsBefore = port.readExactCalls; };
  // Counted up to the cancel: the shell's lines after it are read byte by byte.
  int readsAtCancel = -1;
  const auto receiver = port.onWrite;
  port.onWrite = [&](const std::vector<uint8_t>& w) {
    if (readsAtCancel < 0 && w == std::vector<uint8_t>(5, 0x18)) readsAtCancel = port.readExactCalls;
    receiver(w);
  };
  EXPECT_EQ(Upload(dir.File("S.BIN", std::string(50, 's'))), -1);
  EXPECT_EQ(Received().blocks.size(), 1u);
  EXPECT_EQ(readsAtCancel - readsBefore, 10);
  EXPECT_EQ(CountWrites(kEot), 0);
}

TEST_F(XModemSenderTest, SilenceThenNakStillCountsAgainstTheTries) {
  // Nine silent reads used up the tries: the NAK on the tenth is not answered.
  int reads = 0;
  rx.blockAnswer = [](int, int, int) { return '-'; };
  rx.onBlock = [&](int, int) {
    for (int i = 0; i < 9; ++i) port.PushTimeout();
    port.PushByte(0x15);
    ++reads;
  };
  EXPECT_EQ(Upload(dir.File("T.BIN", std::string(50, 't'))), -1);
  EXPECT_EQ(reads, 1);
}

TEST_F(XModemSenderTest, CancelDuringTheBlocksSendsFiveCanAndNoEot) {
  rx.onBlock = [&](int, int block) {
    if (block == 3) current->CancelRequested = true;
  };
  EXPECT_EQ(Upload(dir.File("L.BIN", std::string(1000, 'l'))), -1);
  EXPECT_EQ(Received().blocks.size(), 3u);
  EXPECT_EQ(CountWrites(kCancel), 1);
  EXPECT_EQ(CountWrites(kEot), 0);
  // What the controller prints after the cancel is shown, the partial prompt is not.
  EXPECT_EQ(pane.lines.back(), "Transfer aborted");
  // The cancel is one write of exactly five bytes.
  EXPECT_EQ(WritesAfterCommand().back(), kCancel);
}

TEST_F(XModemSenderTest, TerminatingDuringTheBlocksCancelsTheReceiver) {
  // As when the owner destroys a running upload.
  rx.onBlock = [&](int, int block) {
    if (block == 2) current->Terminate();
  };
  EXPECT_EQ(Upload(dir.File("K.BIN", std::string(1000, 'k'))), -1);
  EXPECT_EQ(Received().blocks.size(), 2u);
  EXPECT_EQ(CountWrites(kCancel), 1);
  EXPECT_EQ(CountWrites(kEot), 0);
}

// Once the receiver has shown that it runs (its first NAK), every early end
// sends the cancel sequence, so the controller's shell is free again at once;
// before that, nothing is sent that could land in the shell's line.
TEST_F(XModemSenderTest, EarlyEndsCancelTheReceiverOnceItRuns) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* status;
    bool cancels;
  };
  const std::string file = dir.File("W.BIN", "abc");
  const Case cases[] = {
      {"cancel before the first NAK",
       [&] {
         rx.afterCommand = "";
         port.onWrite = [&, inner = port.onWrite](const std::vector<uint8_t>& w) {
           inner(w);
           if (w.size() == 1 && w[0] == '\r') current->CancelRequested = true;
         };
       },
       "<<Transferring cancelled...>>", false},
      {"no NAK at all", [&] { rx.afterCommand = "xyz"; },  // other bytes are dropped, not taken for a NAK
       "<<No ACK from VORN-7730M>>", false},
      {"file gone after the length check",
       [&] {
         port.onWrite = [&, inner = port.onWrite](const std::vector<uint8_t>& w) {
           inner(w);
           if (w.size() == 1 && w[0] == '\r') std::filesystem::remove(file);
         };
       },
       "<<Cannot Open Send File>>", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto plainWrite = port.onWrite;
    port.writes.clear();
    pane.lines.clear();
    c.arrange();
    EXPECT_EQ(Upload(file), -1);
    EXPECT_EQ(WritesAfterCommand(), c.cancels ? std::vector<std::vector<uint8_t>>{kCancel}
                                              : std::vector<std::vector<uint8_t>>{});
    EXPECT_NE(std::find(pane.lines.begin(), pane.lines.end(), c.status), pane.lines.end());
    port.onWrite = plainWrite;
    rx.afterCommand = "\x15";
  }
}

TEST_F(XModemSenderTest, EotIsRepeatedUntilAcknowledged) {
  rx.eotAnswers = "---------A";
  EXPECT_EQ(Upload(dir.File("E.BIN", "e")), 0);
  EXPECT_EQ(Received().eots, 10);
  EXPECT_EQ(pane.lines.back(), "<<Get ACK for EOT>>");

  // Never acknowledged: still a success, with the other line.
  rx.uploads.clear();
  pane.lines.clear();
  rx.eotAnswers = "N";
  EXPECT_EQ(Upload(dir.File("F.BIN", "f")), 0);
  EXPECT_EQ(Received().eots, 10);
  EXPECT_EQ(pane.lines.back(), "<<No ACK for EOT>>");
}

TEST_F(XModemSenderTest, LinesBeforeThePromptAreShownButNotThePrompt) {
  rx.afterEot = "\r\n1 file received\r\nD:\\DATA>";
  EXPECT_EQ(Upload(dir.File("P.BIN", "p")), 0);
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"C:\\transfer /R D:\\PROG.EXE", "<<Transferring File...>>",
                                                  "<<Get ACK for EOT>>", "1 file received"}));
}

TEST_F(XModemSenderTest, PromptWaitGivesUpAfterTenReads) {
  rx.afterEot = "";
  for (int i = 0; i < 12; ++i) rx.afterEot += "line " + std::to_string(i) + "\r";
  EXPECT_EQ(Upload(dir.File("Q.BIN", "q")), 0);
  EXPECT_EQ(pane.lines.back(), "line 9");
}

TEST_F(XModemSenderTest, WrongEchoStopsAfterTheCommandLine) {
  rx.echo = false;
  port.onWrite = [&, inner = port.onWrite](const std::vector<uint8_t>& w) {
    inner(w);
    if (w.size() == 1) port.Push(w[0] == '\b' ? "\b \b" : std::string(1, w[0] == 'C' ? 'c' : w[0]));
  };
  EXPECT_EQ(Upload(dir.File("R.BIN", "r")), -1);
  EXPECT_FALSE(echoed);
  // The rest of the line is not typed, and what the shell took is erased.
  EXPECT_EQ(port.writes, (std::vector<std::vector<uint8_t>>{{'C'}, {'\b'}}));
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"C:\\transfer /R D:\\PROG.EXE"}));
}

// The carriage return's echo came back damaged: the receiver may run. Its
// NAK at once lets the upload go on; without one the line is erased.
TEST_F(XModemSenderTest, DamagedEchoOfTheCarriageReturnWaitsBrieflyForTheReceiver) {
  struct Case {
    std::string afterCommand;
    int outcome;
    bool erased;
  } const cases[] = {{"\x15", 0, false}, {"", -1, true}};
  const auto receiver = port.onWrite;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    port.writes.clear();
    rx.uploads.clear();
    rx.echo = false;
    rx.afterCommand = c.afterCommand;
    port.onWrite = [&, inner = receiver](const std::vector<uint8_t>& w) {
      const bool typing = !rx.uploads.empty() && rx.uploads.back().command.find('\r') == std::string::npos;
      if (w.size() == 1 && (typing || rx.uploads.empty())) port.PushByte(w[0] == '\r' ? '\r' ^ 0x01 : w[0]);
      inner(w);
    };
    EXPECT_EQ(Upload(dir.File("E.BIN", "e")), c.outcome);
    const bool backspaces = std::count(port.writes.begin(), port.writes.end(), std::vector<uint8_t>{'\b'}) > 0;
    EXPECT_EQ(c.erased, backspaces);
  }
}

TEST_F(XModemSenderTest, TargetThatWouldBreakTheCommandLineIsNotTyped) {
  for (const std::string& target : {std::string("D:\\\rdel AUTOEXEC.BAT"), "D:\\" + std::string(120, 'L')}) {
    port.writes.clear();
    pane.lines.clear();
    EXPECT_EQ(Upload(dir.File("T.BIN", "t"), target), -1);
    EXPECT_TRUE(port.writes.empty());
    ASSERT_EQ(pane.lines.size(), 1u);
    EXPECT_EQ(pane.lines[0].rfind("Unable to send command 'C:\\transfer /R ", 0), 0u) << pane.lines[0];
  }
}

TEST_F(XModemSenderTest, MissingSourceOrPortSendsNothing) {
  EXPECT_EQ(Upload((std::filesystem::path(dir.path) / "NONE.BIN").string()), -1);
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"<<Cannot Open Send File>>"}));

#ifndef _WIN32
  // A FIFO without a writer: its open must not block the sender for good.
  const std::string fifo = (std::filesystem::path(dir.path) / "PIPE.BIN").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pane.lines.clear();
  EXPECT_EQ(Upload(fifo), -1);
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"<<Cannot Open Send File>>"}));
#endif

  TThreadXModem thread(gui);
  thread.Terminal = &pane;
  thread.SourcePath = dir.File("OK.BIN", "x");
  thread.Resume();
  while (thread.Outcome == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(thread.Outcome, -1);
  EXPECT_EQ(pane.lines.size(), 1u);
}

TEST_F(XModemSenderTest, StaleInputIsDrainedBeforeTheCommand) {
  port.Push(std::string(2000, '!'));
  EXPECT_EQ(Upload(dir.File("D.BIN", "d")), 0);
  EXPECT_EQ(port.readExactCalls > 1025, true);
  EXPECT_EQ(Received().command, "C:\\transfer /R D:\\PROG.EXE\r");
}

TEST(XModemBlock, ShortBlockIsFilledWithZeros) {
  const uint8_t data[3] = {0xFF, 0x02, 0x01};
  const auto block = xmodem::BuildBlock(0, data, 3);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[2], 0xFF);
  EXPECT_EQ(block[131], 0x02);  // 0xFF + 2 + 1 modulo 256
  for (int i = 6; i < 131; ++i) EXPECT_EQ(block[i], 0);
}

}  // namespace
}  // namespace vorn::test
