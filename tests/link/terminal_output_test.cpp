// The terminal's output: byte ring, line assembly against an in-memory pane,
// and the two threads end to end on a scripted port.
#include "link/terminal_output.h"

#include "link/manual_gui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// ---------------------------------------------------------------- ByteRing

TEST(ByteRingTest, KeepsTheNewestBytesInOrderWhenNobodyReads) {
  ByteRing ring;
  uint8_t b = 0;
  EXPECT_FALSE(ring.Get(b));
  for (int i = 0; i < 6000; ++i) EXPECT_TRUE(ring.Put(static_cast<uint8_t>(i % 251)));
  EXPECT_EQ(ring.Count(), 4095u);
  for (int i = 6000 - 4095; i < 6000; ++i) {
    ASSERT_TRUE(ring.Get(b));
    ASSERT_EQ(b, i % 251) << "byte " << i;
  }
  EXPECT_FALSE(ring.Get(b));
  // Still a plain queue after wrapping around.
  ring.Put(1);
  ring.Put(2);
  ASSERT_TRUE(ring.Get(b));
  EXPECT_EQ(b, 1);
  ASSERT_TRUE(ring.Get(b));
  EXPECT_EQ(b, 2);
  EXPECT_FALSE(ring.Get(b));
}

// ---------------------------------------------------------------- TerminalPrinter

class FakeHost : public PrinterHost {
 public:
  bool ChangePane(const std::function<void(TerminalView&)>& change) override {
    if (refuse) return false;
    ++changes;
    change(pane);
    return true;
  }
  bool Wait(int ms) override {
    waits.push_back(ms);
    return true;
  }
  void Bell() override { ++bells; }

  PaneModel pane;
  std::vector<int> waits;
  int bells = 0;
  int changes = 0;
  bool refuse = false;
};

class PrinterTest : public ::testing::Test {
 protected:
  void Feed(const std::string& bytes) {
    for (char c : bytes) ASSERT_TRUE(printer.Turn(static_cast<uint8_t>(c)));
  }
  void Idle(int polls) {
    for (int i = 0; i < polls; ++i) ASSERT_TRUE(printer.Turn(std::nullopt));
  }
  const Lines& PaneLines() const { return host.pane.Lines(); }

  FakeHost host;
  TerminalPrinter printer{host};
};

TEST_F(PrinterTest, LineEnds) {
  Feed("AB\r\n");
  EXPECT_EQ(PaneLines(), (Lines{"AB", ""}));
  Feed("CD\n");
  EXPECT_EQ(PaneLines(), (Lines{"AB", "CD", ""}));
  Feed("EF\r\r\nGH\r\n");
  EXPECT_EQ(PaneLines(), (Lines{"AB", "CD", "EF", "GH", ""}));
  EXPECT_EQ(printer.PendingReturns(), 0);
  EXPECT_TRUE(printer.PendingText().empty());
}

TEST_F(PrinterTest, ReturnThenTextRewritesTheLine) {
  Feed("abc\rd");
  EXPECT_EQ(printer.PendingText(), "d");
  Idle(6);
  EXPECT_EQ(PaneLines(), (Lines{"d"}));

  // Also when the old text already reached the pane.
  Feed("\rxy");
  Idle(6);
  EXPECT_EQ(PaneLines(), (Lines{"xy"}));

  // And when the lull comes between the return and the new text, as with a
  // progress counter that rewrites its line.
  Feed(" 10 percent\r");
  Idle(6);
  EXPECT_EQ(PaneLines(), (Lines{"xy 10 percent"}));
  Feed(" 20 percent\r");
  Idle(6);
  EXPECT_EQ(PaneLines(), (Lines{" 20 percent"}));
  Feed("\n");
  EXPECT_EQ(PaneLines(), (Lines{" 20 percent", ""})) << "the pending return still pairs with the line feed";
}

TEST_F(PrinterTest, LongTextGoesOutInChunksAndTheRestAfterALull) {
  const std::string text(85, 'x');
  Feed(text);
  EXPECT_EQ(PaneLines(), (Lines{std::string(80, 'x')}));
  EXPECT_EQ(printer.PendingText(), "xxxxx");
  EXPECT_EQ(printer.BurstLines(), 1);

  Idle(5);
  EXPECT_EQ(PaneLines(), (Lines{std::string(80, 'x')}));
  Idle(1);
  EXPECT_EQ(PaneLines(), (Lines{text})) << "no new line is started";
  EXPECT_EQ(host.waits, (std::vector<int>{5, 5, 5, 5, 5, 50}));
  EXPECT_EQ(printer.IdleCount(), 0);
  EXPECT_EQ(printer.BurstLines(), 0);
}

TEST_F(PrinterTest, EmptyPollsAddUpUntilAFlush) {
  Feed("A");
  Idle(3);
  Feed("\nB");  // the line end does not restart the count
  Idle(2);
  EXPECT_EQ(PaneLines(), (Lines{"A", ""}));
  Idle(1);
  EXPECT_EQ(PaneLines(), (Lines{"A", "B"}));
}

TEST_F(PrinterTest, Backspace) {
  Feed("xy\b");
  EXPECT_EQ(printer.PendingText(), "x");
  EXPECT_EQ(host.changes, 0);

  Idle(6);
  Feed("\b");
  EXPECT_EQ(PaneLines(), (Lines{""}));
  Feed("ab\n\b");
  EXPECT_EQ(PaneLines(), (Lines{"ab", ""})) << "an empty line stays as it is";
}

TEST_F(PrinterTest, BellSoundsAndShowsNothing) {
  Feed("a\ab");
  EXPECT_EQ(host.bells, 1);
  EXPECT_EQ(printer.PendingText(), "ab");
  EXPECT_EQ(host.changes, 0);
}

TEST_F(PrinterTest, ZeroBytesShowNothingAndHideNothing) {
  Feed(std::string("AB\0CD\r\0\n", 8));
  EXPECT_EQ(PaneLines(), (Lines{"ABCD", ""}));
  Feed(std::string(79, 'x') + std::string("\0y", 2));
  EXPECT_EQ(printer.PendingText(), std::string(79, 'x') + "y") << "a zero takes no place in the chunk";
}

TEST_F(PrinterTest, TrimKeepsTheNewestLines) {
  std::string longLine(100, 'w');
  for (int i = 1; i <= 511; ++i) Feed((i == 400 ? longLine : "L" + std::to_string(i)) + "\r\n");
  EXPECT_EQ(host.pane.LineCount(), 512);
  EXPECT_EQ(printer.SavedLines().size(), 256u);

  Feed("L512\r\n");
  const Lines& lines = PaneLines();
  ASSERT_EQ(lines.size(), 258u) << "257 saved lines and an empty current line";
  EXPECT_EQ(lines.front(), "L256");
  EXPECT_EQ(lines[400 - 256], longLine) << "the whole line, not the last chunk";
  EXPECT_EQ(lines[lines.size() - 2], "L512");
  EXPECT_EQ(lines.back(), "");
  EXPECT_TRUE(printer.SavedLines().empty());

  // From then on each trim keeps 255 lines.
  for (int i = 513; i <= 767; ++i) Feed("L" + std::to_string(i) + "\r\n");
  ASSERT_EQ(PaneLines().size(), 256u);
  EXPECT_EQ(PaneLines().front(), "L513");
}

TEST_F(PrinterTest, ClearedLinesDoNotComeBackAtTheNextTrim) {
  for (int i = 1; i <= 400; ++i) Feed("OLD" + std::to_string(i) + "\r\n");
  host.pane.Clear();  // the user's clear, or an exchange's at 300 lines
  for (int i = 1; i <= 520; ++i) Feed("NEW" + std::to_string(i) + "\r\n");
  for (const std::string& line : PaneLines()) ASSERT_EQ(line.rfind("OLD", 0), std::string::npos) << line;
  EXPECT_EQ(PaneLines()[PaneLines().size() - 2], "NEW520");
  EXPECT_LE(PaneLines().size(), 513u);
}

TEST_F(PrinterTest, LongBurstsFreezeThePaneAndThawItNowAndThen) {
  for (int i = 0; i < 25; ++i) Feed("ab\r\n");
  EXPECT_FALSE(host.pane.Frozen()) << "a line end after CR skips the check";
  Feed("a");
  EXPECT_TRUE(host.pane.Frozen());
  EXPECT_TRUE(printer.Frozen());

  for (int i = 0; i < 47; ++i) Feed("b\na");
  EXPECT_TRUE(host.pane.Frozen());
  Feed("b\n");  // the 73rd line of the burst
  EXPECT_FALSE(host.pane.Frozen());
  EXPECT_EQ(printer.BurstLines(), 24);
  EXPECT_EQ(host.waits, (std::vector<int>{20}));
  Feed("c\n");
  EXPECT_TRUE(host.pane.Frozen());

  host.waits.clear();
  Idle(1);  // the output pauses (nothing pending)
  EXPECT_FALSE(host.pane.Frozen());
  EXPECT_EQ(host.waits, (std::vector<int>{50, 20}));
}

TEST_F(PrinterTest, ReleasePaneThawsOnlyWhatThePrinterFroze) {
  PaneModel other;
  other.Freeze();
  printer.ReleasePane(other);
  EXPECT_TRUE(other.Frozen());

  for (int i = 0; i < 26; ++i) Feed("a\n");
  ASSERT_TRUE(host.pane.Frozen());
  printer.ReleasePane(host.pane);
  EXPECT_FALSE(host.pane.Frozen());
  EXPECT_TRUE(printer.Frozen());
  Idle(1);
  EXPECT_FALSE(printer.Frozen());
}

TEST_F(PrinterTest, StopsWhenTheHostRefusesAPaneChange) {
  Feed("abc");
  host.refuse = true;
  EXPECT_FALSE(printer.Turn('\n'));
  EXPECT_EQ(printer.PendingText(), "abc") << "line state is kept";
}

// ---------------------------------------------------------------- both threads

using test::ManualGui;

// Answers reads from a script; only ever used on the GUI thread.
class ScriptedPort : public Port {
 public:
  bool Open() override { return true; }
  bool Close() override { return true; }
  bool Configure(uint32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetTimeouts(uint32_t) override { return true; }
  uint32_t Timeout() const override { return 1; }
  using Port::Write;
  bool Write(const uint8_t*, size_t) override { return true; }
  bool ReadExact(uint8_t* buffer, size_t count) override {
    ++reads;
    if (input.size() < count) return false;
    for (size_t i = 0; i < count; ++i) {
      buffer[i] = input.front();
      input.pop_front();
    }
    return true;
  }
  bool ReadLine(size_t, std::string&) override { return false; }
  bool PurgeInput() override {
    input.clear();
    return true;
  }

  void Send(const std::string& text) { input.insert(input.end(), text.begin(), text.end()); }

  std::deque<uint8_t> input;
  int reads = 0;
};

class TerminalThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printer.BellSound = [this] { ++bells; };
    receiver.SetPort(&port);
  }
  void Launch() {
    receiver.Resume();
    printer.Resume();
  }
  void Pause() {
    printer.Suspend();
    receiver.Suspend();
  }

  ManualGui gui;
  ScriptedPort port;
  PaneModel pane;
  ByteRing ring;
  VornComReceiver receiver{gui, ring};
  VornPrinterThread printer{gui, ring, pane};
  std::atomic<int> bells{0};
};

TEST_F(TerminalThreadsTest, ShowsWhatTheControllerPrintsAndStaysStillWhilePaused) {
  port.Send("dir\r\nC:\\>\a");
  Launch();
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.Lines() == Lines{"dir", "C:\\>"}; }));
  EXPECT_TRUE(gui.PumpUntil([&] { return bells == 1; }));

  Pause();
  const int reads = port.reads;
  port.Send("\r\nmore\r\n");
  gui.PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(port.reads, reads) << "no port read while paused";
  EXPECT_EQ(pane.Lines(), (Lines{"dir", "C:\\>"}));

  Launch();
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.Lines() == Lines{"dir", "C:\\>", "more", ""}; }));
}

TEST_F(TerminalThreadsTest, PausingDuringABurstLeavesThePaneRedrawing) {
  // A burst already waiting in the ring: no empty poll ends it early.
  for (int i = 0; i < 40; ++i) {
    for (char c : "line " + std::to_string(i) + "\r\n") ring.Put(static_cast<uint8_t>(c));
  }
  Launch();
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.Frozen(); }));
  Pause();
  EXPECT_FALSE(pane.Frozen());

  Launch();
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.LineCount() == 41 && !pane.Frozen(); }));
  EXPECT_EQ(pane.Lines()[39], "line 39");
}

}  // namespace
}  // namespace vorn
