#pragma once
// What both timing programs hand the exchange: errors on standard error, no
// questions answered, no dialogs.
#include <cstdio>
#include <string>

#include "link/ui.h"

namespace vorn::bench {

class ErrorsToStderr : public WindowlessUi {
 public:
  void Error(const std::string& t) override { std::fprintf(stderr, "error: %s\n", t.c_str()); }
};

}  // namespace vorn::bench
