#pragma once
// What a packing operation did, for the packaging modes to report.
#include <string>

struct PackResult {
  enum Status { Written, InputUnreadable, OutputUnwritable };
  Status status = Written;
  std::string path;  // the file that could not be read or written
};
