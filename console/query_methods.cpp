#include "console/query_methods.h"

#include <cstring>
#include <vector>

#include "console/options.h"
#include "console/query_interrupt.h"

namespace console {

namespace {

constexpr int kStbMav = 0x10;  // a reply is ready
constexpr int kStbEsb = 0x20;  // an event such as a command error

enum class Wait { Ready, Esb, Pending, Interrupted };

// What a method answers when its write fails, when the status shows ESB
// while it waits, and when reading the reply fails with error 17.
struct Outcomes {
  bool writeFailedFlag;
  bool esbFlag;
  const char* readErrorReply;
};

// The query's reply buffer, one byte longer than the capacity given to
// link_read so that even a full reply stays a terminated text. One buffer
// serves every query; clearing it zeroes only what the previous read may
// have written, not all 512000 bytes again for every short reply.
class ReplyBuffer {
 public:
  ReplyBuffer() : bytes_(kReplyCapacity + 1, '\0') {}
  char* clear() {
    std::memset(bytes_.data(), 0, dirty_);
    dirty_ = bytes_.size();  // until the read reports how far it wrote
    return bytes_.data();
  }
  // A read that succeeded wrote nothing past the bytes it consumed; after
  // a failed one the whole buffer counts as written.
  void note_read(int result) {
    if (result >= 0) dirty_ = static_cast<std::size_t>(result);
  }
  std::string text() const { return std::string(bytes_.data()); }

 private:
  std::vector<char> bytes_;
  std::size_t dirty_ = 0;  // every byte from here on is zero
};

int read_reply_into(InstrumentLink& link, ReplyBuffer& reply) {
  int rc = link_read(link, reply.clear(), kReplyCapacity, false, false, 0, nullptr);
  reply.note_read(rc);
  return rc;
}

Wait classify(int stb) {
  if ((stb & kStbMav) != 0) return Wait::Ready;
  if ((stb & kStbEsb) != 0) return Wait::Esb;
  return Wait::Pending;
}

Wait wait_by_stb_query(InstrumentLink& link, ReplyBuffer& reply) {
  for (;;) {
    if (link_write(link, "*STB?", 5, false, true) > 0 && read_reply_into(link, reply) > 0) {
      Wait w = classify(read_int(reply.text()));
      if (w != Wait::Pending) return w;
    }
    if (query_interrupted()) return Wait::Interrupted;
    retry_pause();
  }
}

Wait wait_by_readstb(InstrumentLink& link) {
  for (;;) {
    int s = link_read_stb(link, true);
    if (s > 0) {
      Wait w = classify(s);
      if (w != Wait::Pending) return w;
    }
    if (query_interrupted()) return Wait::Interrupted;
    retry_pause();
  }
}

std::string read_reply(InstrumentLink& link, ReplyBuffer& reply, const Outcomes& outcomes,
                       bool& error) {
  for (;;) {
    int rc = read_reply_into(link, reply);
    if (rc > 0) return reply.text();
    if (rc == -kIoError) {
      error = true;
      return outcomes.readErrorReply;
    }
    if (query_interrupted()) return std::string();
    retry_pause();
  }
}

// The steps every method shares: write, wait as the method does, read.
template <typename WaitFn>
std::string run_query(InstrumentLink& link, const std::string& command, bool& error,
                      const Outcomes& outcomes, WaitFn wait) {
  QueryInterruptScope scope;
  error = false;
  static ReplyBuffer reply;  // queries run one at a time, on the main thread
  if (link_write(link, command.data(), static_cast<long>(command.size()), false, true) <= 0) {
    error = outcomes.writeFailedFlag;
    return std::string();
  }
  Wait w = wait(reply);
  if (w == Wait::Esb) error = outcomes.esbFlag;
  if (w != Wait::Ready) return std::string();
  return read_reply(link, reply, outcomes, error);
}

}  // namespace

std::string query_stb_poll(InstrumentLink& link, const std::string& command, bool& error) {
  static const Outcomes outcomes{true, true, "15: IO timeout error"};
  return run_query(link, command, error, outcomes, [&](ReplyBuffer& reply) {
    return is_stb_query(command) ? Wait::Ready : wait_by_stb_query(link, reply);
  });
}

std::string query_readstb_poll(InstrumentLink& link, const std::string& command, bool& error) {
  static const Outcomes outcomes{false, false, ""};
  return run_query(link, command, error, outcomes, [&](ReplyBuffer&) {
    return is_stb_query(command) ? Wait::Ready : wait_by_readstb(link);
  });
}

std::string query_plain(InstrumentLink& link, const std::string& command, bool& error) {
  static const Outcomes outcomes{true, false, "15: IO timeout"};
  return run_query(link, command, error, outcomes, [](ReplyBuffer&) { return Wait::Ready; });
}

std::string query_srq_wait(InstrumentLink& link, const std::string& command, bool& error) {
  static const Outcomes outcomes{false, false, ""};
  return run_query(link, command, error, outcomes,
                   [](ReplyBuffer&) { return srq_wait() ? Wait::Ready : Wait::Interrupted; });
}

QueryMethod select_query_method(int value) {
  switch (value) {
    case 2: return query_readstb_poll;
    case 3: return query_plain;
    case 4: return query_srq_wait;
    default: return query_stb_poll;
  }
}

}  // namespace console
