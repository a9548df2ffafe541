#pragma once
// The instrument behind the VXI-11 links: SCPI commands, the status
// registers, and per link the queue of replies waiting to be read.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// One device_write call of a program message: bytes sent and its flags.
struct WriteChunk {
  std::size_t bytes;
  long flags;
};

// The replies of one link, in the order they are read. A link's replies
// go with it when it is destroyed.
class OutputQueue {
 public:
  bool ReplyReady(std::uint64_t nowMs) const;
  // When the first queued reply becomes readable; UINT64_MAX when none is.
  std::uint64_t NextReadyAt() const;
  // Takes up to `limit` bytes of the first reply, stopping after
  // `termChar` when it is not negative. `ended` tells whether the reply is
  // used up, `sawTerm` whether it stopped at the term character.
  std::string TakeReply(std::size_t limit, int termChar, bool* ended, bool* sawTerm);
  // Drops the first reply (a read answered with garbage instead).
  void DropReply();
  void Clear() { replies_.clear(); }
  void Add(const std::string& data, std::uint64_t readyAtMs, bool ahead);

 private:
  struct Reply {
    std::string data;
    std::size_t offset;
    std::uint64_t readyAtMs;
  };
  std::deque<Reply> replies_;
};

class ScpiDevice {
 public:
  static constexpr std::uint8_t kMav = 0x10;
  static constexpr std::uint8_t kEsb = 0x20;
  static constexpr std::uint8_t kMss = 0x40;
  static constexpr std::uint8_t kCommandError = 0x20;  // in the ESR

  ScpiDevice(std::string idn, std::string root);

  // Runs one complete program message, written on the link whose replies
  // are `out`, at nowMs; its replies become readable delayMs later.
  // `chunks` is how the message arrived.
  void Execute(const std::string& message, const std::vector<WriteChunk>& chunks,
               std::uint64_t nowMs, std::uint64_t delayMs, OutputQueue& out);

  // The status byte as the link with the replies `out` sees it.
  std::uint8_t StatusByte(std::uint64_t nowMs, const OutputQueue& out) const;
  std::uint8_t ServiceRequestEnable() const { return sre_; }

 private:
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
  const OutputQueue* out_ = nullptr;  // of the message being run
  std::vector<WriteChunk> lastWrite_;
  std::string lastMessage_;  // the bytes of the message before this one
  std::uint8_t esr_ = 0;
  std::uint8_t ese_ = 0xFF;
  std::uint8_t sre_ = 0;
  std::uint64_t now_ = 0;  // time of the message being run
};
