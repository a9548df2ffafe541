#include "core/operation_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/file_io.h"
#include "core/settings.h"

namespace {

// Longest log text written, in bytes, before the line end.
constexpr std::size_t kMaxLineBytes = 1023;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length a UTF-8 lead byte announces; 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return 2;
  if (byte >= 0xE0 && byte <= 0xEF) return 3;
  if (byte >= 0xF0 && byte <= 0xF4) return 4;
  return 0;
}

// The longest prefix of at most `limit` bytes that does not end inside a
// UTF-8 character: a cut inside one moves back to its lead byte, at most
// three bytes. Bytes that belong to no character (text that is not UTF-8)
// are cut at the limit itself.
std::size_t CharacterBoundary(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t lead = limit;
  while (lead > 0 && limit - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead]))) {
    --lead;
  }
  if (lead == limit) return limit;
  const std::size_t length = SequenceLength(static_cast<unsigned char>(text[lead]));
  return lead + length > limit ? lead : limit;
}

std::string RunHeader(std::time_t now) {
  std::tm local {};
  ::localtime_r(&now, &local);
  char header[64];
  std::snprintf(header, sizeof header, "=============%04d-%02d-%02d %02d:%02d:%02d=============\n",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec);
  return header;
}

}  // namespace

std::string OperationLogPath() { return WritableDirectory() + "TavrinOperator.log"; }

OperationLog::OperationLog(const std::string& path, std::time_t now, Access access) {
  // Close-on-exec: a console started from the window must not inherit the
  // handle and keep the file locked after the window has gone.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // The exclusive open: while one run holds the file, any other gets no handle.
  if (access == Access::Exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  const std::string header = RunHeader(now);
  WriteAll(fd_, header.data(), header.size());
}

OperationLog::~OperationLog() {
  if (fd_ >= 0) ::close(fd_);
}

void OperationLog::AppendLine(const std::string& text) {
  if (fd_ < 0) return;
  std::string line = text.substr(0, CharacterBoundary(text, kMaxLineBytes));
  line += "\r\n";
  // write(2) leaves nothing buffered in the process: the line is on its way
  // to disk as soon as the call returns.
  WriteAll(fd_, line.data(), line.size());
}
