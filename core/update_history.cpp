#include "core/update_history.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "core/file_io.h"
#include "core/operation_log.h"
#include "core/settings.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::chrono::seconds kLockWait{30};

// Length of the well-formed UTF-8 sequence at `i`, 0 when there is none
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t SequenceAt(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

// The text with every byte that starts no well-formed character replaced
// by U+FFFD: instruments answer in any encoding, and the JSON library
// refuses to write what is not UTF-8.
std::string ValidUtf8(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceAt(text, i);
    if (length == 0) {
      clean += kReplacement;
      ++i;
    } else {
      clean.append(text, i, length);
      i += length;
    }
  }
  return clean;
}

nlohmann::ordered_json VersionsJson(const InstrumentVersions& versions) {
  if (versions.Empty()) return nullptr;
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  const auto put = [&](const char* key, const std::string& value) {
    if (!value.empty()) object[key] = ValidUtf8(value);
  };
  put("package", versions.package);
  put("driver", versions.driver);
  put("scpi", versions.scpi);
  put("ui", versions.ui);
  return object;
}

std::string TextOf(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

InstrumentVersions VersionsOf(const nlohmann::json& object, const char* key) {
  InstrumentVersions versions;
  auto it = object.find(key);
  if (it == object.end() || !it->is_object()) return versions;
  versions.package = TextOf(*it, "package");
  versions.driver = TextOf(*it, "driver");
  versions.scpi = TextOf(*it, "scpi");
  versions.ui = TextOf(*it, "ui");
  return versions;
}

std::string UserName() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr && *user != '\0' ? user : std::to_string(::getuid());
}

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

// A line cut short by a power cut lacks its line feed; the next record
// must not be glued onto it and lost with it.
bool EndsInLineFeed(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size == 0) return true;
  char last = '\n';
  return ::pread(fd, &last, 1, info.st_size - 1) != 1 || last == '\n';
}

// Writers hold the lock for one write and fsync. A holder that stopped
// (a run suspended at the wrong moment) must not stop every other run, so
// the wait is bounded.
bool LockFile(int fd, int operation) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (::flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A newly made file's name is on disk only once its directory is.
void SyncDirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool Matches(const HistoryRecord& record, const std::string& serialOrAddress) {
  return serialOrAddress.empty() || record.serial == serialOrAddress ||
         record.address == serialOrAddress || record.addressAfter == serialOrAddress;
}

}  // namespace

std::string HistoryPath() {
  const std::string log = OperationLogPath();
  const std::size_t slash = log.rfind('/');
  return (slash == std::string::npos ? std::string() : log.substr(0, slash + 1)) + "history.jsonl";
}

std::string UtcTimestamp(std::time_t when) {
  std::tm utc {};
  ::gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

nlohmann::ordered_json HistoryRecordJson(const HistoryRecord& record) {
  nlohmann::ordered_json line = nlohmann::ordered_json::object();
  const auto put = [&](const char* key, const std::string& value) { line[key] = ValidUtf8(value); };
  const auto putIfAny = [&](const char* key, const std::string& value) {
    if (!value.empty()) put(key, value);
  };
  put("time", record.time);
  put("user", record.user);
  put("computer", record.computer);
  put("program", record.program);
  put("address", record.address);
  putIfAny("address_after", record.addressAfter);
  put("model", record.model);
  put("serial", record.serial);
  put("operation", record.operation);
  putIfAny("hostname", record.hostName);
  putIfAny("package", record.package);
  putIfAny("package_md5", record.packageMd5);
  line["before"] = VersionsJson(record.before);
  line["after"] = VersionsJson(record.after);
  put("result", record.result);
  put("status", record.status);
  line["duration_s"] = static_cast<double>(record.durationMs) / 1000.0;
  if (!record.notes.empty()) {
    nlohmann::ordered_json notes = nlohmann::ordered_json::array();
    for (const std::string& note : record.notes) notes.push_back(ValidUtf8(note));
    line["notes"] = notes;
  }
  return line;
}

bool ParseHistoryLine(const std::string& line, HistoryRecord& record) {
  const nlohmann::json object = nlohmann::json::parse(ValidUtf8(line), nullptr, false);
  if (!object.is_object()) return false;
  record = HistoryRecord();
  record.time = TextOf(object, "time");
  record.user = TextOf(object, "user");
  record.computer = TextOf(object, "computer");
  record.program = TextOf(object, "program");
  record.address = TextOf(object, "address");
  record.addressAfter = TextOf(object, "address_after");
  record.model = TextOf(object, "model");
  record.serial = TextOf(object, "serial");
  record.operation = TextOf(object, "operation");
  record.hostName = TextOf(object, "hostname");
  record.package = TextOf(object, "package");
  record.packageMd5 = TextOf(object, "package_md5");
  record.before = VersionsOf(object, "before");
  record.after = VersionsOf(object, "after");
  record.result = TextOf(object, "result");
  record.status = TextOf(object, "status");
  auto duration = object.find("duration_s");
  if (duration != object.end() && duration->is_number())
    record.durationMs = static_cast<long long>(duration->get<double>() * 1000.0 + 0.5);
  auto notes = object.find("notes");
  if (notes != object.end() && notes->is_array())
    for (const auto& note : *notes)
      if (note.is_string()) record.notes.push_back(note.get<std::string>());
  return true;
}

UpdateHistory::UpdateHistory(std::string path, std::string program)
    : path_(std::move(path)), program_(std::move(program)) {}

bool UpdateHistory::Append(HistoryRecord record) const {
  record.user = UserName();
  record.computer = ComputerName();
  record.program = program_;
  std::string line = HistoryRecordJson(record).dump() + "\n";
  EnsureDirectory(path_);
  const bool created = ::access(path_.c_str(), F_OK) != 0;
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // Each Append opens the file anew, so the lock also keeps threads of one
  // process apart; it ends with the close.
  bool written = LockFile(fd, LOCK_EX);
  if (written) {
    if (!EndsInLineFeed(fd)) line.insert(0, "\n");
    written = WriteAll(fd, line.data(), line.size()) && ::fsync(fd) == 0;
  }
  ::close(fd);
  if (written && created) SyncDirectoryOf(path_);
  return written;
}

HistoryReading ReadHistory(const std::string& path, const std::string& serialOrAddress) {
  HistoryReading reading;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return reading;
  // A shared lock: no append is half written while the lines are read.
  LockFile(fd, LOCK_SH);
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) continue;
    HistoryRecord record;
    if (!ParseHistoryLine(line, record)) {
      reading.warnings.push_back(path + ":" + std::to_string(number) +
                                 ": damaged record skipped");
      continue;
    }
    if (Matches(record, serialOrAddress)) reading.records.push_back(std::move(record));
  }
  ::close(fd);
  return reading;
}
