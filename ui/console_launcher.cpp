#include "ui/console_launcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct KnownTerminal {
  const char* name;
  const char* execOption;  // empty: the command follows directly
};

// Debian's alternative first, then common emulators.
constexpr KnownTerminal kTerminals[] = {
    {"x-terminal-emulator", "-e"}, {"xterm", "-e"},          {"gnome-terminal", "--"},
    {"konsole", "-e"},             {"xfce4-terminal", "-x"}, {"mate-terminal", "-x"},
    {"alacritty", "-e"},           {"kitty", ""},            {"foot", ""},
    {"urxvt", "-e"},
};

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

std::string FindInPath(const std::string& name, const std::string& path) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* ExecOptionFor(const std::string& terminal) {
  const std::string name = BaseName(terminal);
  for (const KnownTerminal& known : kTerminals)
    if (name == known.name) return known.execOption;
  return "-e";  // what most emulators understand
}

std::vector<std::string> CommandFor(const std::string& terminal, const std::string& program,
                                    const std::string& argument) {
  std::vector<std::string> command{terminal};
  const std::string option = ExecOptionFor(terminal);
  if (!option.empty()) command.push_back(option);
  // The program and its one argument stay separate words, so a directory
  // with blanks in its name cannot be split into another program's name.
  command.push_back(program);
  command.push_back(argument);
  return command;
}

}  // namespace

std::vector<std::string> TerminalCommand(const std::string& terminalEnv, const std::string& path,
                                         const std::string& program,
                                         const std::string& argument) {
  std::string terminal = FindInPath(terminalEnv, path);
  for (std::size_t i = 0; terminal.empty() && i < sizeof kTerminals / sizeof kTerminals[0]; ++i)
    terminal = FindInPath(kTerminals[i].name, path);
  if (terminal.empty()) return {};
  return CommandFor(terminal, program, argument);
}

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);

  // The grandchild reports a failed exec through the pipe; a successful
  // exec closes it. The middle process ends at once, so nothing is left
  // for this program to wait for.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t middle = fork();
  if (middle < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (middle == 0) {
    close(report[0]);
    setsid();
    pid_t child = fork();
    if (child == 0) {
      execv(args[0], args.data());
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    _exit(child < 0 ? 1 : 0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

bool StartInTerminal(const std::string& program, const std::string& argument) {
  // A missing console would only flash an empty terminal: refuse it here.
  if (!IsExecutableFile(program)) return false;
  const char* terminalEnv = std::getenv("TERMINAL");
  const char* path = std::getenv("PATH");
  std::vector<std::string> command =
      TerminalCommand(terminalEnv ? terminalEnv : "", path ? path : "/usr/bin:/bin", program,
                      argument);
  return SpawnDetached(command);
}
