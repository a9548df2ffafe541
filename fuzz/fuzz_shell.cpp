#include "fuzz/fuzz_shell.h"

#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"

namespace fuzz {

bool AnsweringShell::RunCommand(const char*, const char*, const char*, const char* command,
                                const char* expected, int* matched, char* output,
                                std::size_t outputCapacity) {
  const Reply reply = answer ? answer(command != nullptr ? command : "") : Reply();
  if (!reply.ok) return false;
  // The SSH channel's contract: at most outputCapacity bytes, no terminator
  // added; a match compares the first 256 bytes with the expected text.
  if (output != nullptr)
    std::memcpy(output, reply.output.data(), std::min(reply.output.size(), outputCapacity));
  if (expected != nullptr && matched != nullptr) *matched = reply.output.substr(0, 256) == expected;
  return true;
}

bool AnsweringShell::SendFile(const char*, const char*, const char* localPath, const char*) {
  copiedFiles.push_back(localPath != nullptr ? localPath : "");
  return copySucceeds && localPath != nullptr && Exists(localPath);
}

}  // namespace fuzz
