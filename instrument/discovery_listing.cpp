#include "instrument/discovery_listing.h"

#include <algorithm>

namespace {

constexpr std::size_t kMaxSeen = 1000;

}  // namespace

DiscoveryListing::DiscoveryListing(std::vector<std::uint32_t> passNetworks) {
  passes_.resize(passNetworks.size());
  for (std::size_t i = 0; i < passNetworks.size(); ++i) passes_[i].network = passNetworks[i];
}

bool DiscoveryListing::AddReply(std::size_t pass, const std::string& address) {
  if (pass >= passes_.size() || passes_[pass].ended) return false;
  passes_[pass].replies.push_back(address);
  return identified_.emplace(address, Identity()).second;
}

void DiscoveryListing::SetIdentified(const std::string& address, const std::string& idn) {
  auto it = identified_.find(address);
  if (it != identified_.end()) it->second = {Identity::Identified, idn};
}

void DiscoveryListing::Skip(const std::string& address) {
  auto it = identified_.find(address);
  if (it != identified_.end()) it->second = {Identity::Skipped, std::string()};
}

void DiscoveryListing::EndPass(std::size_t pass) {
  if (pass < passes_.size()) passes_[pass].ended = true;
}

bool DiscoveryListing::AlreadySeen(const std::string& address) const {
  return std::find(seen_.begin(), seen_.end(), address.substr(0, kAddressChars)) != seen_.end();
}

bool DiscoveryListing::ListedElsewhere(const std::string& idn, std::uint32_t network) const {
  if (idn.empty()) return false;
  auto range = listedIdn_.equal_range(idn);
  return std::any_of(range.first, range.second,
                     [network](const auto& entry) { return entry.second != network; });
}

void DiscoveryListing::Take(const std::string& address, std::uint32_t network,
                            const InstrumentCollector& collector) {
  if (AlreadySeen(address)) return;
  InstrumentInfo instrumentInfo;
  instrumentInfo.ip = address;
  instrumentInfo.idn = identified_[address].idn;
  // The first address found stays the one listed.
  if (!ListedElsewhere(instrumentInfo.idn, network)) {
    if (!instrumentInfo.idn.empty()) listedIdn_.emplace(instrumentInfo.idn, network);
    if (collector) collector(instrumentInfo);
  }
  if (seen_.size() < kMaxSeen) seen_.push_back(address.substr(0, kAddressChars));
}

void DiscoveryListing::Deliver(const InstrumentCollector& collector) {
  while (current_ < passes_.size()) {
    Pass& pass = passes_[current_];
    if (pass.delivered == pass.replies.size()) {
      if (!pass.ended) return;
      ++current_;
      continue;
    }
    const std::string& address = pass.replies[pass.delivered];
    const Identity& identity = identified_[address];
    if (identity.state == Identity::Pending) return;
    ++pass.delivered;
    if (identity.state == Identity::Identified) Take(address, pass.network, collector);
  }
}

bool DiscoveryListing::Complete() const { return current_ >= passes_.size(); }
