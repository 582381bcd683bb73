// Runs a fuzz target without libFuzzer, for compilers that have none: every
// seed of the corpus folder first, then simple random mutations of them for a
// few seconds. A crash or a failed check ends the program; the input that
// caused it is written to fuzz-crash-<target> in the current folder first, so
// it can be replayed (with this driver or with the libFuzzer build).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr size_t kMaxLength = 4096;

std::vector<uint8_t> current;  // the input being run
std::string crashPath;

#ifndef _WIN32
void SaveCurrentAndDie(int signal) {
  // Only calls that are safe inside a signal handler.
  const int fd = ::open(crashPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    const ssize_t ignored = ::write(fd, current.data(), current.size());
    (void)ignored;
    ::close(fd);
  }
  static const char kNote[] = "fuzz driver: the failing input was written to the crash file\n";
  const ssize_t ignored = ::write(2, kNote, sizeof kNote - 1);
  (void)ignored;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

void Run(const std::vector<uint8_t>& input) {
  current = input;
  LLVMFuzzerTestOneInput(current.data(), current.size());
}

// Tokens the targets' parsers look for; spliced in whole, random bytes rarely
// hit them.
const std::vector<std::string>& Tokens() {
  static const std::vector<std::string> tokens = {
      "\r\n", "\r", "\n", "D:\\>", "C:\\>", "<DIR>", "bytes free", "\xFF\x00", "\xFF\xFF", "111", "444", "666",
      "\x06", "\x15", "\x18", "@SLOT", "@VORN7730MIOCFG-START", "@VORN7730MIOCFG-END", "ip address ",
      "domain server ", "route add default if0 ", "Invalid ", "-1", "99", "12-31-99  11:59p", "255.255.255.255"};
  return tokens;
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> s, const std::vector<std::vector<uint8_t>>& pool, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
  const int steps = 1 + static_cast<int>(pick(4));
  for (int i = 0; i < steps; ++i) {
    const size_t at = pick(s.size() + 1);
    switch (pick(7)) {
      case 0:  // flip a bit
        if (!s.empty()) s[pick(s.size())] ^= static_cast<uint8_t>(1u << pick(8));
        break;
      case 1:  // a random byte in place
        if (!s.empty()) s[pick(s.size())] = static_cast<uint8_t>(pick(256));
        break;
      case 2:  // insert a random byte
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(pick(256)));
        break;
      case 3: {  // erase a run
        if (s.empty()) break;
        const size_t from = pick(s.size());
        const size_t n = std::min(s.size() - from, 1 + pick(16));
        s.erase(s.begin() + static_cast<std::ptrdiff_t>(from), s.begin() + static_cast<std::ptrdiff_t>(from + n));
        break;
      }
      case 4: {  // a token
        const std::string& t = Tokens()[pick(Tokens().size())];
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), t.begin(), t.end());
        break;
      }
      case 5: {  // a piece of another seed
        const std::vector<uint8_t>& other = pool[pick(pool.size())];
        if (other.empty()) break;
        const size_t from = pick(other.size());
        const size_t n = std::min(other.size() - from, 1 + pick(64));
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                 other.begin() + static_cast<std::ptrdiff_t>(from + n));
        break;
      }
      default:  // cut short
        s.resize(at);
        break;
    }
  }
  if (s.size() > kMaxLength) s.resize(kMaxLength);
  return s;
}

int Usage() {
  std::fprintf(stderr, "usage: fuzz_TARGET_check CORPUS_DIR [--seconds S] [--seed N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::filesystem::path corpus = argv[1];
  double seconds = 3;
  uint32_t seed = 1;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    else return Usage();
  }
  crashPath = "fuzz-crash-" + std::filesystem::path(argv[0]).stem().string();
#ifndef _WIN32
  for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS}) std::signal(s, SaveCurrentAndDie);
#endif

  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(corpus, ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  if (ec || files.empty()) {
    std::fprintf(stderr, "no seeds in %s\n", corpus.string().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());
  std::vector<std::vector<uint8_t>> pool;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    Run(pool.back());
  }

  std::mt19937 rng(seed);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  uint64_t runs = 0;
  std::vector<uint8_t> last = pool.front();
  while (std::chrono::steady_clock::now() < end) {
    // Mostly from a seed, sometimes on from the last mutation for deeper changes.
    const std::vector<uint8_t>& base = rng() % 4 == 0 ? last : pool[rng() % pool.size()];
    last = Mutate(base, pool, rng);
    Run(last);
    ++runs;
  }
  std::printf("%zu seeds and %llu mutations passed (seed %u)\n", pool.size(), static_cast<unsigned long long>(runs),
              seed);
  return 0;
}
