#pragma once
// Standard output carries only what tavrinctl itself prints. The libraries
// beneath it (the VXI-11 client's diagnostics among them) write to standard
// output as the window's program expects; here descriptor 1 is pointed at
// standard error for them, and tavrinctl prints through a descriptor of its
// own that keeps the original standard output.
#include <cstdio>

class CtlOutput {
 public:
  CtlOutput();
  ~CtlOutput();
  CtlOutput(const CtlOutput&) = delete;
  CtlOutput& operator=(const CtlOutput&) = delete;

  std::FILE* stream() const { return stream_; }
  // Flushes; false (with the reason on standard error) when anything
  // printed could not be written.
  bool Finish();

 private:
  std::FILE* stream_ = nullptr;
  bool finished_ = false;
  bool ok_ = true;
  int error_ = 0;  // why, when known
};
