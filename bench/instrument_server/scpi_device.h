#pragma once
// The instrument behind the VXI-11 links: SCPI commands, the status
// registers and the queue of replies waiting to be read.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// One device_write call of a program message: bytes sent and its flags.
struct WriteChunk {
  std::size_t bytes;
  long flags;
};

class ScpiDevice {
 public:
  static constexpr std::uint8_t kMav = 0x10;
  static constexpr std::uint8_t kEsb = 0x20;
  static constexpr std::uint8_t kMss = 0x40;
  static constexpr std::uint8_t kCommandError = 0x20;  // in the ESR

  ScpiDevice(std::string idn, std::string root);

  // Runs one complete program message at nowMs; its replies become
  // readable delayMs later. `chunks` is how the message arrived.
  void Execute(const std::string& message, const std::vector<WriteChunk>& chunks,
               std::uint64_t nowMs, std::uint64_t delayMs);

  bool ReplyReady(std::uint64_t nowMs) const;
  // When the first queued reply becomes readable; UINT64_MAX when none is.
  std::uint64_t NextReadyAt() const;
  // Takes up to `limit` bytes of the first reply, stopping after
  // `termChar` when it is not negative. `ended` tells whether the reply is
  // used up, `sawTerm` whether it stopped at the term character.
  std::string TakeReply(std::size_t limit, int termChar, bool* ended, bool* sawTerm);
  // Drops the first reply (a read answered with garbage instead).
  void DropReply();
  // device_clear: the replies are gone.
  void Clear();

  std::uint8_t StatusByte(std::uint64_t nowMs) const;
  std::uint8_t ServiceRequestEnable() const { return sre_; }

 private:
  struct Reply {
    std::string data;
    std::size_t offset;
    std::uint64_t readyAtMs;
  };

  // Answers one command; false when the command is unknown. A query
  // appends its answer to `answer`; `ahead` is set for "*STB?", whose
  // answer is read before any reply already waiting.
  bool Run(const std::string& command, std::string& answer, bool& ahead);
  bool RunCommon(const std::string& header, const std::string& argument, std::string& answer,
                 bool& ahead);
  bool RunTest(const std::string& header, const std::string& argument, std::string& answer);
  std::string SystemInfo() const;
  std::string ReadFile(const std::string& path) const;
  std::string LastWrite() const;

  std::string idn_;
  std::string root_;
  std::deque<Reply> replies_;
  std::vector<WriteChunk> lastWrite_;
  std::uint8_t esr_ = 0;
  std::uint8_t ese_ = 0xFF;
  std::uint8_t sre_ = 0;
  std::uint64_t now_ = 0;  // time of the message being run
};
