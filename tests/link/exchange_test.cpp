// The standard exchange against a scripted port (fast paths and failure
// texts) and against the virtual controller on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>

#include "link/exchange.h"
#include "link/line_wait.h"
#include "link/prompt_reader.h"
#include "link/serial_port.h"
#include "sim/virtual_controller.h"
#include "transfer/scripted_port.h"
#include "app/scripted_ui.h"

namespace vorn {
namespace {

using test::ScriptedPort;
using test::ScriptedUi;

class LinesPane : public TerminalPane {
 public:
  int LineCount() const override { return static_cast<int>(lines.size()); }
  void Clear() override {
    lines.clear();
    ++clears;
  }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
  int clears = 0;
};

class CountingCursor : public BusyCursor {
 public:
  void SetBusy() override { ++busy; }
  void Restore() override { ++restored; }
  int busy = 0, restored = 0;
};

// A shell that echoes each byte and answers a finished line with output.
void EchoShell(ScriptedPort& port, std::function<std::string(const std::string&)> answer) {
  auto typed = std::make_shared<std::string>();
  port.onWrite = [&port, typed, answer](const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
      port.PushByte(b);
      *typed += static_cast<char>(b);
      if (b == '\r') {
        port.Push("\n" + answer(*typed));
        typed->clear();
      }
    }
  };
}

struct ScriptedExchange : ::testing::Test {
  ScriptedExchange() {
    exchange = std::make_unique<Exchange>(pane, cursor, ui, [this](const std::string&) {
      return std::make_unique<test::BorrowedPort>(*port);
    });
    exchange->ComName = "COM3";
  }
  LinesPane pane;
  CountingCursor cursor;
  ScriptedUi ui;
  std::unique_ptr<ScriptedPort> owned = std::make_unique<ScriptedPort>();
  ScriptedPort* port = owned.get();
  std::unique_ptr<Exchange> exchange;
};

TEST_F(ScriptedExchange, NoEchoFailsAfterOneReadAndNamesTheWholeLine) {
  EXPECT_FALSE(exchange->RunCommand("C:\\mem\r"));
  EXPECT_EQ(ui.LastError(),
            "Unable to send command 'C:\\mem\r'!\n\nPlease make sure the VORN-7730 is in INIT mode\n\nand no "
            "program is running");
  // One drain read, one echo read; only the first byte went out.
  EXPECT_EQ(port->readExactCalls, 2);
  ASSERT_EQ(port->writes.size(), 1u);
  EXPECT_EQ(port->writes[0], std::vector<uint8_t>{'C'});
  EXPECT_EQ(cursor.busy, 1);
  EXPECT_EQ(cursor.restored, 1);
}

// A shell on a noisy line: it keeps its command line, erases with "\b \b",
// and the chosen writes (counted from 0) reach it, or echo back, with a bit
// flipped.
struct NoisyShell {
  std::set<int> spoilEcho, spoilInput;
  std::string line;
  std::vector<std::string> entered;
  int writes = 0;
  void Attach(ScriptedPort& port) {
    port.onWrite = [this, &port](const std::vector<uint8_t>& bytes) {
      for (uint8_t b : bytes) {
        const int at = writes++;
        if (spoilInput.count(at)) b ^= 0x40;
        const uint8_t flip = spoilEcho.count(at) ? 0x01 : 0x00;
        if (b == '\b') {
          if (line.empty()) continue;
          line.pop_back();
          port.Push(std::string{'\b', static_cast<char>(' ' ^ flip), '\b'});
        } else if (b == '\r') {
          port.PushByte(b ^ flip);
          entered.push_back(line);
          line.clear();
          port.Push("\nout\r\nD:\\>");
        } else {
          line += static_cast<char>(b);
          port.PushByte(b ^ flip);
        }
      }
    };
  }
};

// A wrong echo: what the shell took is erased, and the erasure checked; a
// wrong echo of the carriage return is an unknown outcome, never "not sent";
// only a command that changes nothing is typed again by itself.
TEST_F(ScriptedExchange, WrongEchoStopsTheLineAndErasesWhatTheShellTook) {
  std::set<int> everyBackspace;
  for (int i = 2; i < 40; ++i) everyBackspace.insert(i);
  struct Case {
    const char* name;
    bool readOnly;
    std::set<int> spoilEcho, spoilInput;
    bool ok;
    std::string error;
    std::vector<std::string> entered;
    bool unknown = false;
  } const cases[] = {
      {"erased", false, {1}, {}, false, SendFailureText("del A\r"), {}},
      {"erasure echo damaged, then checked", false, {1, 2}, {}, false, SendFailureText("del A\r"), {}},
      {"erasure never confirmed", false, {1}, everyBackspace, false, JammedLineText("del A"), {}},
      {"carriage return echo damaged", false, {5}, {}, false, UnknownOutcomeText("del A"), {"del A"}, true},
      {"carriage return damaged on the way", false, {}, {5}, false, UnknownOutcomeText("del A"), {}, true},
      {"read-only, typed again", true, {1}, {}, true, "", {"del A"}},
      {"read-only, ran, typed again", true, {5}, {}, true, "", {"del A", "del A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NoisyShell shell{c.spoilEcho, c.spoilInput};
    shell.Attach(*port);
    ui.boxes.clear();
    ExchangeCommand command{"del A\r", SendFailureText("del A\r"), nullptr};
    command.readOnly = c.readOnly;
    EXPECT_EQ(c.ok, exchange->Run({200, 10}, {command}));
    EXPECT_EQ(c.error, c.ok ? "" : ui.LastError());
    EXPECT_EQ(c.entered, shell.entered);
    EXPECT_EQ(c.unknown, exchange->OutcomeUnknown());
    // Nothing is left on the shell's line, unless the erasure said it may be.
    EXPECT_EQ(c.error == JammedLineText("del A"), !shell.line.empty()) << shell.line;
  }
}

// Lines that would smuggle in a second command, edit the shell's line or
// overflow it are refused before the port is opened, whoever builds them.
TEST_F(ScriptedExchange, UnsafeOrOverlongLinesAreRefusedAndNothingIsTyped) {
  const std::string longest = std::string(kShellLineLimit - 1, 'a') + "\r";
  struct Case {
    std::string line;
    const char* reason;  // empty: accepted
  } const cases[] = {
      {"cd\\\rdel AUTORUN.BAT\r", "control character"},
      {"cd\\A\nB\r", "control character"},
      {"cd\\A\tB\r", "control character"},
      {"cd\\A\x7f\r", "control character"},
      {"cd" + std::string(300, 'X') + "\r", "takes at most 127"},
      {longest + "", ""},
      {"C:\\mem\r", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string refusal = CommandLineRefusal(c.line);
    EXPECT_EQ(refusal.empty(), std::string(c.reason).empty());
    if (refusal.empty()) continue;
    EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
    port->writes.clear();
    ui.boxes.clear();
    EXPECT_FALSE(exchange->Run({200, 10}, {{"d:\r", SendFailureTextShort(), nullptr},
                                           {c.line, SendFailureText(c.line), nullptr}}));
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(ui.LastError(), refusal);
    EXPECT_FALSE(exchange->SendCommand(*port, c.line));
    EXPECT_EQ(exchange->LastRefusal(), refusal);
    EXPECT_TRUE(port->writes.empty());
  }
}

TEST_F(ScriptedExchange, EmptyCommandCountsAsFailedSend) {
  EXPECT_FALSE(exchange->Run({200, 10}, {{"", SendFailureTextShort(), nullptr}}));
  EXPECT_TRUE(port->writes.empty());
  EXPECT_EQ(ui.LastError(),
            "Unable to send command!\n\nPlease make sure the VORN-7730 is in INIT mode\n\nand no program is running");
}

TEST_F(ScriptedExchange, PromptWithoutLineEndEndsAtOnce) {
  EchoShell(*port, [](const std::string&) { return std::string("MEMORY 640K\r\n\r\nC:\\>"); });
  EXPECT_TRUE(exchange->RunCommand("C:\\mem\r"));
  EXPECT_TRUE(exchange->PromptSeen());
  // The command line, then the report; the prompt itself is not shown.
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"C:\\mem", "MEMORY 640K"}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ScriptedExchange, PromptRecognitionByDrive) {
  port->Push("E:\\>");
  EXPECT_TRUE(exchange->WaitForPrompt(*port, "D:\\TEMP>"));
  EXPECT_TRUE(exchange->WaitForPrompt(*port, "C:\\>"));
  EXPECT_EQ(port->input.size(), 4u);  // nothing was read for a prompt at hand
  EXPECT_FALSE(IsPrompt("E:\\>"));
  EXPECT_FALSE(IsPrompt("\nD:\\>"));
  // Another drive's prompt is shown and the wait runs out its budget: 5000 /
  // 200 = 25 reads.
  port->timeout = 200;
  EXPECT_FALSE(exchange->WaitForPrompt(*port, "E:\\>"));
  EXPECT_EQ(pane.lines, (std::vector<std::string>{"E:\\>"}));

  // An exchange whose output ends without a prompt still succeeds, but says so.
  EchoShell(*port, [](const std::string&) { return std::string("half a line"); });
  EXPECT_TRUE(exchange->RunCommand("C:\\mem\r"));
  EXPECT_FALSE(exchange->PromptSeen());
}

// A pause longer than the read time-out, between two lines or inside one,
// does not end what the handler sees: a listing stays whole.
TEST_F(ScriptedExchange, LinesAfterAPauseStillReachTheHandler) {
  port->timeout = 200;
  port->onWrite = [this](const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
      port->PushByte(b);
      if (b != '\r') continue;
      port->Push("\nFIRST\r\n");
      port->PushTimeout();
      port->Push("SECOND\r\nTHI");
      port->PushTimeout();
      port->Push("RD\r\nD:\\>");
    }
  };
  std::vector<std::string> seen;
  EXPECT_TRUE(exchange->Run({200, 10}, {{"dir\r", SendFailureText("dir"), [&](const std::string& line, std::string&) {
                                           seen.push_back(line);
                                           return LineVerdict::Continue;
                                         }}}));
  EXPECT_TRUE(exchange->PromptSeen());
  EXPECT_EQ(seen, (std::vector<std::string>{"\n", "FIRST\r\n", "SECOND\r\n", "THIRD\r\n"}));
}

TEST_F(ScriptedExchange, HandlerFailAndStopSkipsLaterCommands) {
  EchoShell(*port, [](const std::string& line) {
    if (line.rfind("cd", 0) == 0) return std::string("Invalid directory\r\n\r\nD:\\>");
    return std::string("\r\nD:\\>");
  });
  auto refuse = [](const std::string& line, std::string& failure) {
    if (line.find("Invalid ") == std::string::npos) return LineVerdict::Continue;
    failure = line + "'\\NOPE'!";
    return LineVerdict::FailAndStop;
  };
  EXPECT_FALSE(exchange->Run({200, 10}, {{"d:\r", SendFailureTextShort(), nullptr},
                                         {"cd\\NOPE\r", SendFailureText("cd\\NOPE"), refuse},
                                         {"dir\r", SendFailureText("dir"), nullptr}}));
  EXPECT_EQ(ui.LastError(), "Invalid directory\r\n'\\NOPE'!");
  for (const auto& w : port->writes) EXPECT_NE(w[0], 'i') << "dir must not be typed";
}

TEST_F(ScriptedExchange, OpenFailureIsReportedAndNothingSent) {
  exchange = std::make_unique<Exchange>(pane, cursor, ui, [](const std::string&) { return nullptr; });
  exchange->ComName = "COM9";
  EXPECT_FALSE(exchange->RunCommand("A\r"));
  EXPECT_EQ(ui.LastError(), "Unable to open COM9!\n\nPlease make sure there is no other application using the port!!");
  EXPECT_EQ(cursor.restored, 1);
}

TEST_F(ScriptedExchange, DrainStopsAfter1025Bytes) {
  port->Push(std::string(1500, 'x'));
  exchange->DrainInput(*port);
  EXPECT_EQ(port->input.size(), 1500u - 1025u);
}

// A prompt ends the read at its '>' when the line stays quiet after it
// (here: nothing queued, or a time-out); the same text with more behind it is
// output. The port's own time-out is back afterwards.
TEST_F(ScriptedExchange, ShellLineEndsAtAQuietPromptOnly) {
  struct Case {
    std::string input;
    bool whole;        // a complete line came
    std::string text;  // what the read left
    size_t left;       // bytes still queued
  } const cases[] = {
      {"D:\\>", false, "D:\\>", 0},
      {"D:\\DATA>more", false, "D:\\DATA>more", 0},
      {"D:\\>\r\nD:\\>", true, "D:\\>\r\n", 4},
      {"C:\\>x>\r\n", true, "C:\\>x>\r\n", 0},
      {"E:\\>\r\n", true, "E:\\>\r\n", 0},
  };
  port->timeout = 200;
  port->LineEnd = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    port->input.clear();
    port->Push(c.input);
    std::string text;
    EXPECT_EQ(ReadShellLine(*port, 1024, text, IsPrompt), c.whole);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(port->input.size(), c.left);
    EXPECT_EQ(port->timeout, 200u);
  }
  // A pause right after a prompt-like text ends the read there.
  port->Push("D:\\>");
  port->PushTimeout();
  port->Push("\r\n");
  std::string text;
  EXPECT_FALSE(ReadShellLine(*port, 1024, text, IsPrompt));
  EXPECT_EQ(text, "D:\\>");
  // Where lines end at the carriage return, the prompt follows a line feed.
  EchoShell(*port, [](const std::string&) { return std::string("100 percent completed.\r\r\nD:\\>"); });
  EXPECT_TRUE(exchange->Run({1000, 13}, {{"C:\\DLFMT D: /C\r", SendFailureText("C:\\DLFMT D: /C\r"), nullptr}}));
  EXPECT_TRUE(exchange->PromptSeen());
  port->onWrite = nullptr;
  // A quiet line costs the drain one short read, nothing more.
  port->input.clear();
  port->readExactCalls = 0;
  exchange->DrainInput(*port);
  EXPECT_EQ(port->readExactCalls, 1);
}

TEST_F(ScriptedExchange, PaneIsClearedAt300Lines) {
  for (int i = 0; i < 299; ++i) exchange->ShowLine("line\r\n");
  EXPECT_EQ(pane.clears, 0);
  exchange->ShowLine("\r\n");  // nothing left to show: no clear either
  EXPECT_EQ(pane.clears, 0);
  exchange->ShowLine("300\r\n");
  EXPECT_EQ(pane.clears, 0);
  exchange->ShowLine("301");
  EXPECT_EQ(pane.clears, 1);
  EXPECT_EQ(pane.lines, std::vector<std::string>{"301"});
}

// ---------------------------------------------------------------- the virtual controller

struct ControllerExchange : ::testing::Test {
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(controller.Start(&error)) << error;
    exchange = std::make_unique<Exchange>(pane, cursor, ui);
    exchange->ComName = controller.PortPath();
  }
  vsim::VirtualController controller;
  LinesPane pane;
  CountingCursor cursor;
  ScriptedUi ui;
  std::unique_ptr<Exchange> exchange;
};

TEST_F(ControllerExchange, ListingCommandsLeaveTheListingInThePane) {
  ASSERT_TRUE(controller.MakeDir("\\CONFX"));
  EXPECT_TRUE(exchange->Run({200, 10}, {{"d:\r", SendFailureTextShort(), nullptr},
                                        {"cd\\\r", SendFailureText("cd\\"), nullptr},
                                        {"dir\r", SendFailureText("dir"), nullptr}}));
  EXPECT_TRUE(ui.boxes.empty()) << ui.LastError();
  bool sawDir = false, sawFree = false;
  for (const auto& l : pane.lines) {
    if (l.find("CONFX") == 0 && l.find("<DIR>") != std::string::npos) sawDir = true;
    if (l.find("bytes free") != std::string::npos) sawFree = true;
  }
  EXPECT_TRUE(sawDir);
  EXPECT_TRUE(sawFree);
  EXPECT_EQ(pane.lines.at(0), "d:");
  EXPECT_EQ(controller.Received(), "d:\rcd\\\rdir\r");
}

// The exchange ends at the prompt: a command at t = 1000 takes far less than
// the two seconds one read time-out would cost. Output that pauses, or holds
// lines that look like a prompt, still reaches the handler whole.
TEST_F(ControllerExchange, OutputEndsAtThePromptAndStaysWhole) {
  std::string file;
  for (int i = 0; i < 10; ++i) file += "F" + std::to_string(i) + "\r\n";
  ASSERT_TRUE(controller.WriteFile("\\P.TXT", "D:\\>\r\nC:\\TEMP>\r\n" + file + "D:\\>"));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(controller.MakeDir("\\DIR" + std::to_string(i)));
  struct Case {
    const char* command;
    uint32_t pauseMs;
    std::vector<std::string> wanted;  // in what the handler saw
  } const cases[] = {
      {"type P.TXT\r", 0, {"D:\\>\r\nC:\\TEMP>\r\n" + file + "D:\\>\r\n"}},
      {"dir\r", 300, {"DIR0", "DIR9", "bytes free"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    vsim::Options o;
    o.pauseOutputMs = c.pauseMs;
    controller.SetOptions(o);
    std::vector<std::string> seen;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(exchange->Run({1000, 10}, {{"d:\r", SendFailureTextShort(), nullptr},
                                           {c.command, SendFailureText(c.command),
                                            [&](const std::string& line, std::string&) {
                                              seen.push_back(line);
                                              return LineVerdict::Continue;
                                            }}}))
        << ui.LastError();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(exchange->PromptSeen());
    std::string all;
    for (const std::string& line : seen) all += line;
    for (const std::string& w : c.wanted) EXPECT_NE(all.find(w), std::string::npos) << w << " in\n" << all;
    if (c.pauseMs == 0) EXPECT_LT(took, std::chrono::milliseconds(1500));
  }
}

TEST_F(ControllerExchange, MissingDirectoryGivesTheInvalidLine) {
  std::string refused;
  auto handler = [&](const std::string& line, std::string& failure) {
    if (line.find("Invalid ") == std::string::npos) return LineVerdict::Continue;
    refused = line;
    failure = line + "'\\NOSUCH'!";
    return LineVerdict::FailAndStop;
  };
  EXPECT_FALSE(exchange->Run({200, 10}, {{"cd\\NOSUCH\r", SendFailureText("cd\\NOSUCH"), handler},
                                         {"dir\r", SendFailureText("dir"), nullptr}}));
  EXPECT_NE(refused.find("Invalid "), std::string::npos);
  EXPECT_EQ(controller.Received(), "cd\\NOSUCH\r");
}

TEST_F(ControllerExchange, SilentControllerFailsWithTheSendText) {
  vsim::Options o;
  o.echo = false;
  controller.SetOptions(o);
  EXPECT_FALSE(exchange->RunCommand("C:\\mem\r"));
  EXPECT_EQ(ui.LastError(), SendFailureText("C:\\mem\r"));
}

TEST_F(ControllerExchange, StaleOutputIsDrainedBeforeTheCommand) {
  controller.InjectOutput(std::string(3000, 'z'));
  EXPECT_TRUE(exchange->RunCommand("C:\\mem\r")) << ui.LastError();
}

// While an exchange waits on the line the hook runs every few milliseconds (so
// the window can repaint); an exchange started from there is refused without
// touching the port, and waits outside an exchange leave the hook alone.
TEST_F(ControllerExchange, WaitsHandOverToTheHookOnlyInsideAnExchange) {
  struct Hook : LineWaitHook {
    void Waiting() override {
      ++calls;
      if (calls == 1) nestedResult = exchange->RunCommand("C:\\mem\r");
    }
    Exchange* exchange = nullptr;
    int calls = 0;
    bool nestedResult = true;
  } hook;
  hook.exchange = exchange.get();
  SetLineWaitHook(&hook);
  // Stale output makes the drain wait for a quiet line: two seconds, waited
  // in slices, not in one go.
  controller.InjectOutput("stale");
  EXPECT_TRUE(exchange->RunCommand("A\r")) << ui.LastError();
  EXPECT_GE(hook.calls, 20);
  EXPECT_FALSE(hook.nestedResult);
  EXPECT_EQ(controller.Received(), "A\r");
  EXPECT_TRUE(ui.boxes.empty()) << ui.LastError();
  EXPECT_EQ(cursor.busy, 1);

  const int during = hook.calls;
  SerialPort port(controller.PortPath());
  ASSERT_TRUE(port.Open());
  port.SetTimeouts(100);
  uint8_t byte;
  EXPECT_FALSE(port.ReadExact(&byte, 1));
  port.Close();
  EXPECT_EQ(hook.calls, during);
  SetLineWaitHook(nullptr);
}

}  // namespace
}  // namespace vorn
