// Uploads to "C:\transfer /R": a small checksum XMODEM sender drives the receiver.
#include <chrono>

#include "pty_host.h"

namespace simtest {
namespace {

constexpr uint8_t SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

std::string Block(uint8_t number, const std::string& data, int checksumDelta = 0) {
  std::string payload = data;
  payload.resize(128, '\0');
  uint8_t sum = 0;
  for (char c : payload) sum = uint8_t(sum + uint8_t(c));
  std::string b;
  b += char(SOH);
  b += char(number);
  b += char(255 - number);
  b += payload;
  b += char(uint8_t(sum + checksumDelta));
  return b;
}

class Transfer : public SimTest {
 protected:
  // Types the command and waits for the receiver's first NAK.
  void Begin(const std::string& target) {
    std::string why;
    ASSERT_TRUE(host->Type("C:\\transfer /R " + target + "\r", &why)) << why;
    uint8_t b = 0;
    ASSERT_TRUE(host->ReadByte(&b, 500));
    ASSERT_EQ(b, '\n');
    ASSERT_TRUE(host->ReadByte(&b, 1500));
    ASSERT_EQ(b, NAK);
  }
  uint8_t Answer(const std::string& bytes, int timeoutMs = 1500) {
    host->Write(bytes);
    uint8_t b = 0;
    return host->ReadByte(&b, timeoutMs) ? b : 0;
  }
  // The receiver's closing line(s) and the prompt.
  std::string Finish() {
    std::string out, prompt;
    EXPECT_TRUE(host->ReadUntilPrompt(&out, &prompt)) << out;
    return out;
  }
  // Sends `data` in blocks, each answered by ACK, then EOT.
  void Upload(const std::string& target, const std::string& data) {
    Begin(target);
    uint8_t n = 1;
    for (size_t off = 0; off < data.size(); off += 128, ++n)
      ASSERT_EQ(Answer(Block(n, data.substr(off, 128))), ACK) << "block " << int(n);
    ASSERT_EQ(Answer(std::string(1, char(EOT))), ACK);
  }
};

TEST_F(Transfer, EmptyFileIsStoredEmpty) {
  Upload("D:\\EMPTY.BIN", "");
  Finish();
  std::string content = "x";
  ASSERT_TRUE(vc->ReadFile("D:\\EMPTY.BIN", &content));
  EXPECT_EQ(content, "");
}

TEST_F(Transfer, StoresBlocksWithTheirZeroFill) {
  std::string data;
  for (int i = 0; i < 129; ++i) data += char(i * 7 + 1);
  Upload("D:\\CONF\\up.bin", data);
  std::string out = Finish();
  EXPECT_NE(out.find("256 bytes"), std::string::npos) << out;
  EXPECT_EQ(out.find("D:\\"), std::string::npos) << "a line with a drive prefix would look like the prompt";
  std::string content;
  ASSERT_TRUE(vc->ReadFile("D:\\CONF\\UP.BIN", &content));
  EXPECT_EQ(content, data + std::string(127, '\0'));
}

TEST_F(Transfer, BadBlocksAreAnsweredWithNakAndARepeatIsDropped) {
  Begin("D:\\R.BIN");
  std::string one(128, 'a'), two(128, 'b');
  EXPECT_EQ(Answer(Block(1, one, +1)), NAK) << "checksum";
  std::string badComplement = Block(1, one);
  badComplement[2] = 0;
  EXPECT_EQ(Answer(badComplement), NAK) << "complement";
  EXPECT_EQ(Answer(Block(1, one)), ACK);
  EXPECT_EQ(Answer(Block(1, one)), ACK) << "our ACK may have been lost";
  // A block cut short: NAK after the receiver's one-second wait inside a block.
  EXPECT_EQ(Answer(Block(2, two).substr(0, 60), 2500), NAK);
  EXPECT_EQ(Answer(Block(2, two)), ACK);
  EXPECT_EQ(Answer(std::string(1, char(EOT))), ACK);
  Finish();
  std::string content;
  ASSERT_TRUE(vc->ReadFile("D:\\R.BIN", &content));
  EXPECT_EQ(content, one + two);
}

TEST_F(Transfer, MissingDirectoryIsRefusedAtTheFirstBlock) {
  Begin("D:\\NODIR\\X.BIN");
  EXPECT_EQ(Answer(Block(1, "data")), CAN);
  std::string out = Finish();
  EXPECT_NE(out.find("not found"), std::string::npos) << out;
  EXPECT_FALSE(vc->Exists("D:\\NODIR\\X.BIN"));
}

TEST_F(Transfer, BlockOutOfSequenceCancels) {
  Begin("D:\\S.BIN");
  EXPECT_EQ(Answer(Block(1, "x")), ACK);
  EXPECT_EQ(Answer(Block(3, "y")), CAN);
  Finish();
  EXPECT_FALSE(vc->Exists("D:\\S.BIN"));
}

TEST_F(Transfer, FullDriveCancelsTheBlockThatNoLongerFits) {
  // Leave exactly one free cluster: eight blocks fit, the ninth does not.
  ASSERT_TRUE(vc->WriteFile("D:\\FILL.BIN", std::string(vc->BytesFree() - 1024, 'f')));
  ASSERT_EQ(vc->BytesFree(), 1024u);
  Begin("D:\\BIG.BIN");
  for (uint8_t n = 1; n <= 8; ++n) ASSERT_EQ(Answer(Block(n, "z")), ACK) << int(n);
  EXPECT_EQ(Answer(Block(9, "z")), CAN);
  std::string out = Finish();
  EXPECT_NE(out.find("space"), std::string::npos) << out;
  EXPECT_FALSE(vc->Exists("D:\\BIG.BIN"));
}

TEST_F(Transfer, SenderCancelEndsTheProgram) {
  Begin("D:\\C.BIN");
  EXPECT_EQ(Answer(Block(1, "x")), ACK);
  host->Write(std::string(5, char(CAN)));
  std::string out = Finish();
  EXPECT_NE(out.find("cancelled"), std::string::npos) << out;
  EXPECT_FALSE(vc->Exists("D:\\C.BIN"));
}

TEST_F(Transfer, RepeatsNakWhileTheSenderIsSilent) {
  Begin("D:\\W.BIN");
  auto start = std::chrono::steady_clock::now();
  uint8_t b = 0;
  ASSERT_TRUE(host->ReadByte(&b, 1500));
  EXPECT_EQ(b, NAK);
  auto gap = std::chrono::steady_clock::now() - start;
  EXPECT_GT(gap, std::chrono::milliseconds(700));
  EXPECT_EQ(Answer(std::string(1, char(EOT))), ACK);
  Finish();
}

TEST_F(Transfer, ReceivesWhatTheHostSentByteForByte) {
  vc->ClearReceived();
  std::string block = Block(1, "payload");
  Upload("D:\\P.BIN", "payload");
  Finish();
  EXPECT_EQ(vc->Received(), "C:\\transfer /R D:\\P.BIN\r" + block + char(EOT));
}

// Pacing delays bytes but must neither lose, reorder nor merge them.
TEST_F(Transfer, APacedLineCarriesTheSameBytes) {
  vsim::Options o;
  o.baud = 115200;
  Restart(o);
  std::string data;
  for (int i = 0; i < 300; ++i) data += char(i * 13 + 5);
  Upload("D:\\PACED.BIN", data);
  EXPECT_NE(Finish().find("384 bytes"), std::string::npos);
  std::string content;
  ASSERT_TRUE(vc->ReadFile("D:\\PACED.BIN", &content));
  EXPECT_EQ(content, data + std::string(84, '\0'));
  std::string prompt;
  EXPECT_NE(host->Command("dir", &prompt).find("PACED    BIN"), std::string::npos);
  EXPECT_EQ(prompt, "D:\\>");
}

}  // namespace
}  // namespace simtest
