#pragma once
// What both timing programs hand the exchange: errors on standard error, no
// questions answered, no dialogs.
#include <cstdio>
#include <optional>
#include <string>

#include "link/ui.h"

namespace vorn::bench {

class ErrorsToStderr : public Ui {
 public:
  void Error(const std::string& t) override { std::fprintf(stderr, "error: %s\n", t.c_str()); }
  void Warning(const std::string& t) override { Error(t); }
  void Information(const std::string&) override {}
  bool Question(const std::string&) override { return false; }
  std::optional<std::string> OpenFile(const std::string&, const std::string&) override { return {}; }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::string&) override { return {}; }
  std::optional<std::string> ChooseFolder(const std::string&) override { return {}; }
  std::optional<std::string> AskName(const std::string&, const std::string&, int) override { return {}; }
};

}  // namespace vorn::bench
