#pragma once
// Finding instruments on every local IPv4 network by portmapper broadcast.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class UpdaterController;

// A responder's address is kept to this many characters.
constexpr std::size_t kAddressChars = 19;

struct InstrumentInfo {
  std::string ip;   // dotted IPv4
  std::string idn;  // "*IDN?" reply, at most 255 bytes; empty when it failed
};

using InstrumentCollector = std::function<void(const InstrumentInfo&)>;

// One complete discovery; calls the collector per identified responder, on
// the calling thread, in the order the responders replied. Responders are
// identified side by side, each within 5 s. A pass listens for at most 5 s,
// and only replies to its request keep it listening.
void discover_instruments(const InstrumentCollector& collector);
// Clears the stop flag ahead of a discovery. Called before discoveryActive
// is set, so that a stop that comes between then and the start of
// discover_instruments is kept; without it, discover_instruments clears
// the flag itself.
void begin_discovery();
// Safe from any thread, also when no discovery runs. The running discovery
// takes no further reply and starts no further identification; those under
// way finish, each within its 5 s, and are listed; then it ends.
void stop_discovery();
// How many local networks the last discovery broadcast on; 0 when it could
// broadcast on none (no IPv4 network other than loopback, or no socket),
// which tells a discovery that failed from one that found nothing.
int discovery_networks_reached();
// The program's collector: appends to the discovered list.
void collect_instrument(const InstrumentInfo& info);

// The process-wide discovered list, guarded by a mutex.
std::vector<InstrumentInfo> DiscoveredInstruments();
void ClearDiscoveredInstruments();

// Clears the list, discovers with the discovery flag set, filters; returns
// the number of records left.
int DiscoverInstruments(UpdaterController& controller);
// Keeps the records whose idn matches a configured instrument type.
int FilterDiscoveryResults(UpdaterController& controller);

// The portmapper messages of a broadcast pass, apart from the network.
// A GETPORT call; returns its length, 0 when it does not fit.
std::size_t EncodePortmapGetport(std::uint32_t xid, unsigned long program, unsigned long version,
                                 unsigned long protocol, char* out, std::size_t capacity);
// True for an accepted, successful reply to `xid` that reports a port.
bool DecodePortmapReply(const char* data, std::size_t length, std::uint32_t xid,
                        unsigned long* port);
