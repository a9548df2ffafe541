#include "scripts/script_interpreter.h"

#include <unistd.h>

#include <boost/regex.hpp>
#include <cstdio>
#include <exception>
#include <sys/stat.h>
#include <vector>

#include "core/remote_shell.h"
#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "scripts/reboot_wait.h"

const char* const kTestSuffix = " >/dev/null 2>&1 && sync && echo yes || echo no";

namespace {

// Captured output of echo and assignment lines: a zero-filled buffer one
// byte larger than what the shell may write, so it stays terminated.
constexpr std::size_t kOutputCapacity = 4095;

// The statement patterns, exactly as the script language defines them. A
// TAB is written \t; under the default options "." also matches a line feed.
struct Patterns {
  const boost::regex comment{R"re(^\s*\t*#.*)re", boost::regex::perl};
  const boost::regex echo{R"re(^[\s\t]*echo[\s\t]+)re", boost::regex::perl};
  const boost::regex assignment{R"re(^\s*\t*(\w+)\s*\t*=.+)re", boost::regex::perl};
  const boost::regex echoedValue{R"re(\((\w+)===([-\.:\\/\w\s\t]*)\))re", boost::regex::perl};
  const boost::regex ifStart{R"re(\s*\t*if[\s\t]+.+)re", boost::regex::perl};
  const boost::regex fiLine{R"re(^[\s\t]*fi\b[\s\t]*)re", boost::regex::perl};
  const boost::regex ifThenElse{R"re(if\s*\t*(\[*.*\]*);\s*\t*then\s*\t*(.*)\s*\t*else\s*\t*(.*)fi)re",
                                boost::regex::perl | boost::regex::icase};
  const boost::regex ifThen{R"re(if\s*\t*(\[*.*\]*);\s*\t*then\s*\t*(.*)\s*\t*fi)re",
                            boost::regex::perl | boost::regex::icase};
  const boost::regex exit{R"re(^[\s\t]*exit\b[\s\t]*(version|success)*\b)re", boost::regex::perl};
  const boost::regex reboot{R"re(^[\s\t]*reboot\b[\s\t]*(wait)*\b)re", boost::regex::perl};
  const boost::regex scp{R"re(^[\s\t]*scp[\s\t]+([-:\.\\$/\(\)\s\w]+)[\s\t]+([-:\.\\$/\w]+))re",
                         boost::regex::perl};
  const boost::regex variable{R"re(\$\{?(\w+)\}?)re", boost::regex::perl | boost::regex::icase};
};

// Compiled once per program; a compiled pattern is only read afterwards,
// which is safe from any thread.
const Patterns& GetPatterns() {
  static const Patterns patterns;
  return patterns;
}

// Boost.Regex throws when a search grows too complex; a line that cannot be
// matched is treated as not matching rather than ending the worker.
bool Search(const std::string& subject, const boost::regex& pattern, boost::smatch* match = nullptr) {
  try {
    if (match != nullptr) return boost::regex_search(subject, *match, pattern);
    return boost::regex_search(subject, pattern);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "script pattern search failed: %s\n", e.what());
    return false;
  }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  std::string result;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size()) {
    result.append(text, start, at - start);
    result += to;
  }
  if (start == 0) return;
  result.append(text, start, std::string::npos);
  text.swap(result);
}

bool TakeLine(std::string& remaining, std::string& line) {
  if (remaining.empty()) return false;
  std::size_t end = remaining.find('\n');
  end = end == std::string::npos ? remaining.size() : end + 1;
  line.assign(remaining, 0, end);
  remaining.erase(0, end);
  return true;
}

std::string RemoveLineFeeds(const char* text) {
  std::string result;
  for (const char* p = text; *p != '\0'; ++p)
    if (*p != '\n') result += *p;
  return result;
}

// Which way an uploaded file went, when the shell can tell: an instrument
// without scp gets its files through its shell instead.
void LogCopyRoute(UpdaterController& controller, CopyRoute route, const std::string& source) {
  const std::string name = source.substr(source.find_last_of("/\\") + 1);
  if (route == CopyRoute::Scp) controller.PostLog(name + " was sent to the instrument with scp.");
  if (route == CopyRoute::Shell)
    controller.PostLog("The instrument has no scp: " + name + " was sent through its shell.");
}

// A run of the interpreter over one piece.
class ScriptRun {
 public:
  ScriptRun(UpdaterController& controller, const std::string& piece, ScriptVariables& variables)
      : controller_(controller), patterns_(GetPatterns()), remaining_(piece), variables_(variables) {}

  ScriptResult Execute();

 private:
  // Each returns true to go on with the next line; false ends the run with
  // result_ set.
  bool RunLine(std::string& line);
  bool Echo(std::string& line);
  bool Assign(std::string& line);
  bool If(const std::string& line);
  bool Exit(const std::string& line);
  bool Reboot(std::string& line);
  bool Copy(std::string& line);
  bool Command(std::string& line);

  bool RunCondition(std::string condition, bool& holds);
  bool Stop(ScriptResult result) {
    result_ = result;
    return false;
  }

  UpdaterController& controller_;
  const Patterns& patterns_;
  std::string remaining_;
  ScriptVariables& variables_;
  ScriptResult result_ = ScriptSuccess;
};

ScriptResult ScriptRun::Execute() {
  std::string line;
  while (!remaining_.empty()) {
    if (controller_.IsCancelRequested()) return ScriptCancelled;
    TakeLine(remaining_, line);
    controller_.progressValue += controller_.progressStep;
    controller_.PostProgress(controller_.progressValue);
    if (!RunLine(line)) return result_;
  }
  return result_;
}

bool ScriptRun::RunLine(std::string& line) {
  if (Search(line, patterns_.comment)) return true;
  if (Search(line, patterns_.echo)) return Echo(line);
  if (Search(line, patterns_.assignment)) return Assign(line);
  if (Search(line, patterns_.ifStart)) return If(line);
  if (Search(line, patterns_.exit)) return Exit(line);
  if (Search(line, patterns_.reboot)) return Reboot(line);
  if (Search(line, patterns_.scp)) return Copy(line);
  return Command(line);
}

bool ScriptRun::Echo(std::string& line) {
  NormalizeLine(line);
  ExpandVariables(line, variables_);
  std::vector<char> output(kOutputCapacity + 1, '\0');
  if (!RunInstrumentCommand(controller_, line.c_str(), nullptr, nullptr, output.data(),
                            kOutputCapacity))
    return Stop(ScriptError);
  controller_.PostLog(RemoveLineFeeds(output.data()));
  return true;
}

bool ScriptRun::Assign(std::string& line) {
  boost::smatch match;
  Search(line, patterns_.assignment, &match);
  const std::string name = match[1].str();
  NormalizeLine(line);
  ExpandVariables(line, variables_);
  // The shell's value comes back between markers the output cannot confuse.
  const std::string command = line + " && echo \"(" + name + "===$" + name + ")\"";
  std::vector<char> output(kOutputCapacity + 1, '\0');
  if (!RunInstrumentCommand(controller_, command.c_str(), nullptr, nullptr, output.data(),
                            kOutputCapacity))
    return Stop(ScriptError);
  boost::smatch echoed;
  const std::string text(output.data());
  variables_[name] = Search(text, patterns_.echoedValue, &echoed) ? echoed[2].str() : std::string();
  return true;
}

bool ScriptRun::RunCondition(std::string condition, bool& holds) {
  ExpandVariables(condition, variables_);
  condition += kTestSuffix;
  int matched = 0;
  if (!RunInstrumentCommand(controller_, condition.c_str(), "yes\n", &matched, nullptr, 0))
    return false;
  holds = matched == 1;
  return true;
}

bool ScriptRun::If(const std::string& line) {
  // The block runs to the first following line that starts with "fi"; the
  // if line itself is never that line.
  std::string block = line;
  std::string next;
  for (;;) {
    if (!TakeLine(remaining_, next)) return Stop(ScriptError);
    block += next;
    if (Search(next, patterns_.fiLine)) break;
  }
  boost::smatch match;
  std::string chosen;
  bool holds = false;
  if (Search(block, patterns_.ifThenElse, &match)) {
    if (!RunCondition(match[1].str(), holds)) return Stop(ScriptError);
    chosen = holds ? match[2].str() : match[3].str();
  } else if (Search(block, patterns_.ifThen, &match)) {
    if (!RunCondition(match[1].str(), holds)) return Stop(ScriptError);
    if (holds) chosen = match[2].str();
  } else {
    return Stop(ScriptError);
  }
  remaining_.insert(0, chosen);
  return true;
}

bool ScriptRun::Exit(const std::string& line) {
  boost::smatch match;
  Search(line, patterns_.exit, &match);
  const std::string word = match[1].matched ? match[1].str() : std::string();
  if (word == "version") return Stop(ScriptExitVersion);
  if (word == "success") return Stop(ScriptSuccess);
  return Stop(ScriptExit);
}

bool ScriptRun::Reboot(std::string& line) {
  boost::smatch match;
  Search(line, patterns_.reboot, &match);
  const bool wait = match[1].matched;
  NormalizeLine(line);
  ReplaceAll(line, "wait", std::string());
  auto serial = variables_.find("SerialNumber");
  const std::string serialNumber = serial == variables_.end() ? std::string() : serial->second;
  // Tells a real restart from a reboot command that did nothing.
  const std::string bootId = wait ? ReadBootId(controller_) : std::string();
  // Started and left to run: the connection drops as the instrument goes down.
  RunInstrumentCommand(controller_, line.c_str(), nullptr, nullptr, nullptr, 0);
  if (wait && !WaitForReboot(controller_, serialNumber, bootId)) return Stop(ScriptReconnectFailed);
  return true;
}

bool ScriptRun::Copy(std::string& line) {
  NormalizeLine(line);
  ExpandVariables(line, variables_);
  boost::smatch match;
  if (!Search(line, patterns_.scp, &match)) return Stop(ScriptError);
  const std::string source = match[1].str();
  const std::string target = match[2].str();
  // Like every other step, a copy needs the connection's login.
  RemoteShell& shell = ShellOf(controller_);
  bool copied = !controller_.userName.empty() && !controller_.password.empty() &&
                shell.SendFile(controller_.userName.c_str(), controller_.password.c_str(),
                               source.c_str(), target.c_str());
  if (copied) LogCopyRoute(controller_, shell.LastCopyRoute(), source);
  // The source is a decoded package: it must not stay behind, copied or not.
  struct stat info;
  if (::stat(source.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) ::unlink(source.c_str());
  return copied ? true : Stop(ScriptError);
}

bool ScriptRun::Command(std::string& line) {
  NormalizeLine(line);
  if (line.empty()) return true;
  ExpandVariables(line, variables_);
  line += kTestSuffix;
  if (!TestInstrumentCommand(controller_, line.c_str())) return Stop(ScriptError);
  return true;
}

}  // namespace

ScriptResult RunScriptSection(UpdaterController& controller, const std::string& piece,
                              ScriptVariables& variables) {
  return ScriptRun(controller, piece, variables).Execute();
}

void NormalizeLine(std::string& line) {
  line.erase(0, line.find_first_not_of(' '));
  line.erase(0, line.find_first_not_of('\t'));
  std::string kept;
  kept.reserve(line.size());
  for (char c : line)
    if (c != '\r' && c != '\n') kept += c;
  line.swap(kept);
}

void ExpandVariables(std::string& line, const ScriptVariables& variables) {
  const boost::regex& reference = GetPatterns().variable;
  std::vector<std::string> names;
  try {
    for (boost::sregex_iterator it(line.begin(), line.end(), reference), end; it != end; ++it)
      names.push_back((*it)[1].str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "variable search failed: %s\n", e.what());
  }
  for (const std::string& name : names) {
    auto value = variables.find(name);
    if (value == variables.end()) continue;  // left for the instrument's shell
    ReplaceAll(line, "$" + name, value->second);
    ReplaceAll(line, "${" + name + "}", value->second);
  }
}
