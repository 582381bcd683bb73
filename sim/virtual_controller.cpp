#include "sim/virtual_controller.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sim/cfgio_program.h"
#include "sim/console.h"
#include "sim/drive.h"
#include "sim/programs.h"
#include "sim/shell.h"

namespace vsim {
namespace {

// "D:\\A\\B", "\\A\\B" or "A\\B" (from the root) as drive components.
bool ParseDrivePath(const std::string& text, DrivePath* out) {
  std::string t = text;
  if (t.size() >= 2 && t[1] == ':') {
    if (std::toupper(static_cast<unsigned char>(t[0])) != 'D') return false;
    t = t.substr(2);
  }
  DrivePath p;
  if (!WalkPath(p, t)) return false;
  *out = p;
  return true;
}

std::string FakeProgram(size_t size, uint8_t seed) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  for (size_t i = 2; i < size; ++i) s[i] = char((i * 31 + seed) & 0xFF);
  return s;
}

// What a controller fresh from the factory might hold.
void FillDemoDrive(Drive& d) {
  d.Format("VORN7730");
  d.WriteFile({"AUTOEXEC.BAT"}, "@ECHO OFF\r\nPROMPT $P$G\r\nAUTORUN\r\n", MakeStamp(1996, 3, 14, 9, 12));
  d.WriteFile({"AUTORUN.BAT"}, "DEMO.EXE\r\n", MakeStamp(2024, 5, 14, 15, 7));
  d.WriteFile({"DEMO.EXE"}, FakeProgram(2874, 7), MakeStamp(1999, 12, 6, 10, 23));
  d.WriteFile({"COUNTER.EXE"}, FakeProgram(12345, 42), MakeStamp(2023, 11, 2, 16, 45));
  d.MakeDir({"CONF"}, MakeStamp(1998, 7, 1, 8, 0));
  d.WriteFile({"CONF", "UNIT.CFG"},
              "[unit]\r\nname=VORN-7730\r\nstation=1\r\nscan_ms=100\r\n\r\n[log]\r\nenabled=1\r\n",
              MakeStamp(2025, 2, 20, 11, 41));
  d.MakeDir({"DATA"}, MakeStamp(2025, 1, 20, 7, 30));
  d.WriteFile({"DATA", "LOG.TXT"},
              "2025-01-20 07:31 start\r\n2025-01-20 07:31 slots 4\r\n2025-01-21 00:00 counter 1532\r\n",
              MakeStamp(2025, 1, 21, 0, 0));
}

}  // namespace

VirtualController::VirtualController(Options o)
    : options_(std::move(o)), drive_(std::make_unique<Drive>()), programs_(std::make_unique<ProgramTable>()) {
  FillDemoDrive(*drive_);
  AddStandardPrograms(programs_.get());
  AddCfgioProgram(programs_.get(), options_);
}

VirtualController::~VirtualController() { Stop(); }

ProgramTable& VirtualController::Programs() { return *programs_; }

bool VirtualController::Start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    return false;
  };
  if (started_) return fail("already started");

  std::string driveFile = GetOptions().driveFile;
  if (!driveFile.empty()) {
    std::ifstream in(driveFile, std::ios::binary);
    if (in) {
      std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!drive_->Load(image)) return fail(driveFile + " is not a drive image of 1,048,576 bytes");
      savedVersion_ = drive_->Version();
    }
  }
  InstallCfgio(*drive_, GetOptions());

  // Close-on-exec: programs the host starts must not keep the line open.
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail(std::string("posix_openpt: ") + std::strerror(errno));
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    return fail(std::string("grantpt/unlockpt: ") + std::strerror(errno));
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname_r failed");
  slavePath_ = name;
  // Holding the slave open keeps the master alive while the host closes and reopens the port.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail(std::string("open slave: ") + std::strerror(errno));
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) return fail("tcgetattr failed");
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B57600);
  ::cfsetospeed(&tio, B57600);
  if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr failed");
  int flags = ::fcntl(master_, F_GETFL);
  ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);

  stop_ = false;
  console_ = std::make_unique<Console>(master_, &stop_, [this](const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> lock(recvMu_);
    received_.append(reinterpret_cast<const char*>(data), n);
  }, GetOptions().baud, GetOptions().adapterLatencyMs, GetOptions().noiseRate, GetOptions().noiseSeed);
  shell_ = std::make_unique<Shell>(*console_, *drive_, *programs_, [this] { return GetOptions(); });
  shell_->SetAfterCommand([this] { SaveIfChanged(); });
  started_ = true;
  SaveIfChanged();
  thread_ = std::thread(&VirtualController::Serve, this);
  return true;
}

void VirtualController::Serve() {
  std::string stale = GetOptions().staleOutput;
  if (!stale.empty()) console_->Write(stale);
  shell_->Run();
}

void VirtualController::Stop() {
  if (!started_) return;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  SaveIfChanged();
  ::close(slave_);
  ::close(master_);
  slave_ = master_ = -1;
  started_ = false;
}

std::string VirtualController::PortPath() const { return slavePath_; }

Options VirtualController::GetOptions() const {
  std::lock_guard<std::mutex> lock(optMu_);
  return options_;
}

void VirtualController::SetOptions(const Options& o) {
  std::lock_guard<std::mutex> lock(optMu_);
  options_ = o;
}

void VirtualController::InjectOutput(const std::string& bytes) {
  if (started_ && console_) console_->Write(bytes);
}

std::string VirtualController::Received() const {
  std::lock_guard<std::mutex> lock(recvMu_);
  return received_;
}

void VirtualController::ClearReceived() {
  std::lock_guard<std::mutex> lock(recvMu_);
  received_.clear();
}

void VirtualController::SaveIfChanged() {
  if (!started_) return;  // before Start the drive file has not been read yet
  std::lock_guard<std::mutex> lock(saveMu_);
  uint64_t v = drive_->Version();
  if (v == savedVersion_) return;
  std::string file = GetOptions().driveFile;
  if (!file.empty()) {
    std::vector<uint8_t> image = drive_->Image();
    std::string tmp = file + ".tmp";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
      if (!out) return;
    }
    // Replace in one step so that a crash never leaves half an image behind.
    if (std::rename(tmp.c_str(), file.c_str()) != 0) return;
  }
  savedVersion_ = v;
}

bool VirtualController::ReadFile(const std::string& path, std::string* content) const {
  DrivePath p;
  return ParseDrivePath(path, &p) && drive_->ReadFile(p, content) == FsError::None;
}

bool VirtualController::WriteFile(const std::string& path, const std::string& content) {
  DrivePath p;
  bool ok = ParseDrivePath(path, &p) && drive_->WriteFile(p, content, NowStamp()) == FsError::None;
  SaveIfChanged();
  return ok;
}

bool VirtualController::MakeDir(const std::string& path) {
  DrivePath p;
  bool ok = ParseDrivePath(path, &p) && drive_->MakeDir(p, NowStamp()) == FsError::None;
  SaveIfChanged();
  return ok;
}

bool VirtualController::Exists(const std::string& path) const {
  DrivePath p;
  return ParseDrivePath(path, &p) && drive_->Stat(p, nullptr) == FsError::None;
}

uint32_t VirtualController::BytesFree() const { return drive_->BytesFree(); }

std::vector<uint8_t> VirtualController::DriveImage() const { return drive_->Image(); }

bool VirtualController::LoadDriveImage(const std::vector<uint8_t>& image) {
  if (!drive_->Load(image)) return false;
  if (shell_) shell_->ResetDriveD();
  SaveIfChanged();
  return true;
}

std::string VirtualController::CurrentDir() const { return shell_ ? shell_->CurrentDirText() : "D:\\"; }

}  // namespace vsim
