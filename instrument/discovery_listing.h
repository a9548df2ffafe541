#pragma once
// The order and the rules by which discovery responders become entries of
// the discovered list, apart from the network: replies are taken pass by
// pass in the order they came, identifications may end in any order, and
// each entry reaches the collector once every entry before it has.
//   - The seen-address list (at most 1000 addresses) keeps a responder
//     from being listed twice; once it is full, repeated replies are
//     listed again.
//   - An identification text already listed from another local network
//     is the same instrument answering on two networks: it is not listed
//     again. Two responders on one network are never merged.
//   - A responder whose identification never started (a stop came first)
//     is skipped; every other one is listed, identified or not.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "instrument/discovery.h"

class DiscoveryListing {
 public:
  // One network number per pass (a local address and its netmask).
  explicit DiscoveryListing(std::vector<std::uint32_t> passNetworks);

  // A reply to pass `pass` from `address`. True when that address needs
  // an identification: the first reply from it in this discovery.
  bool AddReply(std::size_t pass, const std::string& address);
  // The identification of `address` (empty text when it failed).
  void SetIdentified(const std::string& address, const std::string& idn);
  // `address` will not be identified: its replies are passed over.
  void Skip(const std::string& address);
  // No more replies to `pass`.
  void EndPass(std::size_t pass);
  // Hands every entry that is due to the collector, in order.
  void Deliver(const InstrumentCollector& collector);
  // Every pass ended and every reply handed on or passed over.
  bool Complete() const;

 private:
  struct Pass {
    std::uint32_t network = 0;
    std::vector<std::string> replies;
    std::size_t delivered = 0;
    bool ended = false;
  };

  bool AlreadySeen(const std::string& address) const;
  bool ListedElsewhere(const std::string& idn, std::uint32_t network) const;
  void Take(const std::string& address, std::uint32_t network,
            const InstrumentCollector& collector);

  // What became of one responder's identification.
  struct Identity {
    enum State { Pending, Identified, Skipped } state = Pending;
    std::string idn;
  };

  std::vector<Pass> passes_;
  std::size_t current_ = 0;
  std::map<std::string, Identity> identified_;
  std::vector<std::string> seen_;
  std::multimap<std::string, std::uint32_t> listedIdn_;
};
