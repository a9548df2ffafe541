#include "scpi_device.h"
#include "knobs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace {

constexpr std::uint8_t kExecutionError = 0x10;
constexpr std::uint8_t kOperationComplete = 0x01;
constexpr unsigned long kMaxTestReply = 64UL * 1024 * 1024;

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The n-th comma-separated field of the identification, or "".
std::string IdnField(const std::string& idn, int n) {
  std::istringstream in(idn);
  std::string field;
  for (int i = 0; i <= n; ++i) {
    if (!std::getline(in, field, ',')) return std::string();
  }
  return Trimmed(field);
}

// A whole non-negative decimal number, or false.
bool ParseCount(const std::string& text, unsigned long max, unsigned long* value) {
  if (text.empty() || !std::all_of(text.begin(), text.end(),
                                   [](unsigned char c) { return std::isdigit(c) != 0; })) {
    return false;
  }
  errno = 0;
  unsigned long n = std::strtoul(text.c_str(), nullptr, 10);
  if (errno != 0 || n > max) return false;
  *value = n;
  return true;
}

}  // namespace

ScpiDevice::ScpiDevice(std::string idn, std::string root) : idn_(std::move(idn)), root_(std::move(root)) {
  while (!root_.empty() && root_.back() == '/') root_.pop_back();
}

void ScpiDevice::Execute(const std::string& message, const std::vector<WriteChunk>& chunks,
                         std::uint64_t nowMs, std::uint64_t delayMs, OutputQueue& out) {
  now_ = nowMs;
  out_ = &out;
  std::string answer;
  bool ahead = false;
  std::string command;
  for (char c : message + ";") {
    if (c != ';' && c != '\n') {
      command += c;
      continue;
    }
    std::string trimmed = Trimmed(command);
    command.clear();
    if (trimmed.empty()) continue;
    if (!Run(trimmed, answer, ahead)) esr_ |= kCommandError;
  }
  // ":TEST:LASTWRITE?" in this message reported the one before it; now
  // this one becomes the last.
  lastWrite_ = chunks;
  lastMessage_ = message;
  out_ = nullptr;
  if (!answer.empty()) out.Add(answer + "\n", ahead ? nowMs : nowMs + delayMs, ahead);
}

bool ScpiDevice::Run(const std::string& command, std::string& answer, bool& ahead) {
  std::size_t blank = command.find_first_of(" \t");
  std::string header = Lowered(command.substr(0, blank));
  std::string argument = blank == std::string::npos ? std::string() : Trimmed(command.substr(blank));
  if (!header.empty() && header[0] == ':') header.erase(0, 1);
  std::string own;
  bool known = header.rfind("test:", 0) == 0 ? RunTest(header, argument, own)
                                             : RunCommon(header, argument, own, ahead);
  if (known && !header.empty() && header.back() == '?') {
    if (!answer.empty()) answer += ';';
    answer += own;
  }
  return known;
}

bool ScpiDevice::RunCommon(const std::string& header, const std::string& argument,
                           std::string& answer, bool& ahead) {
  unsigned long value = 0;
  if (header == "*idn?") {
    answer = idn_;
  } else if (header == "system:info?" || header == "syst:info?") {
    answer = SystemInfo();
  } else if (header == "*stb?") {
    answer = std::to_string(StatusByte(now_, *out_));
    ahead = true;
  } else if (header == "*esr?") {
    answer = std::to_string(esr_);
    esr_ = 0;
  } else if (header == "*sre?") {
    answer = std::to_string(sre_);
  } else if (header == "*ese?") {
    answer = std::to_string(ese_);
  } else if (header == "*sre" || header == "*ese") {
    if (!ParseCount(argument, 255, &value)) {
      esr_ |= kExecutionError;
      return true;
    }
    if (header == "*sre") sre_ = static_cast<std::uint8_t>(value & ~kMss);
    else ese_ = static_cast<std::uint8_t>(value);
  } else if (header == "*cls") {
    esr_ = 0;
  } else if (header == "*opc?") {
    answer = "1";
  } else if (header == "*opc") {
    esr_ |= kOperationComplete;
  } else if (header == "*rst" || header == "*wai") {
    // Nothing to reset or wait for: every command completes at once.
  } else {
    return false;
  }
  return true;
}

bool ScpiDevice::RunTest(const std::string& header, const std::string& argument,
                         std::string& answer) {
  unsigned long size = 0;
  if (header == "test:reply?") {
    if (!ParseCount(argument, kMaxTestReply, &size)) {
      esr_ |= kExecutionError;
      return true;
    }
    static const std::string kPattern = "0123456789";
    answer.reserve(size);
    while (answer.size() < size) answer += kPattern.substr(0, size - answer.size());
  } else if (header == "test:lastwrite?") {
    answer = LastWrite();
  } else if (header == "test:lastmessage?") {
    answer = lastMessage_;
  } else {
    return false;
  }
  return true;
}

std::string ScpiDevice::LastWrite() const {
  std::size_t total = 0;
  std::string chunks;
  for (const WriteChunk& chunk : lastWrite_) {
    total += chunk.bytes;
    chunks += "," + std::to_string(chunk.bytes) + "/" + std::to_string(chunk.flags);
  }
  return std::to_string(lastWrite_.size()) + "," + std::to_string(total) + chunks;
}

std::string ScpiDevice::ReadFile(const std::string& path) const {
  std::ifstream in(root_ + path, std::ios::binary);
  if (!in) return std::string();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScpiDevice::SystemInfo() const {
  std::ifstream probe(root_ + "/tvs/etc/system_info");
  if (probe) {
    std::string text = ReadFile("/tvs/etc/system_info");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }
  std::string model = Trimmed(ReadFile("/tvs/etc/model"));
  if (model.empty()) model = IdnField(idn_, 1);
  std::string version = IdnField(idn_, 3);
  return "MODEL," + model + "\nDRIVER," + version + "\nSERVER," + version;
}

bool OutputQueue::ReplyReady(std::uint64_t nowMs) const {
  return !replies_.empty() && replies_.front().readyAtMs <= nowMs;
}

std::uint64_t OutputQueue::NextReadyAt() const {
  return replies_.empty() ? std::numeric_limits<std::uint64_t>::max() : replies_.front().readyAtMs;
}

void OutputQueue::Add(const std::string& data, std::uint64_t readyAtMs, bool ahead) {
  Reply reply{data, 0, readyAtMs};
  if (ahead) replies_.push_front(reply);
  else replies_.push_back(reply);
}

std::string OutputQueue::TakeReply(std::size_t limit, int termChar, bool* ended, bool* sawTerm) {
  *ended = false;
  *sawTerm = false;
  if (replies_.empty()) return std::string();
  Reply& reply = replies_.front();
  std::size_t count = std::min(limit, reply.data.size() - reply.offset);
  if (termChar >= 0) {
    std::size_t at = reply.data.find(static_cast<char>(termChar), reply.offset);
    if (at != std::string::npos && at < reply.offset + count) {
      count = at - reply.offset + 1;
      *sawTerm = true;
    }
  }
  std::string part = reply.data.substr(reply.offset, count);
  reply.offset += count;
  if (reply.offset >= reply.data.size()) {
    replies_.pop_front();
    *ended = true;
  }
  return part;
}

void OutputQueue::DropReply() {
  if (!replies_.empty()) replies_.pop_front();
}

std::uint8_t ScpiDevice::StatusByte(std::uint64_t nowMs, const OutputQueue& out) const {
  std::uint8_t stb = 0;
  if (out.ReplyReady(nowMs)) stb |= kMav;
  if ((esr_ & ese_) != 0) stb |= kEsb;
  if ((stb & sre_) != 0) stb |= kMss;
  return stb;
}
