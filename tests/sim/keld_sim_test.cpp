// SPDX-License-Identifier: Apache-2.0
// keld-sim driven by the job's own link code over its pseudo-terminal.
#include "sim/keld_sim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "link/connection.h"
#include "link/byte_io.h"
#include "link/link_result.h"
#include "link/protocol.h"
#include "platform/devicemap.h"
#include "sim/sim_store.h"
#include "support/md5.h"
#include "tests/cli/run_tool.h"
#include "tests/link/link_fixture.h"

namespace {

using tarn::sim::PhoneConfig;
using tarn::sim::SimPhone;

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + seed) >> 3);
  return data;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SimPhoneTest : public tarn::test::LinkTest {
 protected:
  SimPhone& Start(PhoneConfig config) {
    config.outputDir = out_.Path() / "phone";
    phone_ = std::make_unique<SimPhone>(config);
    EXPECT_TRUE(phone_->Start());
    EXPECT_EQ(1, OpenComPort(link_, config.comNumber));
    EXPECT_EQ(1, Connect(link_));
    return *phone_;
  }

  // Ready, the frames, 711; 1 when all were accepted.
  int SendFrames(int partition, const std::vector<std::uint8_t>& piece) {
    const auto rounded = static_cast<int>((piece.size() + tarn::sim::kFrameSize - 1) / tarn::sim::kFrameSize *
                                          tarn::sim::kFrameSize);
    if (SendCommand(link_, CMD_READY, partition, rounded, 0) != 1) return 255;
    for (std::size_t at = 0; at < piece.size(); at += tarn::sim::kFrameSize) {
      std::vector<std::uint8_t> frame(tarn::sim::kFrameSize, 0xFF);
      std::copy(piece.begin() + static_cast<long>(at),
                piece.begin() + static_cast<long>(std::min(piece.size(), at + tarn::sim::kFrameSize)), frame.begin());
      SendBytes(link_, frame.data(), tarn::sim::kFrameSize);
      if (CheckResponse(link_, 0) != 1) return 255;
    }
    return SendCommand(link_, CMD_END_FRAMES, 0, 0, 0);
  }

  int Commit(int code, int argument, int length, const std::string& digest) {
    COMMAND_PACKET packet;
    BuildCommand(link_, code, argument, length, 1, &packet);
    std::copy(digest.begin(), digest.end(), packet.body + (kDigestOffset - 16));
    if (SendPacket(link_, packet) != RESULT_OK) return RESULT_FAIL;
    return CheckResponse(link_, code);
  }

  int SendPiece(int code, int argument, const std::vector<std::uint8_t>& piece, std::string digest = {}) {
    if (digest.empty()) digest = tarn::md5::DigestText(piece.data(), piece.size());
    if (SendFrames(argument, piece) != 1) return 255;
    return Commit(code, argument, static_cast<int>(piece.size()), digest);
  }

  std::filesystem::path Stored(const std::string& name) const { return out_.Path() / "phone" / name; }

  tarn::test::TempDir out_;
  std::unique_ptr<SimPhone> phone_;
};

TEST_F(SimPhoneTest, StoresPiecesPerPartitionChunkByChunk) {
  PhoneConfig config;
  config.preparedBytes = 3u << 20;  // room made ready, larger than every piece here
  SimPhone& phone = Start(config);
  const auto first = Pattern(131073, 1);
  const auto second = Pattern(5000, 2);
  EXPECT_EQ(1, SendPiece(503, 0, first));
  EXPECT_EQ(1, SendPiece(503, 0, second));
  EXPECT_EQ(1, SendPiece(CMD_STRATINE, 2, Pattern(7, 3)));
  EXPECT_EQ(1, SendPiece(CMD_PHONE, 0, Pattern(300, 4)));
  auto joined = first;
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_EQ(joined, ReadFile(Stored("part03.bin")));
  EXPECT_EQ(Pattern(7, 3), ReadFile(Stored("part22.bin")));
  EXPECT_EQ(Pattern(300, 4), ReadFile(Stored("phone.bin")));
  const auto stats = phone.Stats();
  EXPECT_EQ(4, stats.piecesStored);
  EXPECT_EQ(5, stats.frames);
  EXPECT_EQ(0, stats.digestMismatches);
}

TEST_F(SimPhoneTest, RefusesAPieceWhoseDigestDoesNotMatch) {
  SimPhone& phone = Start({});
  const auto piece = Pattern(1000, 5);
  std::string wrong = tarn::md5::DigestText(piece.data(), piece.size());
  wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
  EXPECT_EQ(255, SendPiece(CMD_PHONE, 0, piece, wrong));
  EXPECT_EQ(std::vector<std::wstring>{L"e - Phone flashing failed"}, events_.Errors());
  // A lower-case text is not the phone's form either.
  std::string lower = tarn::md5::DigestText(piece.data(), piece.size());
  for (auto& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(255, SendPiece(505, 0, piece, lower));
  EXPECT_EQ(2, phone.Stats().digestMismatches);
  EXPECT_FALSE(std::filesystem::exists(Stored("phone.bin")));
}

TEST_F(SimPhoneTest, PlainCommitStoresTheDataAfterTheInfoBlock) {
  Start({});
  const auto data = Pattern(140000, 6);
  std::vector<std::uint8_t> piece(tarn::sim::kInfoBlockSize, 0);
  std::memcpy(piece.data(), "OFNI", 4);
  WriteLe32(piece.data() + 36, static_cast<std::uint32_t>(data.size()));
  piece.insert(piece.end(), data.begin(), data.end());
  EXPECT_EQ(1, SendPiece(501, 1, piece, std::string(32, '\0')));
  EXPECT_EQ(data, ReadFile(Stored("part01.bin")));
  // A plain commit without a valid block is refused.
  piece[0] = 'X';
  EXPECT_EQ(255, SendPiece(502, 1, piece, std::string(32, '\0')));
}

TEST_F(SimPhoneTest, FwPieceLengthIsFoundFromItsDigest) {
  Start({});
  auto piece = Pattern(2000, 7);
  piece.insert(piece.end(), 3, 0xFF);  // data that itself ends like frame padding
  ASSERT_EQ(1, SendFrames(31, piece));
  COMMAND_PACKET packet{};
  packet.command = CMD_FW;
  const char name[kFwNameSize] = "modem/../x.bin";
  std::memcpy(reinterpret_cast<std::uint8_t*>(&packet) + kFwNameOffset, name, kFwNameSize);
  const std::string digest = tarn::md5::DigestText(piece.data(), piece.size());
  std::memcpy(reinterpret_cast<std::uint8_t*>(&packet) + kDigestOffset, digest.data(), 32);
  ASSERT_EQ(1, SendPacket(link_, packet));
  EXPECT_EQ(1, CheckResponse(link_, CMD_FW));
  EXPECT_EQ(piece, ReadFile(Stored("fw-modem_.._x.bin.bin")));
}

TEST_F(SimPhoneTest, ParameterRecordKeepsSizesAndTakesTheNation) {
  PhoneConfig config;
  config.params.nation = 5;
  config.params.sizes[3] = 4096;
  SimPhone& phone = Start(config);
  ASSERT_EQ(1, SendPacket(link_, {CMD_GET_PARAM, 0, 0, 0, {}}));
  std::uint8_t record[tarn::sim::kParamRecordSize] = {};
  ASSERT_EQ(tarn::sim::kParamRecordSize, ReceiveBytes(link_, record, sizeof(record)));
  EXPECT_EQ(5u, ReadLe32(record));
  EXPECT_EQ(4096u, ReadLe32(record + 28 + 12));
  EXPECT_EQ(tarn::sim::kDefaultPartitionSize, ReadLe32(record + 28));

  WriteLe32(record, 2);
  WriteLe32(record + 28 + 12, 10);
  ASSERT_EQ(1, SendCommand(link_, CMD_SET_PARAM, 0, 0, 0));
  ASSERT_EQ(1, SendBytes(link_, record, sizeof(record)));
  EXPECT_EQ(1, CheckResponse(link_, CMD_SET_PARAM));
  EXPECT_EQ(1, CheckResponse(link_, CMD_SET_PARAM));
  ASSERT_TRUE(phone.LastParamWritten());
  EXPECT_EQ(2, phone.LastParamWritten()->nation);
  EXPECT_EQ(10u, phone.LastParamWritten()->sizes[3]);

  ASSERT_EQ(1, SendPacket(link_, {CMD_GET_PARAM, 0, 0, 0, {}}));
  ASSERT_EQ(tarn::sim::kParamRecordSize, ReceiveBytes(link_, record, sizeof(record)));
  EXPECT_EQ(2u, ReadLe32(record));
  EXPECT_EQ(4096u, ReadLe32(record + 28 + 12));
}

TEST_F(SimPhoneTest, FrameFaultStopsThePiece) {
  PhoneConfig config;
  config.faults.failFrame = 2;
  config.faults.failFrameResult = 9;
  SimPhone& phone = Start(config);
  EXPECT_EQ(255, SendFrames(3, Pattern(3 * tarn::sim::kFrameSize, 8)));
  EXPECT_TRUE(events_.HasText(L"e - Command 0 Failed. result 9\n"));
  EXPECT_EQ(2, phone.Stats().frames);
  // The phone is back at commands.
  EXPECT_EQ(1, SendCommand(link_, CMD_RESET, 0, 0, 0));
}

TEST_F(SimPhoneTest, UnknownCommandIsRefused) {
  Start({});
  EXPECT_EQ(255, SendCommand(link_, 799, 0, 0, 0));
  EXPECT_TRUE(events_.HasText(L"e - Command 799 Failed. result 238\n"));
}

TEST_F(SimPhoneTest, RebootAfterFormatComesBackOnANewTerminal) {
  PhoneConfig config;
  config.faults.rebootAfterFormatMs = 100;
  SimPhone& phone = Start(config);
  EXPECT_EQ(1, SendCommand(link_, CMD_FORMAT, 0, 0, 0));
  device_.Close();
  bool back = false;
  for (int i = 0; i < 500 && !back; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    back = phone.Stats().replugs == 1 &&
           tarn::platform::QuerySerialComm(tarn::platform::ReadSerialComm(), "qxcdmdm0").has_value();
  }
  ASSERT_TRUE(back);
  EXPECT_EQ(1, phone.Stats().unplugs);
  EXPECT_EQ(1, OpenComPort(link_, 1));
  EXPECT_EQ(1, Connect(link_));
  EXPECT_EQ(2, phone.Stats().greetings);
}

TEST_F(SimPhoneTest, UnplugAndStopUnregister) {
  SimPhone& phone = Start({});
  phone.Unplug();
  EXPECT_FALSE(tarn::platform::QuerySerialComm(tarn::platform::ReadSerialComm(), "qxcdmdm0"));
  EXPECT_FALSE(tarn::platform::ResolveComPort(1));
  EXPECT_EQ(1, phone.Stats().unplugs);
  phone.Stop();
  EXPECT_EQ(1, phone.Stats().greetings);  // counters outlive the stop
}

// The host's end of a line whose other end keld-sim was given with --tty,
// as a station's cdc_acm port faces a board's gadget tty.
struct TtyHost {
  // Waits (bounded) until the far end is raw, as keld-sim leaves it (a
  // pseudo-terminal's master reports its slave's modes).
  bool WaitRaw() const {
    termios tio{};
    for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      if (::tcgetattr(fd, &tio) == 0 && (tio.c_lflag & (ECHO | ICANON)) == 0) return true;
    }
    return false;
  }
  std::string Greet() const {
    if (::write(fd, "MORAVEX", 7) != 7) return {};
    std::string answer;
    char bytes[4];
    for (pollfd p{fd, POLLIN, 0}; answer.size() < 4 && ::poll(&p, 1, 5000) == 1;) {
      const ssize_t n = ::read(fd, bytes, 4 - answer.size());
      if (n <= 0) break;
      answer.append(bytes, static_cast<std::size_t>(n));
    }
    return answer;
  }
  int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
};

TEST_F(SimPhoneTest, ServesAGivenTtyRawAndLeavesTheMapToTheRegistrar) {
  TtyHost host;
  char tty[128] = {};
  ASSERT_GE(host.fd, 0);
  ASSERT_EQ(0, ::grantpt(host.fd) | ::unlockpt(host.fd) | ::ptsname_r(host.fd, tty, sizeof(tty)));
  bool raw = false;
  std::string answer, again;
  std::vector<std::filesystem::path> entries;
  std::thread hostSide;
  const auto run = tarn::test::RunTool(TARN_SIM_PATH, {"--tty", tty, "--receive-timeout", "200"}, [&](int pid) {
    hostSide = std::thread([&, pid] {
      raw = host.WaitRaw();
      // What the cable held before the phone powered up is not a command.
      answer = ::write(host.fd, "\x05\x06", 2) == 2 ? host.Greet() : "";
      // A host killed mid-command leaves half a packet, and its queue may
      // deliver more after the phone dropped it: the next greeting is found
      // behind stray bytes that fit no packet boundary.
      const std::string half(100, '\x01');
      const bool sent = ::write(host.fd, half.data(), half.size()) == 100;
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
      again = sent && ::write(host.fd, "\x02\x03\x04", 3) == 3 ? host.Greet() : "";
      const auto root = map_.Path() / "map";
      if (std::filesystem::exists(root)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) entries.push_back(entry);
      }
      // The far side going away (a gadget unbound) must not end the simulator.
      ::close(host.fd);
      ::kill(pid, SIGTERM);
    });
  });
  hostSide.join();
  EXPECT_TRUE(raw);
  EXPECT_EQ("LAST", answer);
  EXPECT_EQ("LAST", again);
  EXPECT_TRUE(entries.empty()) << entries.front();
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("2 greetings")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("1 receive time-outs")) << run.out;

  const auto twoPhones = tarn::test::RunTool(TARN_SIM_PATH, {"--phones", "2", "--tty", tty});
  EXPECT_EQ(2, twoPhones.exitCode);
  EXPECT_EQ(0u, twoPhones.err.rfind("e - ", 0)) << twoPhones.err;
  const auto missing = (map_.Path() / "no-such-tty").string();
  const auto refused = tarn::test::RunTool(TARN_SIM_PATH, {"--tty", missing});
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_EQ("e - phone 0 cannot serve on " + missing + ": No such file or directory\n", refused.err);
}

TEST(SimStore, FileNamesStayInsideTheFolder) {
  const std::uint8_t name[16] = {'.', '.', '/', 'e', 't', 'c', 0};
  EXPECT_EQ("fw-_._etc.bin", tarn::sim::FwFileName(name, sizeof(name)));
  EXPECT_EQ("part07.bin", tarn::sim::PartitionFileName(7));
  EXPECT_EQ("part23.bin", tarn::sim::PartitionFileName(23));
}

}  // namespace
