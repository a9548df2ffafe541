#include "tests/workflows/instrument_state_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "core/settings.h"
#include "instrument/ssh_channel.h"
#include "scripts/script_files.h"
#include "tests/support/bench_env.h"

namespace wfbench {

std::string Shell(const std::string& address, const std::string& password,
                  const std::string& command) {
  std::vector<char> output(4096, '\0');
  if (!ssh_run_command(address.c_str(), "root", password.c_str(), command.c_str(), nullptr,
                       nullptr, output.data(), output.size() - 1))
    return "<failed>";
  return output.data();
}

std::string ShellLine(const std::string& address, const std::string& password,
                      const std::string& command) {
  std::string line = Shell(address, password, command);
  while (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

InstrumentKeeper::InstrumentKeeper(const std::string& address, const std::string& password)
    : address_(address), password_(password) {
  versionText_ = Run("cat /tvs/releases/package_version");
  systemInfoText_ = Run("cat /tvs/etc/system_info");
  hostName_ = ShellLine(address_, password_, "hostname");
}

InstrumentKeeper::~InstrumentKeeper() {
  if (versionText_ == "<failed>" || hostName_ == "<failed>") return;
  Run("printf '%s' '" + versionText_ + "' > /tvs/releases/package_version && " +
      "rm -rf /tvs/releases/previous /tvs/releases/current /tvs/releases/update_pending " +
      "/tmp/tvs_update /tmp/tvs_update.tgz /tmp/kf4_update /tmp/kf4_update.tgz && " +
      "hostname " + hostName_ + " && echo " + hostName_ + " > /etc/hostname");
  if (systemInfoText_ != "<failed>" && !systemInfoText_.empty())
    Run("printf '%s' '" + systemInfoText_ + "' > /tvs/etc/system_info");
}


std::string MakeTempDirectory() {
  char pattern[] = "/tmp/tv_workflows_XXXXXX";
  const char* made = mkdtemp(pattern);
  return made != nullptr ? made : "/tmp";
}

std::string MakeFailingPackage(const std::string& directory) {
  // The sample archive with one more entry in its manifest than it ships,
  // and its own version, so the self-test fails after the restart.
  const std::string stage = directory + "/stage";
  const std::string archive = directory + "/tvs80_2.5.1.tgz";
  const std::string command =
      "mkdir -p " + stage + " && tar -xzf " + bench::BuildDir() + "/examples/tvs80_2.5.0.tgz -C " +
      stage + " && sed -i 's/^package: .*/package: 2.5.1/' " + stage + "/package_version" +
      " && echo '00000000000000000000000000000000  lib/calibration.dat' >> " + stage +
      "/payload/manifest.md5 && tar -czf " + archive + " -C " + stage +
      " package_version models payload";
  if (std::system(command.c_str()) != 0) return std::string();
  const std::string package = directory + "/tvs80_2.5.1.kfw";
  PackPackageFile(archive, package, 1);
  return package;
}

std::string DecodedArchive(const std::string& name) { return ProgramDirectory() + "data/" + name; }

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace wfbench
