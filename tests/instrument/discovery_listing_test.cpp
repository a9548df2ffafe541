// The order and the rules by which responders become list entries while
// the passes run side by side and identifications end in any order.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/discovery_listing.h"

namespace {

constexpr std::uint32_t kNetA = 0x0A;
constexpr std::uint32_t kNetB = 0x0B;

// One step of a discovery, as the pass loop feeds the listing.
struct Step {
  enum Kind { Reply, Identified, Skipped, EndPass, Stop } kind;
  std::size_t pass = 0;
  std::string address;
  std::string idn;
};

Step Reply(std::size_t pass, const std::string& address) { return {Step::Reply, pass, address, ""}; }
Step Identified(const std::string& address, const std::string& idn) {
  return {Step::Identified, 0, address, idn};
}
Step Skipped(const std::string& address) { return {Step::Skipped, 0, address, ""}; }
Step End(std::size_t pass) { return {Step::EndPass, pass, "", ""}; }
// What a stop does to the listing: every pass ends at once.
Step Stop() { return {Step::Stop, 0, "", ""}; }

struct Case {
  const char* name;
  std::vector<std::uint32_t> networks;
  std::vector<Step> steps;
  std::vector<std::string> listed;  // "ip idn" in the order collected
  std::vector<std::string> identified;  // addresses that needed an identification
};

std::vector<std::string> Feed(const Case& c, std::vector<std::string>* identified) {
  DiscoveryListing listing(c.networks);
  std::vector<std::string> listed;
  auto collect = [&listed](const InstrumentInfo& info) { listed.push_back(info.ip + " " + info.idn); };
  for (const Step& step : c.steps) {
    switch (step.kind) {
      case Step::Reply:
        if (listing.AddReply(step.pass, step.address)) identified->push_back(step.address);
        break;
      case Step::Identified: listing.SetIdentified(step.address, step.idn); break;
      case Step::Skipped: listing.Skip(step.address); break;
      case Step::EndPass: listing.EndPass(step.pass); break;
      case Step::Stop:
        for (std::size_t pass = 0; pass < c.networks.size(); ++pass) listing.EndPass(pass);
        break;
    }
    listing.Deliver(collect);
  }
  EXPECT_TRUE(listing.Complete()) << c.name;
  return listed;
}

class DiscoveryListingTest : public ::testing::TestWithParam<Case> {};

TEST_P(DiscoveryListingTest, ListsInReplyOrderByTheRules) {
  const Case& c = GetParam();
  std::vector<std::string> identified;
  EXPECT_EQ(Feed(c, &identified), c.listed);
  EXPECT_EQ(identified, c.identified);
}

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"IdentificationsEndingOutOfOrderKeepTheReplyOrder",
       {kNetA},
       {Reply(0, "a1"), Reply(0, "a2"), Reply(0, "a3"), Identified("a3", "X3"),
        Identified("a2", "X2"), Identified("a1", "X1"), End(0)},
       {"a1 X1", "a2 X2", "a3 X3"},
       {"a1", "a2", "a3"}},
      {"LaterPassWaitsForTheEarlierPassToEnd",
       {kNetA, kNetB},
       {Reply(1, "b1"), Identified("b1", "Y"), Reply(0, "a1"), Identified("a1", "X"), End(1),
        Reply(0, "a2"), Identified("a2", "Z"), End(0)},
       {"a1 X", "a2 Z", "b1 Y"},
       {"b1", "a1", "a2"}},
      {"OneInstrumentOnTwoNetworksIsListedOnceByItsFirstAddress",
       {kNetA, kNetB},
       {Reply(1, "b1"), Reply(0, "a1"), Identified("b1", "Same"), Identified("a1", "Same"), End(0),
        End(1)},
       {"a1 Same"},
       {"b1", "a1"}},
      {"TwoInstrumentsWithOneTextOnOneNetworkAreBothListed",
       {kNetA, kNetB},
       {Reply(0, "a1"), Reply(0, "a2"), Reply(1, "b1"), Identified("a1", "Same"),
        Identified("a2", "Same"), Identified("b1", "Same"), End(0), End(1)},
       {"a1 Same", "a2 Same"},
       {"a1", "a2", "b1"}},
      {"TwoPassesOnOneNetworkNeverMergeByText",
       {kNetA, kNetA},
       {Reply(0, "a1"), Reply(1, "a2"), Identified("a1", "Same"), Identified("a2", "Same"), End(0),
        End(1)},
       {"a1 Same", "a2 Same"},
       {"a1", "a2"}},
      {"FailedIdentificationsAreListedAndNeverMerged",
       {kNetA, kNetB},
       {Reply(0, "a1"), Reply(1, "b1"), Identified("a1", ""), Identified("b1", ""), End(0), End(1)},
       {"a1 ", "b1 "},
       {"a1", "b1"}},
      {"AnAddressAnsweringTwiceOrOnTwoPassesIsIdentifiedAndListedOnce",
       {kNetA, kNetA},
       {Reply(0, "a1"), Reply(0, "a1"), Reply(1, "a1"), Identified("a1", "X"), End(0), End(1)},
       {"a1 X"},
       {"a1"}},
      {"AStopStillListsWhatWasBeingIdentifiedInReplyOrder",
       {kNetA},
       {Reply(0, "a1"), Reply(0, "a2"), Identified("a2", "X2"), Stop(), Identified("a1", "X1")},
       {"a1 X1", "a2 X2"},
       {"a1", "a2"}},
      {"AStopTakesNoFurtherReplyAndSkipsWhatNeverStarted",
       {kNetA, kNetB},
       {Reply(0, "a1"), Reply(0, "a2"), Reply(0, "a3"), Identified("a1", "X1"), Stop(),
        Skipped("a2"), Reply(1, "b1"), Identified("a3", "X3")},
       {"a1 X1", "a3 X3"},
       {"a1", "a2", "a3"}},
      {"RepliesToAnEndedPassAreIgnored",
       {kNetA},
       {Reply(0, "a1"), End(0), Reply(0, "a2"), Identified("a1", "X")},
       {"a1 X"},
       {"a1"}},
  };
  // After 1000 distinct responders the seen-address list is full: a repeated
  // reply of a later one is listed again, one of the first 1000 is not.
  Case full{"AFullSeenListListsRepeatedRepliesAgain", {kNetA}, {}, {}, {}};
  for (int i = 0; i < 1001; ++i) {
    std::string address = "r" + std::to_string(i);
    full.steps.push_back(Reply(0, address));
    full.steps.push_back(Identified(address, "I" + std::to_string(i)));
    full.listed.push_back(address + " I" + std::to_string(i));
    full.identified.push_back(address);
  }
  full.steps.push_back(Reply(0, "r1000"));
  full.steps.push_back(Reply(0, "r999"));
  full.steps.push_back(End(0));
  full.listed.push_back("r1000 I1000");
  cases.push_back(full);
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Rules, DiscoveryListingTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
