// The digest against references made without our own digest code: the
// test suite of RFC 1321, and containers digested by md5sum.
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "scripts/md5.h"
#include "scripts/pipelined_md5.h"
#include "scripts/script_files.h"
#include "tests/scripts/scratch_dir_support.h"

namespace {

const std::pair<std::string, std::string> kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, TheTestSuiteOfRfc1321WholeBytewiseAndOnTheDigestThread) {
  for (const auto& [message, digest] : kRfc1321Suite) {
    SCOPED_TRACE("\"" + message + "\"");
    EXPECT_EQ(Md5Hex(message.data(), message.size()), digest);
    Md5 bytewise;
    for (char c : message) bytewise.Update(&c, 1);
    EXPECT_EQ(bytewise.FinalHex(), digest);
    PipelinedMd5 threaded;
    for (char c : message) {
      *threaded.FreePiece() = c;
      threaded.HashPiece(1);
    }
    EXPECT_EQ(threaded.FinalHex(), digest);
  }
}

// The 32 hexadecimal characters md5sum prints for a file.
std::string Md5sumOf(const std::string& path) {
  std::FILE* pipe = popen(("md5sum < '" + path + "'").c_str(), "r");
  char text[33] = {0};
  if (pipe == nullptr) return std::string();
  const std::size_t got = std::fread(text, 1, 32, pipe);
  pclose(pipe);
  return std::string(text, got);
}

class Md5sumContainerTest : public ScratchDirTest {};

TEST_F(Md5sumContainerTest, ContainersDigestedByMd5sumLoadAndOurPackingAgreesWithIt) {
  const std::string plain = "echo hello\nRollbackSection:{{{\nreboot wait\n}}}\n";
  Write("script.scrambled", SwapNibbles(plain));
  const std::string scriptDigest = Md5sumOf(Path("script.scrambled"));
  ASSERT_EQ(scriptDigest.size(), 32u);
  Write("script.data", SwapNibbles(plain) + scriptDigest);
  std::string text;
  ASSERT_TRUE(LoadScriptFile(Path("script.data"), text));
  EXPECT_EQ(text, plain);

  // Larger than one piece of the digest thread.
  std::string archive(600001, '\0');
  std::mt19937 generator(7);
  for (char& c : archive) c = static_cast<char>(generator());
  Write("archive.scrambled", SwapNibbles(archive));
  const std::string digest = Md5sumOf(Path("archive.scrambled"));
  ASSERT_EQ(digest.size(), 32u);
  Write("fw.kfw", SwapNibbles(archive) + digest);
  Write("fw.kf4", SwapNibbles(archive) + "kf4" + digest);
  ASSERT_TRUE(DecodePackage(Path("fw.kfw"), Path("decoded.tgz"), 1));
  EXPECT_TRUE(Read("decoded.tgz") == archive);
  ASSERT_TRUE(DecodePackage(Path("fw.kf4"), Path("decoded.tgz"), 2));
  EXPECT_TRUE(Read("decoded.tgz") == archive);

  Write("archive.tgz", archive);
  PackPackageFile(Path("archive.tgz"), Path("packed.kfw"), 1);
  const std::string packed = Read("packed.kfw");
  ASSERT_EQ(packed.size(), archive.size() + 32);
  EXPECT_EQ(packed.substr(archive.size()), digest);
}

}  // namespace
