#include "instrument/ssh_kex_offer.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr unsigned char kMsgKexInit = 20;
constexpr std::size_t kCookieLength = 16;
// A KEXINIT of any real server is a few kilobytes; anything larger is not one.
constexpr std::uint32_t kLargestPacket = 256 * 1024;

bool ReadU32(const std::string& data, std::size_t* at, std::uint32_t* value) {
  if (data.size() < *at + 4) return false;
  *value = 0;
  for (int i = 0; i < 4; ++i)
    *value = (*value << 8) | static_cast<unsigned char>(data[*at + static_cast<std::size_t>(i)]);
  *at += 4;
  return true;
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The server's lines before its identification line may be any text; the
// binary packets start after the line that begins with "SSH-".
bool SkipIdentification(const std::string& received, std::size_t* at) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = received.find('\n', start);
    if (end == std::string::npos) return false;
    bool identification = received.compare(start, 4, "SSH-") == 0;
    start = end + 1;
    if (identification) {
      *at = start;
      return true;
    }
  }
}

}  // namespace

bool ParseKexOffer(const std::string& received, KexOffer* offer) {
  std::size_t at = 0;
  std::uint32_t packetLength = 0;
  if (!SkipIdentification(received, &at) || !ReadU32(received, &at, &packetLength) ||
      packetLength > kLargestPacket || received.size() < at + packetLength || packetLength < 2)
    return false;
  const std::string packet = received.substr(at, packetLength);
  const std::size_t padding = static_cast<unsigned char>(packet[0]);
  if (padding + 2 > packet.size()) return false;
  const std::string payload = packet.substr(1, packet.size() - 1 - padding);
  if (payload.empty() || static_cast<unsigned char>(payload[0]) != kMsgKexInit) return false;
  std::size_t field = 1 + kCookieLength;
  // kex, host key, cipher c2s, cipher s2c, MAC c2s: the client-to-server
  // lists are the ones this client must meet.
  const int kindOfList[] = {KexAlgorithms, KexHostKeys, KexCiphers, -1, KexMacs};
  for (int kind : kindOfList) {
    std::uint32_t length = 0;
    if (!ReadU32(payload, &field, &length) || payload.size() < field + length) return false;
    if (kind >= 0) offer->algorithms[kind] = SplitNames(payload.substr(field, length));
    field += length;
  }
  return true;
}

const char* KexKindName(KexKind kind) {
  switch (kind) {
    case KexAlgorithms: return "key exchange";
    case KexHostKeys: return "host key";
    case KexCiphers: return "cipher";
    case KexMacs: return "MAC";
    default: return "algorithm";
  }
}

std::vector<KexKind> KexKindsWithoutMatch(const KexOffer& offer,
                                          const std::vector<std::string> supported[KexKindCount]) {
  std::vector<KexKind> missing;
  for (int kind = 0; kind < KexKindCount; ++kind) {
    const std::vector<std::string>& ours = supported[kind];
    bool met = std::any_of(offer.algorithms[kind].begin(), offer.algorithms[kind].end(),
                           [&](const std::string& name) {
                             return std::find(ours.begin(), ours.end(), name) != ours.end();
                           });
    // A server that leaves a list empty would meet nobody; no cause to name.
    if (!met && !offer.algorithms[kind].empty()) missing.push_back(static_cast<KexKind>(kind));
  }
  return missing;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}
