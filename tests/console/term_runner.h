#pragma once
// Runs benchterm as an operator would: fed from a pipe, or typed at on a
// pseudo-terminal.
#include <sys/types.h>

#include <string>
#include <vector>

namespace console_test {

std::string BenchtermPath();

struct PipedRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when killed or timed out
};

// Runs benchterm with `args`, writes `input` to its standard input and
// closes it, and collects both outputs until it ends.
PipedRun RunPiped(const std::vector<std::string>& args, const std::string& input,
                  int timeoutSeconds = 120);

class PtySession {
 public:
  explicit PtySession(const std::vector<std::string>& args);
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Waits until the output after the last match contains `text` (line ends
  // as the program wrote them, "\r" removed); true when it appeared.
  bool Expect(const std::string& text, int timeoutSeconds = 60);
  // The output after the last match, collected for `seconds`.
  std::string Settle(double seconds);
  void Type(const std::string& line);  // the line and Enter, once the editor reads
  void Interrupt();                    // Ctrl-C
  int Wait(int timeoutSeconds = 30);   // exit status, -1 on timeout
  const std::string& Output() const { return output_; }
  pid_t Pid() const { return pid_; }

 private:
  bool ReadSome(int timeoutMs);
  void WaitForTheEditor();

  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
  std::size_t mark_ = 0;
};

}  // namespace console_test
