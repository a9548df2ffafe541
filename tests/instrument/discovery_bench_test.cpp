// Discovery from the operator's namespace, which has an address on each of
// the bench's two networks.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "tests/instrument/discovery_peers_support.h"
#include "tests/support/bench_env.h"

namespace {

const std::map<std::string, std::string> kBenchIdn = {
    {bench::kI1, "Tavrin,TVS-8010,TV8010A0001,2.4.1"},
    {bench::kI2, "Tavrin,TVS-9020,TV9020B0002,3.1.0"},
    {bench::kI3, "Tavrin,TVS-8010,TV8010A0003,2.4.1"},
    {bench::kI4, "Tavrin,TVX-100,TVX100C0004,1.0.0"},
};

// i3 may be reached on either network; name it by its first address.
std::map<std::string, std::string> ByAddress(const std::vector<InstrumentInfo>& found) {
  std::map<std::string, std::string> byAddress;
  for (const InstrumentInfo& info : found) {
    std::string ip = info.ip == bench::kI3Second ? bench::kI3 : info.ip;
    EXPECT_EQ(byAddress.count(ip), 0u) << ip << " listed twice";
    byAddress[ip] = info.idn;
  }
  return byAddress;
}

// Leaves out the entries for the operator's own addresses, which a junk
// sender's look-alike replies name with a port where nothing listens.
std::vector<InstrumentInfo> WithoutOperator(const std::vector<InstrumentInfo>& found) {
  std::vector<InstrumentInfo> kept;
  for (const InstrumentInfo& info : found) {
    if (info.ip != "198.18.0.1" && info.ip != "198.19.0.1")
      kept.push_back(info);
    else
      EXPECT_EQ(info.idn, "") << info.ip;
  }
  return kept;
}

std::vector<InstrumentInfo> Discover() {
  std::vector<InstrumentInfo> found;
  discover_instruments([&found](const InstrumentInfo& info) { found.push_back(info); });
  return found;
}

TEST(DiscoveryBench, EveryInstrumentOnceWithItsIdentification) {
  REQUIRE_BENCH();
  EXPECT_EQ(ByAddress(Discover()), kBenchIdn);
}

TEST(DiscoveryBench, ControllerListKeepsTheConfiguredTypes) {
  REQUIRE_BENCH();
  UpdaterController controller;
  controller.instrumentTypes = {"tvs-80", "tvs-90"};
  EXPECT_EQ(DiscoverInstruments(controller), 3);
  EXPECT_FALSE(controller.discoveryActive);
  std::map<std::string, std::string> expected = kBenchIdn;
  expected.erase(bench::kI4);
  EXPECT_EQ(ByAddress(DiscoveredInstruments()), expected);

  // The list stays until the next discovery; filtering again changes
  // nothing, and without types nothing is kept.
  EXPECT_EQ(FilterDiscoveryResults(controller), 3);
  controller.instrumentTypes.clear();
  EXPECT_EQ(FilterDiscoveryResults(controller), 0);
  EXPECT_TRUE(DiscoveredInstruments().empty());
}

TEST(DiscoveryBench, ResponderWithoutCoreChannelIsIgnored) {
  REQUIRE_BENCH();
  ASSERT_EQ(bench::Run("ctl i2 vxi=off"), 0);
  std::map<std::string, std::string> found = ByAddress(Discover());
  EXPECT_EQ(bench::Run("ctl i2 vxi=on"), 0);
  std::map<std::string, std::string> expected = kBenchIdn;
  expected.erase(bench::kI2);
  EXPECT_EQ(found, expected);
}

// A responder at the operator's address whose replies would hold the
// passes open for their whole 5 s, and whose core channel is a slow way to
// i1. A stop while it is being identified: its identification finishes and
// it is listed with the others, and the discovery ends with it, the passes
// having ended at the stop.
TEST(DiscoveryBench, StopKeepsTheResponderBeingIdentifiedAndEndsThePasses) {
  REQUIRE_BENCH();
  {
    SlowRelay relay;
    ASSERT_NE(relay.port, 0);
    JunkSender responder(relay.port);
    ASSERT_TRUE(responder.ok);
    std::vector<InstrumentInfo> found;
    std::thread worker([&found] { found = Discover(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto stopped = std::chrono::steady_clock::now();
    stop_discovery();
    worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    // On the second network the same text is the same instrument.
    std::map<std::string, std::string> expected = kBenchIdn;
    expected["198.18.0.1"] = kBenchIdn.at(bench::kI1);
    EXPECT_EQ(ByAddress(found), expected);
    EXPECT_LT(seconds, 3.5) << "the identification under way needs about one more second";
  }
  // Stopping when nothing runs is harmless, and the next discovery is whole.
  stop_discovery();
  EXPECT_EQ(ByAddress(Discover()).size(), 4u);
}

}  // namespace

namespace {

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Puts an instrument's VXI-11 server back to answering, whatever happens.
struct StallOf {
  explicit StallOf(const std::string& name) : name_(name) {
    ok = bench::Run("ctl " + name_ + " vxi=stall_after_link") == 0;
  }
  ~StallOf() { bench::Run("ctl " + name_ + " vxi=on"); }
  bool ok = false;

 private:
  std::string name_;
};

}  // namespace

TEST(DiscoveryBench, StopEndsAStalledIdentificationAndIsNeverLost) {
  REQUIRE_BENCH();
  StallOf stall("i1");
  ASSERT_TRUE(stall.ok);

  // A stop that arrives after the discovery was begun, before it runs.
  begin_discovery();
  stop_discovery();
  SteadyClock::time_point start = SteadyClock::now();
  EXPECT_TRUE(Discover().empty());
  EXPECT_LT(SecondsSince(start), 1.0);

  // A stop while i1's identification waits on its silent link: it runs to
  // its 5 s bound, and i1 is listed without an identification.
  std::vector<InstrumentInfo> found;
  start = SteadyClock::now();
  std::thread worker([&found] { found = Discover(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  stop_discovery();
  worker.join();
  EXPECT_LT(SecondsSince(start), 7.0);
  std::map<std::string, std::string> expected = kBenchIdn;
  expected[bench::kI1] = "";
  EXPECT_EQ(ByAddress(found), expected);
}

// Whatever arrives at a pass's port, the discovery ends: junk does not
// hold a pass open at all, and even replies to the very call hold it for
// 5 s at most.
TEST(DiscoveryBench, JunkNeverHoldsAPassOpen) {
  REQUIRE_BENCH();
  {
    JunkSender junk;
    ASSERT_TRUE(junk.ok);
    SteadyClock::time_point start = SteadyClock::now();
    std::vector<InstrumentInfo> found = Discover();
    EXPECT_LT(SecondsSince(start), 4.0) << "a second of silence ends each pass";
    EXPECT_GT(junk.Targets(), 0);
    EXPECT_EQ(ByAddress(found), kBenchIdn);
  }
  JunkSender lookAlikes(1);  // where nothing listens
  ASSERT_TRUE(lookAlikes.ok);
  SteadyClock::time_point start = SteadyClock::now();
  std::vector<InstrumentInfo> found = Discover();
  EXPECT_LT(SecondsSince(start), 12.0) << "5 s per pass, then the identifications";
  EXPECT_GT(lookAlikes.Targets(), 0);
  EXPECT_EQ(ByAddress(WithoutOperator(found)), kBenchIdn);
}

TEST(DiscoveryBench, AFleetOfAHundredIsFoundWholeAndOnce) {
  REQUIRE_BENCH();
  struct Fleet {
    Fleet() { ok = bench::Run("fleet 100") == 0; }
    ~Fleet() { bench::Run("fleet 0"); }
    bool ok = false;
  } fleet;
  ASSERT_TRUE(fleet.ok);
  std::map<std::string, std::string> listed;  // serial -> address
  SteadyClock::time_point start = SteadyClock::now();
  std::vector<InstrumentInfo> found = Discover();
  double seconds = SecondsSince(start);
  for (const InstrumentInfo& info : found) {
    std::size_t at = info.idn.find(",TVF");
    if (at == std::string::npos) continue;
    std::string serial = info.idn.substr(at + 1, 9);
    EXPECT_EQ(listed.count(serial), 0u) << serial << " listed twice";
    listed[serial] = info.ip;
  }
  EXPECT_EQ(listed.size(), 100u);
  // Each is listed by its address on the first network.
  for (const auto& entry : listed) {
    int k = std::stoi(entry.first.substr(3));
    EXPECT_EQ(entry.second, "198.18.0." + std::to_string(100 + k)) << entry.first;
  }
  EXPECT_EQ(ByAddress(found).size(), 104u);
  EXPECT_LT(seconds, 30.0) << "whole discovery";
  std::printf("fleet of 100 on two networks discovered in %.2f s\n", seconds);
}
