#include "core/settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "core/updater_controller.h"

namespace {

// Longest install directory accepted, in bytes.
constexpr std::size_t kMaxInstallDirectory = 259;

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The user's home directory: HOME, or the password database when unset.
std::string HomeDirectory(const char* home) {
  if (home != nullptr && home[0] == '/') return home;
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
    return std::string();
  }
  return found->pw_dir;
}

// The state directory of the XDG base directories; a relative value of
// XDG_STATE_HOME is ignored, as the base-directory rules ask.
std::string StateHome(const char* stateHome, const char* home) {
  if (stateHome != nullptr && stateHome[0] == '/') return stateHome;
  const std::string base = HomeDirectory(home);
  return base.empty() ? std::string() : base + "/.local/state";
}

bool IsInstalledProgramDirectory(const std::string& programDirectory) {
  // Root passes every permission check, so writability alone would have
  // root's runs (sudo, automation) leave logs and locks in /usr/lib/, where
  // the package manager neither expects nor removes them.
  for (const char* tree : {"/usr/", "/opt/"}) {
    if (programDirectory.compare(0, std::strlen(tree), tree) == 0) return true;
  }
  return ::access(programDirectory.c_str(), W_OK) != 0;
}

// Appends the strings of the array in order and stops at the first element
// that is not a string; what came before it stays.
void AppendTypes(const nlohmann::json& list, std::vector<std::string>& types) {
  for (const auto& element : list) {
    if (!element.is_string()) return;
    types.push_back(LowerAscii(element.get<std::string>()));
  }
}

}  // namespace

std::string ProgramDirectory() {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::string();
  buffer.resize(static_cast<std::size_t>(n));
  const auto slash = buffer.rfind('/');
  return slash == std::string::npos ? std::string() : buffer.substr(0, slash + 1);
}

std::string WritableDirectory() {
  return WritableDirectory(ProgramDirectory(), std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

std::string WritableDirectory(const std::string& programDirectory, const char* stateHome,
                              const char* home) {
  // A build directory or a copy the operator owns keeps everything beside
  // the program, as the tests and the bench expect.
  if (!IsInstalledProgramDirectory(programDirectory)) return programDirectory;
  const std::string state = StateHome(stateHome, home);
  if (state.empty()) return programDirectory;
  const std::string directory = state + "/TavrinOperator/";
  EnsureDirectory(directory);
  return directory;
}

bool EnsureDirectory(const std::string& filePath) {
  const auto last = filePath.rfind('/');
  if (last == std::string::npos || last == 0) return true;
  // Walking from the front creates the outermost missing directory first.
  for (auto slash = filePath.find('/', 1); slash != std::string::npos && slash <= last;
       slash = filePath.find('/', slash + 1)) {
    const std::string directory = filePath.substr(0, slash);
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(filePath.substr(0, last));
}

void LoadInstrumentTypes(UpdaterController& controller) {
  LoadInstrumentTypes(controller, ProgramDirectory() + "InstrumentConfig.json");
}

void LoadInstrumentTypes(UpdaterController& controller, const std::string& configPath) {
  controller.instrumentTypes.clear();
  std::ifstream in(configPath, std::ios::binary);
  if (!in) return;
  // A malformed file parses to "discarded"; nothing is thrown.
  const nlohmann::json config = nlohmann::json::parse(in, nullptr, false);
  if (!config.is_object()) return;
  const auto entry = config.find("InstrumentType");
  if (entry == config.end() || !entry->is_array()) return;
  AppendTypes(*entry, controller.instrumentTypes);
}

void LoadInstallDirectory(UpdaterController& controller) {
  const char* value = std::getenv("TAVRINOPERATOR");
  if (value == nullptr || std::string(value).size() > kMaxInstallDirectory) {
    controller.installDirectory.clear();
    return;
  }
  controller.installDirectory = value;
}

std::string ConsoleDirectory(const UpdaterController& controller) {
  if (!controller.installDirectory.empty()) return controller.installDirectory;
  const std::string program = ProgramDirectory();
  return program.empty() ? program : program.substr(0, program.size() - 1);
}

bool MatchesInstrumentType(const UpdaterController& controller, const std::string& idn) {
  const std::string lower = LowerAscii(idn);
  for (const auto& type : controller.instrumentTypes) {
    if (lower.find(type) != std::string::npos) return true;
  }
  return false;
}
