#pragma once
// Finding instruments on every local IPv4 network by portmapper broadcast.
#include <functional>
#include <string>
#include <vector>

class UpdaterController;

struct InstrumentInfo {
  std::string ip;   // dotted IPv4
  std::string idn;  // "*IDN?" reply, at most 255 bytes; empty when it failed
};

using InstrumentCollector = std::function<void(const InstrumentInfo&)>;

// One complete discovery; calls the collector per identified responder.
void discover_instruments(const InstrumentCollector& collector);
// Safe from any thread, also when no discovery runs.
void stop_discovery();
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
