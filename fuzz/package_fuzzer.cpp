// Package files: decoding any file of either kind, and packing any archive
// and decoding it back. The first input byte chooses the kind (bit 0), the
// direction (bit 1) and, when packing, which stored byte gets damaged.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "scripts/scrambled_container.h"
#include "scripts/script_files.h"

namespace {

const std::string& WorkDirectory() {
  static const std::string dir = [] {
    std::string path = fuzz::ScratchDirectory() + "packages/";
    ::mkdir(path.c_str(), 0755);
    return path;
  }();
  return dir;
}

// A failed decode leaves nothing beside the package: neither the archive
// nor its temporary.
void CheckDecode(const std::string& package, const std::string& decoded, int kind,
                 const std::string* expected) {
  const bool ok = DecodePackage(package, decoded, kind);
  std::string content;
  if (ok) {
    FUZZ_CHECK(fuzz::ReadFile(decoded, content));
    if (expected != nullptr) FUZZ_CHECK(content == *expected);
  } else {
    FUZZ_CHECK(!fuzz::Exists(decoded));
    FUZZ_CHECK(fuzz::CountEntries(WorkDirectory()) == 1);
  }
  if (expected != nullptr) FUZZ_CHECK(ok);
}

void Clear(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int kind = (data[0] & 1) != 0 ? 2 : 1;
  const bool pack = (data[0] & 2) != 0;
  const std::size_t damage = data[0] >> 2;
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string& dir = WorkDirectory();
  const std::string archive = dir + "archive.tgz";
  const std::string package = dir + (kind == 2 ? "package.kf4" : "package.kfw");
  const std::string decoded = dir + "decoded.tgz";

  if (!pack) {
    FUZZ_CHECK(fuzz::WriteFile(package, body));
    CheckDecode(package, decoded, kind, nullptr);
  } else if (!body.empty()) {
    FUZZ_CHECK(fuzz::WriteFile(archive, body));
    PackPackageFile(archive, package, kind);
    Clear(archive);
    // Whatever the archive holds, its package decodes back to it.
    CheckDecode(package, decoded, kind, &body);
    Clear(decoded);
    // And no stored byte can change without the decode refusing it.
    std::string stored;
    FUZZ_CHECK(fuzz::ReadFile(package, stored));
    stored[damage % stored.size()] ^= 0x20;
    FUZZ_CHECK(fuzz::WriteFile(package, stored));
    FUZZ_CHECK(!DecodePackage(package, decoded, kind));
    FUZZ_CHECK(!fuzz::Exists(decoded));
  }
  Clear(package);
  Clear(decoded);
  return 0;
}
