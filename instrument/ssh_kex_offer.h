#pragma once
// What an SSH server offers in its first key-exchange message, read from
// the bytes it sent before any encryption, and where that offer and ours
// have nothing in common. Lets a failed key exchange name its cause.
#include <string>
#include <vector>

// The algorithm kinds of the offer, in the order the message lists them.
enum KexKind { KexAlgorithms, KexHostKeys, KexCiphers, KexMacs, KexKindCount };

struct KexOffer {
  std::vector<std::string> algorithms[KexKindCount];  // client-to-server lists
};

// Parses the server's identification line(s) and its KEXINIT packet from
// the start of what it sent. False when the bytes hold no complete one.
bool ParseKexOffer(const std::string& received, KexOffer* offer);

// The kind's human name ("host key", "key exchange", "cipher", "MAC").
const char* KexKindName(KexKind kind);

// The kinds whose offered algorithms include none of `supported[kind]`.
std::vector<KexKind> KexKindsWithoutMatch(const KexOffer& offer,
                                          const std::vector<std::string> supported[KexKindCount]);

std::string JoinNames(const std::vector<std::string>& names);
