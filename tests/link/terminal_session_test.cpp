// The terminal session on a scripted port: what launching, keys and pastes
// send, and that the controller's output still reaches the pane around them.
#include "link/terminal_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/manual_gui.h"
#include "transfer/scripted_port.h"

namespace vorn {
namespace {

using Lines = std::vector<std::string>;
using test::ManualGui;

class ClosingPort : public test::ScriptedPort {
 public:
  bool Close() override {
    ++closes;
    return true;
  }
  int closes = 0;
};

class TerminalSessionTest : public ::testing::Test {
 protected:
  std::string Sent() const {
    std::string all;
    for (const auto& w : port.writes) all.append(w.begin(), w.end());
    return all;
  }
  void Launch() {
    ASSERT_TRUE(session->Open("COM3"));
    session->Start();
  }

  ManualGui gui;
  PaneModel pane;
  ClosingPort port;
  bool opens = true;
  std::vector<std::string> opened;
  std::unique_ptr<TerminalSession> session = std::make_unique<TerminalSession>(
      gui, pane, [this](const std::string& name) -> std::unique_ptr<Port> {
        opened.push_back(name);
        return std::make_unique<test::BorrowedPort>(port, opens);
      });
};

TEST_F(TerminalSessionTest, LaunchWakesTheShellWithOneReturnAndShowsItsAnswer) {
  Launch();
  EXPECT_EQ(opened, (std::vector<std::string>{"COM3"}));
  EXPECT_TRUE(session->Running());
  EXPECT_EQ(port.timeout, 1u);
  EXPECT_EQ(Sent(), "\r");

  port.Push("\r\nD:\\>");
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.Lines() == Lines{"", "D:\\>"}; }));

  session->Stop();
  EXPECT_FALSE(session->Running());
  EXPECT_EQ(port.closes, 1);
  EXPECT_EQ(session->TerminalPort(), nullptr);
}

TEST_F(TerminalSessionTest, AnUnopenablePortLeavesTheTerminalOffAndSilent) {
  opens = false;
  EXPECT_FALSE(session->Open("COM9"));
  EXPECT_FALSE(session->Running());
  session->Start();
  session->KeyPress('a');
  EXPECT_FALSE(session->KeyDown(TerminalKey::Up));
  session->Paste("text", [](int) {});
  EXPECT_TRUE(port.writes.empty());
}

TEST_F(TerminalSessionTest, CursorAndFunctionKeysSendTheirEscapeSequences) {
  Launch();
  port.writes.clear();
  const std::vector<std::pair<TerminalKey, std::string>> table = {
      {TerminalKey::Left, "\x1b[D"}, {TerminalKey::Up, "\x1b[A"}, {TerminalKey::Right, "\x1b[C"},
      {TerminalKey::Down, "\x1b[B"}, {TerminalKey::F1, "\x1bOP"}, {TerminalKey::F2, "\x1bOQ"},
      {TerminalKey::F3, "\x1bOR"},   {TerminalKey::F4, "\x1bOS"},
  };
  for (const auto& [key, bytes] : table) {
    port.writes.clear();
    EXPECT_TRUE(session->KeyDown(key));
    EXPECT_EQ(Sent(), bytes);
  }
  // Other keys are left to the pane; their characters come through KeyPress.
  port.writes.clear();
  EXPECT_FALSE(session->KeyDown(std::nullopt));
  EXPECT_TRUE(port.writes.empty());
}

TEST_F(TerminalSessionTest, ATypedKeyKeepsOutputThatWasNotPolledYet) {
  Launch();
  port.Push("\r\nD:\\>");
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.LastLine() == "D:\\>"; }));

  // The echo of an earlier key is still in the port when the next key goes out.
  port.Push("d");
  session->KeyPress('i');
  port.Push("i");
  EXPECT_EQ(Sent(), "\ri");
  ASSERT_TRUE(gui.PumpUntil([&] { return pane.LastLine() == "D:\\>di"; }));
}

TEST_F(TerminalSessionTest, PasteTurnsHostLineEndsIntoOneReturnAndPacesEachByte) {
  Launch();
  port.writes.clear();
  std::vector<int> waits;
  session->Paste("ab\r\ncd\ne\r", [&](int ms) { waits.push_back(ms); });
  EXPECT_EQ(Sent(), "ab\rcd\re\r");
  for (const auto& w : port.writes) EXPECT_EQ(w.size(), 1u) << "one byte per write";
  // A lone carriage return is an ordinary byte; host line ends wait 20 ms first.
  EXPECT_EQ(waits, (std::vector<int>{10, 10, 20, 10, 10, 10, 20, 10, 10, 10}));
}

TEST_F(TerminalSessionTest, PasteEndsWhenTheTerminalStopsMeanwhile) {
  Launch();
  port.writes.clear();
  int calls = 0;
  session->Paste("abc\r\ndef", [&](int) {
    if (++calls == 2) session->Stop();
  });
  EXPECT_EQ(Sent(), "ab");
}

TEST(PasteBytesTest, TakesTheFirst1023Characters) {
  EXPECT_EQ(PasteBytes(std::string(2000, 'x')).size(), 1023u);
  // A line end cut in half by the limit leaves a plain carriage return.
  const auto bytes = PasteBytes(std::string(1022, 'x') + "\r\n");
  ASSERT_EQ(bytes.size(), 1023u);
  EXPECT_EQ(bytes.back().byte, 13);
  EXPECT_FALSE(bytes.back().lineEnd);
}

TEST_F(TerminalSessionTest, EndingWhileRunningJoinsTheThreadsAndClosesThePort) {
  Launch();
  port.Push("\r\nD:\\>");
  gui.PumpUntil([&] { return pane.LastLine() == "D:\\>"; });
  session.reset();
  EXPECT_EQ(port.closes, 1);
}

}  // namespace
}  // namespace vorn
