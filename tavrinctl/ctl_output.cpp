#include "tavrinctl/ctl_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CtlOutput::CtlOutput() {
  std::fflush(stdout);
  const int own = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  error_ = own < 0 ? errno : 0;
  // Before anything else opens a file: with no standard output to begin
  // with, descriptor 1 would otherwise go to the next file opened.
  dup2(STDERR_FILENO, STDOUT_FILENO);
  if (own >= 0) stream_ = fdopen(own, "w");
  if (stream_ == nullptr) {
    // No standard output to begin with: everything printed is lost.
    ok_ = false;
    if (own >= 0) close(own);
    stream_ = std::fopen("/dev/null", "we");
  }
}

CtlOutput::~CtlOutput() {
  Finish();
  if (stream_ != nullptr) std::fclose(stream_);
}

bool CtlOutput::Finish() {
  if (finished_) return ok_;
  finished_ = true;
  errno = 0;
  if (stream_ == nullptr || std::fflush(stream_) != 0 || std::ferror(stream_)) {
    ok_ = false;
    if (errno != 0) error_ = errno;
  }
  if (!ok_) {
    std::fprintf(stderr, "tavrinctl: cannot write to standard output: %s\n",
                 error_ != 0 ? std::strerror(error_) : "write error");
  }
  return ok_;
}
