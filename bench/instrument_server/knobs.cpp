#include "knobs.h"

#include <cstdlib>
#include <fstream>

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

namespace {

unsigned long Number(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 0); }

void Apply(Knobs& knobs, const std::string& key, const std::string& value) {
  if (key == "max_recv_size") knobs.maxRecvSize = Number(value);
  else if (key == "link_error") knobs.linkError = static_cast<long>(Number(value));
  else if (key == "reply_delay_ms") knobs.replyDelayMs = Number(value);
  else if (key == "oversize_reply") knobs.oversizeReply = Number(value) != 0;
  else if (key == "accept_zero") knobs.acceptZero = Number(value) != 0;
  else if (key == "stall_read") knobs.stallRead = Number(value) != 0;
  else if (key == "late_writes") knobs.lateWrites = Number(value);
  else if (key == "late_reads") knobs.lateReads = Number(value);
  else if (key == "lost_reads") knobs.lostReads = Number(value);
  else if (key == "stall_after_link") knobs.stallAfterLink = Number(value) != 0;
  else if (key == "intr") knobs.noInterrupt = value == "none";
  else if (key == "core_port") knobs.rotateCorePort = value == "rotate";
  else if (key == "idle_close") knobs.idleCloseSeconds = Number(value);
}

}  // namespace

Knobs ReadKnobs(const std::string& path) {
  Knobs knobs;
  if (path.empty()) return knobs;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    Apply(knobs, Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
  }
  return knobs;
}
