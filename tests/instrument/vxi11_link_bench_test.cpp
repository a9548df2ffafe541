// The VXI-11 client against the bench's instruments: links and the client
// table, chunked writes, replies and buffers, and hostile instruments.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/vxi11_user.h"
#include "tests/support/bench_env.h"

namespace {

const char* const kI1Idn = "Tavrin,TVS-8010,TV8010A0001,2.4.1\n";
constexpr unsigned long kTimeoutMs = 1000;

// Sets server knobs of one instrument and clears them again at the end.
class Vxi11Bench : public ::testing::Test {
 protected:
  void SetUp() override { vxi11_reset_clients(); }
  void TearDown() override {
    for (const std::string& undo : undo_) bench::Run(undo);
    vxi11_reset_clients();
  }
  void Knob(const std::string& instrument, const std::string& key, const std::string& value) {
    ASSERT_EQ(bench::Run("ctl " + instrument + " " + key + "=" + value), 0);
    undo_.push_back("ctl " + instrument + " " + key + (key == "vxi" ? "=on" : "="));
  }
  // The reply to a query, or the negative result as text.
  std::string Ask(Vxi11Link& link, const char* query) {
    char reply[16384] = {0};
    long n = vxi11_send_and_receive(&link, query, reply, sizeof reply - 1, kTimeoutMs);
    return n > 0 ? std::string(reply, static_cast<std::size_t>(n)) : "error " + std::to_string(n);
  }

 private:
  std::vector<std::string> undo_;
};

TEST_F(Vxi11Bench, LinksShareOneClientPerAddressAndCountDown) {
  REQUIRE_BENCH();
  Vxi11Link first, second, other;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &first), 0);
  ASSERT_EQ(vxi11_open_device(bench::kI1, &second), 0);
  EXPECT_EQ(vxi11_clients_used(), 1);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 2);
  EXPECT_EQ(first.client, second.client);
  EXPECT_NE(first.link->lid, second.link->lid);
  ASSERT_EQ(vxi11_open_device(bench::kI2, &other), 0);
  EXPECT_EQ(vxi11_clients_used(), 2);

  // The first close destroys only its link; the client keeps serving.
  EXPECT_EQ(vxi11_close_device(bench::kI1, &first), 0);
  EXPECT_EQ(first.link, nullptr);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 1);
  EXPECT_EQ(Ask(second, "*IDN?"), kI1Idn);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &second), 0);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 0);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &second), -4);
  // A closed address's slot is blanked, not given back.
  EXPECT_EQ(vxi11_clients_used(), 2);
  EXPECT_EQ(Ask(other, "*IDN?"), "Tavrin,TVS-9020,TV9020B0002,3.1.0\n");
  EXPECT_EQ(vxi11_close_device(bench::kI2, &other), 0);
}

// What ":TEST:LASTWRITE?" reports for a message of `length` bytes written
// in chunks of at most `limit`: count, total, then size/flags per chunk.
std::string ChunkRecord(std::size_t length, std::size_t limit) {
  std::string chunks;
  std::size_t count = 0;
  std::size_t remaining = length;
  do {
    bool last = remaining <= limit;
    std::size_t size = last ? remaining : limit;
    chunks += "," + std::to_string(size) + (last ? "/8" : "/0");
    remaining -= size;
    ++count;
  } while (remaining > 0);
  return std::to_string(count) + "," + std::to_string(length) + chunks + "\n";
}

TEST_F(Vxi11Bench, WritesGoInChunksWithTheEndFlagOnTheLastOnly) {
  REQUIRE_BENCH();
  struct Case {
    const char* maxRecvSize;
    std::size_t limit;
    std::vector<std::size_t> lengths;
  };
  // maxRecvSize 0 means chunks of 4096; a message of exactly the limit is
  // still one write.
  const Case cases[] = {{"0", 4096, {4, 4096, 4097, 10000}}, {"7", 7, {6, 7, 8, 20}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("max_recv_size=") + c.maxRecvSize);
    Knob("i1", "max_recv_size", c.maxRecvSize);
    Vxi11Link link;
    ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
    EXPECT_EQ(link.link->maxRecvSize, std::stoul(c.maxRecvSize));
    for (std::size_t length : c.lengths) {
      // "*CLS" padded with blanks: a command that leaves no reply.
      std::string command = "*CLS" + std::string(length - 4, ' ');
      ASSERT_EQ(vxi11_send(&link, command.data(), command.size()), 0);
      EXPECT_EQ(Ask(link, ":TEST:LASTWRITE?"), ChunkRecord(length, c.limit)) << length;
    }
    // An empty command is one write without data, with the end flag.
    ASSERT_EQ(vxi11_send(&link, ""), 0);
    EXPECT_EQ(Ask(link, ":TEST:LASTWRITE?"), "1,0,0/8\n");
    EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
  }
}

TEST_F(Vxi11Bench, ReplyFillingTheBufferExactlyOrOverflowingIt) {
  REQUIRE_BENCH();
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  std::vector<char> buffer(100 + 16, '#');
  // 99 pattern bytes and a newline: exactly the 100 bytes offered.
  EXPECT_EQ(vxi11_send_and_receive(&link, ":TEST:REPLY? 99", buffer.data(), 100, kTimeoutMs), 100);
  EXPECT_EQ(std::string(buffer.data() + 90, 10), "012345678\n");
  EXPECT_EQ(std::string(buffer.data() + 100, 16), std::string(16, '#'));
  // One byte more: the buffer fills without the end of the reply.
  EXPECT_EQ(vxi11_send_and_receive(&link, ":TEST:REPLY? 100", buffer.data(), 100, kTimeoutMs),
            -100);
  EXPECT_EQ(std::string(buffer.data() + 100, 16), std::string(16, '#'));
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

TEST_F(Vxi11Bench, LargeReplyArrivesWhole) {
  REQUIRE_BENCH();
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI2, &link), 0);
  std::vector<char> buffer(300000, '\0');
  long n = vxi11_send_and_receive(&link, ":TEST:REPLY? 250000", buffer.data(), buffer.size(),
                                  kTimeoutMs);
  ASSERT_EQ(n, 250001);
  EXPECT_EQ(std::string(buffer.data() + 249990, 11), "0123456789\n");
  EXPECT_EQ(vxi11_close_device(bench::kI2, &link), 0);
}

TEST_F(Vxi11Bench, LinkErrorStillOpensAndLaterCallsUseItsLid) {
  REQUIRE_BENCH();
  Knob("i1", "link_error", "11");
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  EXPECT_EQ(link.link->error, 11);
  // The instrument knows no such link: the write reports error 4.
  EXPECT_EQ(vxi11_send(&link, "*IDN?"), -4);
  char reply[64] = {0};
  EXPECT_EQ(vxi11_send_and_receive(&link, "*IDN?", reply, sizeof reply, kTimeoutMs), -1);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

TEST_F(Vxi11Bench, HostileReplyLargerThanRequestedIsRefused) {
  REQUIRE_BENCH();
  Knob("i1", "oversize_reply", "1");
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  std::vector<char> buffer(64 + 64, '#');
  ASSERT_EQ(vxi11_send(&link, "*IDN?"), 0);
  EXPECT_EQ(vxi11_receive(&link, buffer.data(), 64, kTimeoutMs), -VXI11_NULL_READ_RESP);
  // Every attempt is refused the same way; nothing lands anywhere.
  EXPECT_EQ(vxi11_send_and_receive(&link, "*IDN?", buffer.data(), 64, kTimeoutMs),
            -VXI11_NULL_READ_RESP);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(128, '#'));
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

TEST_F(Vxi11Bench, InstrumentTakingNothingEndsInAWriteError) {
  REQUIRE_BENCH();
  Knob("i1", "accept_zero", "1");
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  EXPECT_EQ(vxi11_send(&link, "*IDN?"), -17);
  char reply[64] = {0};
  EXPECT_EQ(vxi11_send_and_receive(&link, "*IDN?", reply, sizeof reply, kTimeoutMs), -1);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

TEST_F(Vxi11Bench, DeviceErrorsOnReadAndMissingServer) {
  REQUIRE_BENCH();
  Knob("i1", "reply_delay_ms", "500");
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  char reply[64] = {0};
  // The reply is not ready within the 50 ms the caller waits.
  EXPECT_EQ(vxi11_send_and_receive(&link, "*IDN?", reply, sizeof reply, 50), -2);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
  // Without a server the portmapper knows no core channel.
  Knob("i2", "vxi", "off");
  Vxi11Link none;
  EXPECT_EQ(vxi11_open_device(bench::kI2, &none), -1);
  EXPECT_EQ(vxi11_clients_used(), 1);
}

}  // namespace
