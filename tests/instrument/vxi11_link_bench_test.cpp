// The VXI-11 client against the bench's instruments: links and the client
// table, chunked writes, replies and buffers, and hostile instruments.
#include <chrono>
#include <cstring>
#include <list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/vxi11_user.h"
#include "tests/support/bench_env.h"

namespace {

const char* const kI1Idn = "Tavrin,TVS-8010,TV8010A0001,2.4.1\n";
constexpr unsigned long kTimeoutMs = 1000;

// Sets server knobs and opens links; at the end every link still open must
// close cleanly, and the knobs are cleared again.
class Vxi11Bench : public ::testing::Test {
 protected:
  void SetUp() override { vxi11_reset_clients(); }
  void TearDown() override {
    for (auto& [address, link] : links_)
      if (link.link != nullptr) EXPECT_EQ(vxi11_close_device(address, &link), 0) << address;
    for (const std::string& undo : undo_) bench::Run(undo);
    vxi11_reset_clients();
  }
  void Knob(const std::string& instrument, const std::string& key, const std::string& value) {
    ASSERT_EQ(bench::Run("ctl " + instrument + " " + key + "=" + value), 0);
    undo_.push_back("ctl " + instrument + " " + key + (key == "vxi" ? "=on" : "="));
  }
  // A link to `address`; nullptr when it did not open.
  Vxi11Link* Open(const char* address) {
    links_.emplace_back(address, Vxi11Link{});
    Vxi11Link& link = links_.back().second;
    const int opened = vxi11_open_device(address, &link);
    EXPECT_EQ(opened, 0) << address;
    return opened == 0 ? &link : nullptr;
  }
  // A link whose calls wait at most 2 s instead of 25, as discovery bounds
  // them; nullptr when it did not open.
  Vxi11Link* OpenWithShortCalls(const char* address) {
    Vxi11Link* link = Open(address);
    timeval wait{2, 0};
    if (link != nullptr) clnt_control(link->client, CLSET_TIMEOUT, reinterpret_cast<char*>(&wait));
    return link;
  }
  // The reply to a query, or the negative result as text.
  std::string Ask(Vxi11Link* link, const char* query) {
    char reply[16384] = {0};
    long n = vxi11_send_and_receive(link, query, reply, sizeof reply - 1, kTimeoutMs);
    return n > 0 ? std::string(reply, static_cast<std::size_t>(n)) : "error " + std::to_string(n);
  }

 private:
  std::vector<std::string> undo_;
  std::list<std::pair<const char*, Vxi11Link>> links_;  // links must not move
};

TEST_F(Vxi11Bench, LinksShareOneClientPerAddressAndCountDown) {
  REQUIRE_BENCH();
  Vxi11Link* first = Open(bench::kI1);
  Vxi11Link* second = Open(bench::kI1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(vxi11_clients_used(), 1);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 2);
  EXPECT_EQ(first->client, second->client);
  EXPECT_NE(first->link->lid, second->link->lid);
  Vxi11Link* other = Open(bench::kI2);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(vxi11_clients_used(), 2);

  // The first close destroys only its link; the client keeps serving.
  EXPECT_EQ(vxi11_close_device(bench::kI1, first), 0);
  EXPECT_EQ(first->link, nullptr);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 1);
  EXPECT_EQ(Ask(second, "*IDN?"), kI1Idn);
  EXPECT_EQ(vxi11_close_device(bench::kI1, second), 0);
  EXPECT_EQ(vxi11_link_count(bench::kI1), 0);
  EXPECT_EQ(vxi11_close_device(bench::kI1, second), -4);
  // A closed address's slot is blanked, not given back.
  EXPECT_EQ(vxi11_clients_used(), 2);
  EXPECT_EQ(Ask(other, "*IDN?"), "Tavrin,TVS-9020,TV9020B0002,3.1.0\n");
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
    Vxi11Link* link = Open(bench::kI1);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->link->maxRecvSize, std::stoul(c.maxRecvSize));
    for (std::size_t length : c.lengths) {
      // "*CLS" padded with blanks: a command that leaves no reply.
      std::string command = "*CLS" + std::string(length - 4, ' ');
      ASSERT_EQ(vxi11_send(link, command.data(), command.size()), 0);
      EXPECT_EQ(Ask(link, ":TEST:LASTWRITE?"), ChunkRecord(length, c.limit)) << length;
    }
    // An empty command is one write without data, with the end flag.
    ASSERT_EQ(vxi11_send(link, ""), 0);
    EXPECT_EQ(Ask(link, ":TEST:LASTWRITE?"), "1,0,0/8\n");
    EXPECT_EQ(vxi11_close_device(bench::kI1, link), 0);
  }
}

TEST_F(Vxi11Bench, RepliesArriveWholeOrReportTheFullBuffer) {
  REQUIRE_BENCH();
  const struct {
    const char* address;
    int size;  // the reply's pattern bytes; a newline follows
    unsigned long capacity;
    long result;
    std::string tail;  // the last bytes of a whole reply
  } cases[] = {
      {bench::kI1, 99, 100, 100, "012345678\n"},  // exactly the bytes offered
      {bench::kI1, 100, 100, VXI11_BUFFER_FULL, ""},
      {bench::kI2, 250000, 300000, 250001, "0123456789\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(":TEST:REPLY? " + std::to_string(c.size));
    Vxi11Link* link = Open(c.address);
    ASSERT_NE(link, nullptr);
    std::vector<char> buffer(c.capacity + 16, '#');
    const std::string query = ":TEST:REPLY? " + std::to_string(c.size);
    ASSERT_EQ(vxi11_send_and_receive(link, query.c_str(), buffer.data(), c.capacity, kTimeoutMs),
              c.result);
    if (c.result > 0)
      EXPECT_EQ(std::string(buffer.data() + c.result - c.tail.size(), c.tail.size()), c.tail);
    // Nothing lands beyond the bytes offered.
    EXPECT_EQ(std::string(buffer.end() - 16, buffer.end()), std::string(16, '#'));
  }
}

TEST_F(Vxi11Bench, ReadTimeoutAndMissingServer) {
  REQUIRE_BENCH();
  Knob("i1", "reply_delay_ms", "500");
  Vxi11Link* link = Open(bench::kI1);
  ASSERT_NE(link, nullptr);
  char reply[64] = {0};
  // The reply is not ready within the 50 ms the caller waits.
  EXPECT_EQ(vxi11_send_and_receive(link, "*IDN?", reply, sizeof reply, 50), -2);
  // Without a server the portmapper knows no core channel, and the failed
  // open takes no slot of the client table.
  Knob("i2", "vxi", "off");
  Vxi11Link none;
  EXPECT_EQ(vxi11_open_device(bench::kI2, &none), -1);
  EXPECT_EQ(vxi11_clients_used(), 1);
}

TEST_F(Vxi11Bench, WritesAndReadsAnsweredTooLateAreTriedAgain) {
  REQUIRE_BENCH();
  Vxi11Link* link = Open(bench::kI3);
  ASSERT_NE(link, nullptr);
  const struct {
    const char* why;
    const char* knob;
    const char* query;
    const char* reply;
  } cases[] = {
      // The instrument ran the first "*ESR?" (32, which it then cleared) and
      // its reply was read; the write answered too late still repeats the
      // attempt.
      {"a write answered too late", "late_writes", "*ESR?", "0\n"},
      {"a read answered too late", "late_reads", "*IDN?", "Tavrin,TVS-8010,TV8010A0003,2.4.1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ASSERT_EQ(vxi11_send(link, "BOGUS"), 0);  // sets the command error bit
    Knob("i3", c.knob, "1");
    EXPECT_EQ(Ask(link, c.query), c.reply);
    Knob("i3", c.knob, "");
  }
}

TEST_F(Vxi11Bench, AReadNeverAnsweredIsTriedAgainAndTheLinkStaysUsable) {
  REQUIRE_BENCH();
  Vxi11Link* link = OpenWithShortCalls(bench::kI3);
  ASSERT_NE(link, nullptr);
  Knob("i3", "lost_reads", "1");
  const std::string idn = "Tavrin,TVS-8010,TV8010A0003,2.4.1\n";
  EXPECT_EQ(Ask(link, "*IDN?"), idn);
  EXPECT_EQ(Ask(link, "*IDN?"), idn);
  EXPECT_EQ(vxi11_link_count(bench::kI3), 1);
}

TEST_F(Vxi11Bench, AnInstrumentThatAnswersNothingAfterTheLinkGetsOneAttempt) {
  REQUIRE_BENCH();
  Vxi11Link* link = OpenWithShortCalls(bench::kI3);
  ASSERT_NE(link, nullptr);
  Knob("i3", "vxi", "stall_after_link");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask(link, "*IDN?"), "error -50");
  // One write and one read waited out, not ten of each.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
  Knob("i3", "vxi", "on");
  // The link's connection still waits for the lost replies, so its close
  // fails; it must free the link all the same.
  vxi11_close_device(bench::kI3, link);
  EXPECT_EQ(link->link, nullptr);
}

// An instrument misbehaving through one server knob, and how each call on
// its link must fail without writing into the caller's buffer.
struct Hostile {
  const char* name;
  const char* knob;
  const char* value;
  long linkError;       // the error create_link reported
  long send;            // result of sending "*IDN?"
  long receive;         // result of the read after a send that went through
  long sendAndReceive;  // result of the query
};

void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

class Vxi11HostileBench : public Vxi11Bench, public ::testing::WithParamInterface<Hostile> {};

TEST_P(Vxi11HostileBench, CallsFailAndNothingLandsInTheBuffer) {
  REQUIRE_BENCH();
  const Hostile& c = GetParam();
  Knob("i1", c.knob, c.value);
  Vxi11Link* link = Open(bench::kI1);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->link->error, c.linkError);
  std::vector<char> buffer(64 + 64, '#');
  EXPECT_EQ(vxi11_send(link, "*IDN?"), c.send);
  if (c.send == 0) EXPECT_EQ(vxi11_receive(link, buffer.data(), 64, kTimeoutMs), c.receive);
  // Every attempt is refused the same way.
  EXPECT_EQ(vxi11_send_and_receive(link, "*IDN?", buffer.data(), 64, kTimeoutMs), c.sendAndReceive);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(128, '#'));
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, Vxi11HostileBench,
    ::testing::Values(
        // The instrument knows no such link: the write reports error 4.
        Hostile{"LinkErrorStillOpensAndLaterCallsUseItsLid", "link_error", "11", 11, -4, 0, -1},
        Hostile{"ReplyLargerThanRequestedIsRefused", "oversize_reply", "1", 0, 0,
                -VXI11_NULL_READ_RESP, -VXI11_NULL_READ_RESP},
        Hostile{"InstrumentTakingNothingEndsInAWriteError", "accept_zero", "1", 0, -17, 0, -1}),
    [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });

}  // namespace
