// Package files: the software archives an upgrade installs, in the
// scrambled container. Both directions stream in 256 KiB pieces, so memory
// does not grow with the package, and the digest of one piece runs on a
// second thread while the next is read and written (smaller pieces cost a
// read and a write call per 2 KiB, which on a large package takes longer
// than the digest).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/file_io.h"
#include "core/settings.h"
#include "scripts/pipelined_md5.h"
#include "scripts/scrambled_container.h"
#include "scripts/script_files.h"

namespace {

constexpr char kKf4Marker[] = "kf4";
constexpr std::size_t kMarkerLength = 3;

ssize_t ReadSome(int fd, char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool ReadExactlyAt(int fd, char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

// Reads `length` bytes from the package's start, hashing them as stored and
// writing them unscrambled (unless `out` is negative: a check alone).
// Returns the number of bytes done.
off_t DecodePieces(int in, int out, off_t length, PipelinedMd5& md5) {
  std::vector<char> plain(PipelinedMd5::kPieceSize);
  off_t done = 0;
  while (done < length) {
    const auto want = static_cast<std::size_t>(
        std::min<off_t>(static_cast<off_t>(PipelinedMd5::kPieceSize), length - done));
    char* stored = md5.FreePiece();
    const ssize_t n = ReadSome(in, stored, want);
    if (n <= 0) break;
    const auto size = static_cast<std::size_t>(n);
    md5.HashPiece(size);
    // The stored piece is being hashed; it is unscrambled into a copy.
    if (out >= 0) {
      SwapNibblesInto(stored, plain.data(), size);
      if (!WriteAll(out, plain.data(), size)) break;
    }
    done += n;
  }
  return done;
}

// Scrambles the whole input into `out`, hashing the written bytes. False
// on any read or write error.
bool EncodePieces(int in, int out, PipelinedMd5& md5) {
  for (;;) {
    char* piece = md5.FreePiece();
    const ssize_t n = ReadSome(in, piece, PipelinedMd5::kPieceSize);
    if (n == 0) return true;
    if (n < 0) return false;
    const auto size = static_cast<std::size_t>(n);
    SwapNibbles(piece, size);
    // Hashing and writing only read the piece, so they run side by side.
    md5.HashPiece(size);
    if (!WriteAll(out, piece, size)) return false;
  }
}

// The archive scrambled, the kf4 marker, the digest; false on any read or
// write error.
bool EncodeIntoPackage(int in, const struct stat& inputStat, int out, int kind) {
  // Room for the archive, the marker and the digest, as the input stands now.
  const off_t expected = inputStat.st_size + static_cast<off_t>(
      (kind == 2 ? kMarkerLength : 0) + kDigestLength);
  PipelinedMd5 md5;
  bool ok = (!S_ISREG(inputStat.st_mode) || ReserveSpace(out, expected)) && EncodePieces(in, out, md5);
  // The digest covers only the archive, not the kf4 marker.
  if (ok && kind == 2) ok = WriteAll(out, kKf4Marker, kMarkerLength);
  const std::string digest = md5.FinalHex();
  return ok && digest.size() == kDigestLength && WriteAll(out, digest.data(), digest.size());
}

bool CheckAndDecode(int in, off_t size, int out, int kind) {
  const std::size_t markerLength = kind == 2 ? kMarkerLength : 0;
  const off_t payload = size - static_cast<off_t>(markerLength + kDigestLength);
  if (payload <= 0) return false;
  char marker[kMarkerLength] = {0, 0, 0};
  char stored[kDigestLength];
  if (markerLength > 0 && !ReadExactlyAt(in, marker, markerLength, payload)) return false;
  if (!ReadExactlyAt(in, stored, kDigestLength, payload + static_cast<off_t>(markerLength))) {
    return false;
  }
  if (out >= 0 && !ReserveSpace(out, payload)) return false;
  PipelinedMd5 md5;
  const off_t written = DecodePieces(in, out, payload, md5);
  const std::string digest = md5.FinalHex();
  return written == payload && digest.size() == kDigestLength &&
         std::memcmp(digest.data(), stored, kDigestLength) == 0 &&
         (kind != 2 || std::memcmp(marker, kKf4Marker, kMarkerLength) == 0);
}

}  // namespace

std::string DefaultPackagePath(const std::string& inputPath, int kind) {
  const auto slash = inputPath.rfind('/');
  std::string name = slash == std::string::npos ? std::string() : inputPath.substr(slash + 1);
  const auto dot = name.rfind('.');
  name = dot == std::string::npos ? std::string() : name.substr(0, dot + 1) + (kind == 2 ? "kf4" : "kfw");
  return WritableDirectory() + name;
}

bool DecodePackage(const std::string& packagePath, const std::string& decodedPath, int kind) {
  const int in = ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat packageStat {};
  if (in >= 0 && ::fstat(in, &packageStat) != 0) {
    ::close(in);
    return false;
  }
  // Decoding onto the package itself would delete the package first.
  if (in >= 0 && SameFile(packageStat, decodedPath)) {
    ::close(in);
    return false;
  }
  ::unlink(decodedPath.c_str());
  if (in < 0) return false;
  // The archive grows under a temporary name beside its final one and takes
  // that name only once verified: a failed check leaves no decoded file.
  // The temporary name is short whatever the final one, which may already
  // be as long as a file name can be.
  const auto slash = decodedPath.rfind('/');
  std::string temporary =
      (slash == std::string::npos ? std::string() : decodedPath.substr(0, slash + 1)) + "decoding.XXXXXX";
  const int out = ::mkostemp(&temporary[0], O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool valid = CheckAndDecode(in, packageStat.st_size, out, kind);
  ::close(in);
  valid = ::fchmod(out, 0644) == 0 && valid;
  valid = ::close(out) == 0 && valid;
  if (valid) valid = ::rename(temporary.c_str(), decodedPath.c_str()) == 0;
  if (!valid) ::unlink(temporary.c_str());
  return valid;
}

bool CheckPackage(const std::string& packagePath, int kind) {
  const int in = ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat packageStat {};
  const bool valid =
      ::fstat(in, &packageStat) == 0 && CheckAndDecode(in, packageStat.st_size, -1, kind);
  ::close(in);
  return valid;
}

PackResult PackPackageFile(const std::string& inputPath, const std::string& outputPath, int kind) {
  const int in = ::open(inputPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return {PackResult::InputUnreadable, inputPath};
  struct stat inputStat {};
  const std::string output = outputPath.empty() ? DefaultPackagePath(inputPath, kind) : outputPath;
  if (::fstat(in, &inputStat) != 0 || S_ISDIR(inputStat.st_mode)) {
    ::close(in);
    return {PackResult::InputUnreadable, inputPath};
  }
  // Truncating the output would destroy an input that is the same file,
  // whatever path names it; such a run writes nothing.
  if (SameFile(inputStat, output)) {
    ::close(in);
    return {PackResult::OutputUnwritable, output};
  }
  EnsureDirectory(output);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return {PackResult::OutputUnwritable, output};
  }
  const bool ok = EncodeIntoPackage(in, inputStat, out, kind);
  ::close(in);
  // A cut-short archive under a valid digest would pass every later check.
  if (::close(out) == 0 && ok) return {};
  ::unlink(output.c_str());
  return {PackResult::OutputUnwritable, output};
}
