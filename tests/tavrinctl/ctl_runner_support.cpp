#include "tests/tavrinctl/ctl_runner_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/bench_env.h"

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

namespace {

std::string Program() { return bench::ProgramDir() + "tavrinctl"; }

int ExitStatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

std::size_t SizeOf(const std::string& path) { return ReadFile(path).size(); }

pid_t Start(const std::vector<std::string>& arguments, const std::string& out,
            const std::string& err) {
  std::string program = Program();
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv{program.data()};
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
      _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return child;
}

}  // namespace

CtlRun RunCtl(const std::string& arguments, const std::string& launcher) {
  char directory[] = "/tmp/tv_ctl_XXXXXX";
  const std::string base = mkdtemp(directory) != nullptr ? directory : "/tmp";
  const std::string command = (launcher.empty() ? std::string() : launcher + " ") + Program() +
                              " " + arguments + " >" + base + "/out 2>" + base + "/err";
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

CtlRun RunCtlSignalled(const std::vector<std::string>& arguments, const std::string& runLog,
                       const std::vector<int>& signals) {
  char directory[] = "/tmp/tv_ctl_XXXXXX";
  const std::string base = mkdtemp(directory) != nullptr ? directory : "/tmp";
  const std::size_t logBefore = SizeOf(runLog);
  const pid_t child = Start(arguments, base + "/out", base + "/err");
  CtlRun run;
  if (child < 0) return run;
  // No timing here: the wait only bounds a run that never starts.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  pid_t ended = 0;
  while (SizeOf(runLog) == logBefore && (ended = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (std::size_t i = 0; ended == 0 && i < signals.size(); ++i) {
    kill(child, signals[i]);
    // Two equal signals sent at once may arrive as one.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  if (ended == 0) waitpid(child, &status, 0);
  run.status = ExitStatusOf(status);
  run.out = ReadFile(base + "/out");
  run.err = ReadFile(base + "/err");
  std::system(("rm -rf " + base).c_str());
  return run;
}
