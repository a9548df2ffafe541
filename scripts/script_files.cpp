#include "scripts/script_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/regex.hpp>
#include <cerrno>

#include "core/file_io.h"
#include "core/operator_view.h"
#include "core/settings.h"
#include "core/updater_controller.h"
#include "scripts/md5.h"
#include "scripts/scrambled_container.h"

namespace {

bool ReadAll(int fd, std::string& content) {
  std::string data;
  char piece[65536];
  for (;;) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;  // a directory, for one, opens but does not read
    if (n == 0) break;
    data.append(piece, static_cast<std::size_t>(n));
  }
  content.swap(data);
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ReadAll(fd, content);
  ::close(fd);
  return ok;
}

// Cuts the four sections out in their fixed order; what is left is the body.
void FillScriptSet(std::string text, ScriptSet& set) {
  ExtractSection("RollbackSection", text, set.rollbackSection);
  ExtractSection("CheckUpdatePendingSection", text, set.checkUpdatePendingSection);
  ExtractSection("DeviceInfoSection", text, set.deviceInfoSection);
  ExtractSection("SetHostNameSection", text, set.setHostNameSection);
  set.mainBody = std::move(text);
  set.lineCounts[PieceMainBody] = CountLines(set.mainBody);
  set.lineCounts[PieceRollback] = CountLines(set.rollbackSection);
  set.lineCounts[PieceCheckUpdatePending] = CountLines(set.checkUpdatePendingSection);
  set.lineCounts[PieceDeviceInfo] = CountLines(set.deviceInfoSection);
  set.lineCounts[PieceSetHostName] = CountLines(set.setHostNameSection);
}

}  // namespace

bool LoadScriptFile(const std::string& path, std::string& plainText) {
  std::string content;
  if (!ReadWholeFile(path, content) || content.size() <= kDigestLength) return false;
  const std::size_t payload = content.size() - kDigestLength;
  // Byte for byte: a digest in upper case, or anything after it, fails.
  if (content.compare(payload, kDigestLength, Md5Hex(content.data(), payload)) != 0) return false;
  content.resize(payload);
  SwapNibbles(&content[0], content.size());
  plainText.swap(content);
  return true;
}

void LoadScriptSets(UpdaterController& controller) {
  LoadScriptSets(controller, ProgramDirectory());
}

void LoadScriptSets(UpdaterController& controller, const std::string& directory) {
  int loaded = 0;
  for (int family = 0; family < kFamilyCount; ++family) {
    ScriptSet& set = controller.scriptSets[family];
    set = ScriptSet();
    std::string text;
    const std::string path =
        directory + "UpdatingScript_" + kFamilyNames[family] + ".data";
    if (!LoadScriptFile(path, text)) continue;
    ++loaded;
    FillScriptSet(std::move(text), set);
  }
  if (loaded < kFamilyCount && controller.view != nullptr) {
    controller.view->MessageBox("UpdatingScripts file has been modified.");
  }
}

void ExtractSection(const std::string& name, std::string& text, std::string& body) {
  // The name goes in verbatim: it is neither escaped nor anchored.
  const std::string pattern = name + "[\\s\\t]*:[\\s\\t]*{{{(.*?)}}}";
  try {
    const boost::regex expression(pattern, boost::regex::perl);
    boost::smatch match;
    if (!boost::regex_search(text, match, expression)) return;
    body = match.str(1);
    text = std::string(match.prefix()) + std::string(match.suffix());
  } catch (const std::exception&) {
    // A name that does not compile, or a text too complex to search,
    // finds no section.
  }
}

int CountLines(const std::string& text) {
  int lines = 0;
  for (char c : text) {
    if (c == '\n') ++lines;
  }
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

PackResult PackScriptFile(const std::string& inputPath, const std::string& outputPath) {
  const std::string input =
      inputPath.empty() ? ProgramDirectory() + "UpdatingScript_kfw.sh" : inputPath;
  const std::string output =
      outputPath.empty() ? ProgramDirectory() + "UpdatingScript_kfw.data" : outputPath;
  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return {PackResult::InputUnreadable, input};
  // Truncating the output would destroy an input that is the same file,
  // whatever path names it; such a run writes nothing.
  struct stat inputStat {};
  if (::fstat(in, &inputStat) != 0 || SameFile(inputStat, output)) {
    ::close(in);
    return {PackResult::OutputUnwritable, output};
  }
  std::string content;
  const bool read = ReadAll(in, content);
  ::close(in);
  if (!read) return {PackResult::InputUnreadable, input};
  EnsureDirectory(output);
  const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {PackResult::OutputUnwritable, output};
  SwapNibbles(&content[0], content.size());
  content += Md5Hex(content.data(), content.size());
  const bool written = WriteAll(fd, content.data(), content.size());
  // A cut-short file would only be refused later; leave none behind.
  if (::close(fd) == 0 && written) return {};
  ::unlink(output.c_str());
  return {PackResult::OutputUnwritable, output};
}
