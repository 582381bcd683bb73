// Timings of the controller link, for looking at by hand (not part of the test
// suite): the time-out arithmetic of the serial port on a silent line, and
// whole exchanges against the virtual controller.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "sim/virtual_controller.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class QuietPane : public vorn::TerminalPane {
 public:
  int LineCount() const override { return 0; }
  void Clear() override {}
  void AppendLine(const std::string&) override { ++lines; }
  int lines = 0;
};

using vorn::NoCursor;
using vorn::bench::ErrorsToStderr;

// A read on a silent line: n bytes with ms gives up after ms * n + ms.
void SilentReads(const std::string& port) {
  std::printf("silent line, read time-outs (expected ms * n + ms):\n");
  for (uint32_t ms : {1u, 50u, 200u}) {
    for (size_t n : {size_t(1), size_t(4)}) {
      vorn::SerialPort p(port);
      if (!p.Open()) return;
      p.Configure(57600, 8, 0, 0);
      p.SetTimeouts(ms);
      p.PurgeInput();
      std::vector<uint8_t> buffer(n);
      // The controller prints its prompt once; read it away first.
      while (p.ReadExact(buffer.data(), 1)) {
      }
      const auto quiet = Clock::now();
      p.ReadExact(buffer.data(), n);
      const double took = Ms(Clock::now() - quiet);
      std::printf("  ms=%-4u n=%zu  expected %6.1f  measured %7.1f\n", ms, n, double(ms * n + ms), took);
      p.Close();
    }
  }
}

void Exchanges(const std::string& port) {
  QuietPane pane;
  NoCursor cursor;
  ErrorsToStderr ui;
  vorn::Exchange exchange(pane, cursor, ui);
  exchange.ComName = port;
  const std::vector<std::pair<const char*, vorn::ExchangeProfile>> runs = {
      {"dir\r", {200, 10}}, {"dir\r", {1000, 10}}, {"C:\\mem\r", {1000, 10}}};
  std::printf("whole exchanges (drain 2t, output, one time-out 2t at the prompt):\n");
  for (const auto& [line, profile] : runs) {
    const auto start = Clock::now();
    const bool ok = exchange.Run(profile, {{line, vorn::SendFailureText(line), nullptr}});
    std::string shown(line);
    shown.pop_back();
    std::printf("  %-8s t=%-4u %s %7.1f ms\n", shown.c_str(), profile.timeoutMs, ok ? "ok  " : "fail",
                Ms(Clock::now() - start));
  }
}

}  // namespace

int main() {
  vsim::VirtualController controller;
  std::string error;
  if (!controller.Start(&error)) {
    std::fprintf(stderr, "virtual controller: %s\n", error.c_str());
    return 1;
  }
  SilentReads(controller.PortPath());
  Exchanges(controller.PortPath());
  return 0;
}
