#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "platform/host.h"

int main(int argc, char** argv) {
  vorn::platform::OpenClosedStandardStreams();
  try {
    // File names on the command line are host paths, which the program holds as UTF-8.
    std::vector<std::string> args = vorn::platform::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return vorn::cli::Main(static_cast<int>(args.size()), pointers.data(), std::cout, std::cerr);
  } catch (...) {
    // Main reports a subcommand's own failures; this is all that is left.
    std::cerr << "vorn7730-cli: unexpected failure\n";
    return 1;
  }
}
