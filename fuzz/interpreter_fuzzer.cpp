// The script interpreter on any script piece, against a shell that answers
// from the input: every statement form, variable expansion, if blocks,
// copies and reboot waits, with failing calls and cancels at any step.
//
// Input: the piece, a NUL, then the shell's answers, each ended by a NUL.
// An answer's first byte holds flags in its low bits (1: the call fails,
// 2: cancel after it, 4: copies fail from here on; '@' sets none); the rest
// is the command's output. When the answers run out, every call succeeds
// with no output.
#include <errno.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/updater_controller.h"
#include "fuzz/fuzz_shell.h"
#include "fuzz/fuzz_support.h"
#include "scripts/reboot_wait.h"
#include "scripts/script_interpreter.h"

namespace {

// While a piece runs, the copy statement may delete only files in the
// scratch directory: the input names the files it deletes.
bool g_guardDeletes = false;

bool InsideScratch(const char* path) {
  const std::string& dir = fuzz::ScratchDirectory();
  return path != nullptr && std::strncmp(path, dir.c_str(), dir.size()) == 0 &&
         std::strstr(path, "/..") == nullptr;
}

struct Answer {
  int flags = 0;
  std::string output;
};

std::vector<Answer> ReadAnswers(const std::uint8_t* data, std::size_t size) {
  std::vector<Answer> answers;
  while (size > 0) {
    const std::string text = fuzz::Take(data, size, '\0');
    Answer answer;
    if (!text.empty()) {
      answer.flags = static_cast<unsigned char>(text[0]);
      answer.output = text.substr(1);
    }
    answers.push_back(answer);
  }
  return answers;
}

}  // namespace

// The interpreter's deletes end here rather than in the C library.
extern "C" int unlink(const char* path) {
  if (g_guardDeletes && !InsideScratch(path)) {
    errno = EPERM;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The instrument is never searched for on a network.
  SetRebootSearch([](UpdaterController&) { return 0; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string piece = fuzz::Take(data, size, '\0');
  const std::vector<Answer> answers = ReadAnswers(data, size);
  const std::string archive = fuzz::ScratchDirectory() + "update.tgz";
  FUZZ_CHECK(fuzz::WriteFile(archive, "archive"));

  UpdaterController controller;
  fuzz::AnsweringShell shell;
  fuzz::SteppingClock clock;
  controller.shell = &shell;
  controller.clock = &clock;
  controller.userName = "root";
  controller.password = "secret";
  controller.targetAddress = "198.18.0.11";
  controller.progressStep = 1;
  std::size_t next = 0;
  shell.answer = [&](const std::string&) {
    fuzz::Reply reply;
    if (next >= answers.size()) return reply;
    const Answer& answer = answers[next++];
    reply.ok = (answer.flags & 1) == 0;
    reply.output = answer.output;
    if ((answer.flags & 2) != 0) controller.cancelRequested = true;
    if ((answer.flags & 4) != 0) shell.copySucceeds = false;
    return reply;
  };

  ScriptVariables variables{{"SourceFilePath", archive},
                            {"SourceFileName", "update.tgz"},
                            {"RemoteIP", controller.targetAddress},
                            {"SerialNumber", "TV8010A0001"}};
  g_guardDeletes = true;
  const ScriptResult result = RunScriptSection(controller, piece, variables);
  g_guardDeletes = false;

  FUZZ_CHECK(result >= ScriptSuccess && result <= ScriptCancelled);
  // A copied archive never stays behind, whether the copy worked or not.
  for (const std::string& copied : shell.copiedFiles) {
    if (copied == archive) FUZZ_CHECK(!fuzz::Exists(archive));
  }
  return 0;
}
