// The exchange on whatever the line brings: echo checks, lines assembled
// across pauses, overlong lines and the prompt, under the operations that
// read the shell's output (listing, tree count, typed text, md's answer).
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_line.h"
#include "remote/remote_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorn;
  using fuzz::Line;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  auto line = std::make_shared<Line>();
  // Bit 3 clear: the shell echoes; set: the echoes come from the input too.
  line->echo = mode & 8 ? Line::Echo::None : Line::Echo::All;
  line->pending = fuzz::DecodeStream(data + 1, size - 1);
  fuzz::Session s(line);

  switch (mode % 8) {
    case 0: {
      RemoteListing listing;
      RemoteOps ops(s.exchange, listing);
      const FillOutcome filled = ops.FillRemoteList("\\DATA");
      // A failed listing says why.
      FUZZ_CHECK(filled.ok || !s.ui.errors.empty());
      break;
    }
    case 1:
      CountRemoteTree(s.exchange, "\\", "DATA");
      break;
    case 2: {
      const TextRead read = ReadRemoteText(s.exchange, "\\CONF", "SOCKET.CFG");
      // A text is only taken whole: after a prompt, never with a failure.
      FUZZ_CHECK(!read.ok || (read.failure.empty() && s.exchange.PromptSeen()));
      break;
    }
    case 3: {
      RemoteListing listing;
      RemoteOps ops(s.exchange, listing);
      ops.MakeDirectory("NEWDIR");
      break;
    }
    case 4: {
      const bool ran = s.exchange.RunCommand(kMemCommand);
      FUZZ_CHECK(ran || !s.ui.errors.empty());
      break;
    }
    default: {
      auto port = fuzz::OpenablePort(line);
      port->Open();
      port->LineEnd = 10;
      port->SetTimeouts(mode & 16 ? 0 : 200);
      s.exchange.DrainInput(*port);
      s.exchange.WaitForPrompt(*port, "");
      port->Close();
      break;
    }
  }
  // The pane is cleared before it holds too many lines.
  FUZZ_CHECK(s.pane.LineCount() <= kPaneClearLines);
  return 0;
}
