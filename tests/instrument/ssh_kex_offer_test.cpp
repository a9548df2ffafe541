// Reading what an SSH server offers from the clear-text start of its
// answer, and naming where that offer and ours do not meet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instrument/ssh_kex_offer.h"

namespace {

std::string U32(std::size_t value) {
  std::string bytes(4, '\0');
  for (int i = 3; i >= 0; --i, value >>= 8) bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xff);
  return bytes;
}

// A server's identification line, then its KEXINIT packet with these lists
// (kex, host key, cipher both ways, MAC both ways, compression both ways,
// languages both ways).
std::string ServerHello(const std::vector<std::string>& lists) {
  std::string payload(1, '\x14');
  payload += std::string(16, 'c');  // cookie
  for (const std::string& list : lists) payload += U32(list.size()) + list;
  payload += std::string(1, '\0') + U32(0);
  const std::size_t padding = 8;
  std::string packet = std::string(1, static_cast<char>(padding)) + payload + std::string(padding, '\0');
  return "a banner line first\r\nSSH-2.0-OpenSSH_9.2p1 Debian-2\r\n" + U32(packet.size()) + packet;
}

const std::vector<std::string> kHardened = {
    "curve25519-sha256,diffie-hellman-group14-sha256", "rsa-sha2-512,rsa-sha2-256",
    "aes128-ctr,aes256-gcm@openssh.com", "aes128-ctr,aes256-gcm@openssh.com",
    "hmac-sha2-256", "hmac-sha2-256", "none", "none", "", ""};

}  // namespace

TEST(SshKexOffer, NamesTheKindsWhoseOfferWeCannotMeet) {
  KexOffer offer;
  ASSERT_TRUE(ParseKexOffer(ServerHello(kHardened), &offer));
  EXPECT_EQ(JoinNames(offer.algorithms[KexHostKeys]), "rsa-sha2-512, rsa-sha2-256");
  EXPECT_EQ(JoinNames(offer.algorithms[KexMacs]), "hmac-sha2-256");

  std::vector<std::string> ours[KexKindCount] = {
      {"curve25519-sha256"}, {"ssh-ed25519", "ssh-rsa"}, {"aes128-ctr"}, {"hmac-sha2-256"}};
  EXPECT_EQ(KexKindsWithoutMatch(offer, ours), std::vector<KexKind>{KexHostKeys});
  ours[KexHostKeys].push_back("rsa-sha2-256");
  EXPECT_TRUE(KexKindsWithoutMatch(offer, ours).empty());
}

TEST(SshKexOffer, RefusesWhatIsNoCompleteKexInit) {
  const std::string hello = ServerHello(kHardened);
  KexOffer offer;
  EXPECT_FALSE(ParseKexOffer("", &offer));
  EXPECT_FALSE(ParseKexOffer("no identification line\r\n", &offer));
  EXPECT_FALSE(ParseKexOffer(hello.substr(0, hello.size() - 20), &offer)) << "cut short";
  std::string otherMessage = hello;
  // The message number follows the identification line, the length and the padding count.
  otherMessage[otherMessage.find('\n', otherMessage.find("SSH-2.0")) + 1 + 4 + 1] = '\x15';
  EXPECT_FALSE(ParseKexOffer(otherMessage, &offer));
  std::string huge = "SSH-2.0-x\r\n" + U32(0x7fffffff) + "x";
  EXPECT_FALSE(ParseKexOffer(huge, &offer));
}
