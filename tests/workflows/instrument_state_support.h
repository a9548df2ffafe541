#pragma once
// Bench instruments as the workflow tests find and leave them.
#include <string>

namespace wfbench {

// Runs one command on the instrument as root; its standard output, or
// "<failed>" when the call failed.
std::string Shell(const std::string& address, const std::string& password,
                  const std::string& command);
// The same without the output's trailing line feeds.
std::string ShellLine(const std::string& address, const std::string& password,
                      const std::string& command);

// Notes an instrument's installed software and hostname and puts them back
// when it goes: the version file and the system information as found, no
// saved or pending software, no upload left in /tmp, the hostname as found.
class InstrumentKeeper {
 public:
  InstrumentKeeper(const std::string& address, const std::string& password);
  ~InstrumentKeeper();
  InstrumentKeeper(const InstrumentKeeper&) = delete;
  InstrumentKeeper& operator=(const InstrumentKeeper&) = delete;

  const std::string& packageVersionText() const { return versionText_; }
  std::string Run(const std::string& command) const { return Shell(address_, password_, command); }

 private:
  std::string address_;
  std::string password_;
  std::string versionText_;
  std::string systemInfoText_;
  std::string hostName_;
};

// Builds, in `directory`, a kfw package of software 2.5.1 that installs but
// fails its own self-test after the restart.
std::string MakeFailingPackage(const std::string& directory);
// A fresh empty directory under /tmp.
std::string MakeTempDirectory();
// The decoded archive's path beside the test program.
std::string DecodedArchive(const std::string& name);
bool FileExists(const std::string& path);

}  // namespace wfbench
