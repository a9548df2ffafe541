#pragma once
// "TavrinOperator.log" where the program writes: one dated header per run, then
// one line per log notice, flushed after each line. Held exclusively.
#include <ctime>
#include <string>

class OperationLog {
 public:
  // Exclusive: the window's log, which one run holds. Shared: several runs
  // append side by side; each line goes out in one write, which the kernel
  // never interleaves with another append to the same file.
  enum class Access { Exclusive, Shared };
  // Opens (creating if need be) the file at path and writes the run header
  // for `now`. A file that cannot be opened (or, exclusive, locked) leaves
  // the log closed; every AppendLine then does nothing.
  explicit OperationLog(const std::string& path, std::time_t now = std::time(nullptr),
                        Access access = Access::Exclusive);
  ~OperationLog();
  OperationLog(const OperationLog&) = delete;
  OperationLog& operator=(const OperationLog&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Writes the text (cut to 1023 bytes on a character boundary) and "\r\n".
  void AppendLine(const std::string& text);

 private:
  int fd_ = -1;
};

// "TavrinOperator.log" in WritableDirectory(): beside the program while
// that directory is writable, otherwise in the user's state directory.
std::string OperationLogPath();
