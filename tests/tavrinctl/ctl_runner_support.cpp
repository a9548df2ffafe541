#include "tests/tavrinctl/ctl_runner_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/bench_env.h"

namespace {

std::string Program() { return bench::ProgramDir() + "tavrinctl"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int ExitStatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

}  // namespace

CtlRun RunCtl(const std::string& arguments) {
  char directory[] = "/tmp/tv_ctl_XXXXXX";
  const std::string base = mkdtemp(directory) != nullptr ? directory : "/tmp";
  const std::string command =
      Program() + " " + arguments + " >" + base + "/out 2>" + base + "/err";
  CtlRun run;
  run.status = ExitStatusOf(std::system(command.c_str()));
  run.out = ReadFile(base + "/out");
  run.err = ReadFile(base + "/err");
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
  return run;
}

CtlRun RunCtlInterrupting(const std::vector<std::string>& arguments,
                          const std::function<bool(const std::string&)>& onLine) {
  CtlRun run;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return run;
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv;
    std::string program = Program();
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  FILE* out = fdopen(pipeFds[0], "r");
  char line[4096];
  while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
    run.out += line;
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (onLine(text)) kill(child, SIGINT);
  }
  if (out != nullptr) std::fclose(out);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = ExitStatusOf(status);
  return run;
}
