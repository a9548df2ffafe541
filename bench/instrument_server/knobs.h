#pragma once
// The server's behaviour knobs, a KEY=VALUE file re-read on every call.
#include <string>

struct Knobs {
  unsigned long maxRecvSize = 1024;  // create_link's answer; 0 allowed
  long linkError = 0;                // create_link answers this error
  unsigned long replyDelayMs = 0;    // a reply becomes readable this late
  bool oversizeReply = false;        // device_read sends more than asked
  bool acceptZero = false;           // device_write takes nothing
  bool stallRead = false;            // device_read times out every time
  // So many device_write (device_read) calls after the knob is set are
  // carried out but answered only after the client's call has timed out.
  unsigned long lateWrites = 0;
  unsigned long lateReads = 0;
  // So many device_read calls after the knob is set are never answered.
  unsigned long lostReads = 0;
  bool stallAfterLink = false;       // only create_link is answered
  bool noInterrupt = false;          // intr=none: create_intr_chan is refused
  bool rotateCorePort = false;       // core_port=rotate: a fresh port per link
  unsigned long idleCloseSeconds = 0;  // idle_close: a silent link is dropped
};

// The text without its leading and trailing blanks and line ends.
std::string Trimmed(const std::string& text);

// A missing or unreadable file gives the defaults; unknown keys (the
// bench's own knobs share the file) are ignored.
Knobs ReadKnobs(const std::string& path);
