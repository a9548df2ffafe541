#include "console/line_input.h"

#include <fcntl.h>
#include <histedit.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/scpi_completion.h"

namespace console {

namespace {

EditLine* g_editor = nullptr;
History* g_history = nullptr;
std::string g_editorPrompt;
// The rest of an edited line that the address prompt has not read yet.
std::string g_pending;
std::size_t g_pendingAt = 0;

const char* editor_prompt(EditLine*) { return g_editorPrompt.c_str(); }

unsigned char complete_word(EditLine* editor, int) {
  const LineInfo* info = el_line(editor);
  std::string rest = scpi_completion(std::string(info->buffer, info->cursor));
  if (rest.empty() || el_insertstr(editor, rest.c_str()) != 0) return CC_REFRESH_BEEP;
  return CC_REFRESH;
}

void print(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
}

// One edited line with its line end; false at the end of input (Ctrl-D).
bool edit_line(const char* prompt, std::string& text) {
  g_editorPrompt = prompt;
  int count = 0;
  const char* got = el_gets(g_editor, &count);
  if (got == nullptr || count <= 0) return false;
  text.assign(got, static_cast<std::size_t>(count));
  return true;
}

bool pending() { return g_pendingAt < g_pending.size(); }

std::string take_pending() {
  std::string rest = g_pending.substr(g_pendingAt);
  g_pending.clear();
  g_pendingAt = 0;
  return rest;
}

LineRead finish_line(std::string& line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.size() > kMaxLine ? LineRead::TooLong : LineRead::Line;
}

LineRead read_piped_line(const char* prompt, std::string& line) {
  print(prompt, std::strlen(prompt));
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getchar()) != EOF && c != '\n') {
    any = true;
    line.push_back(static_cast<char>(c));
  }
  if (c == EOF && !any) return LineRead::End;
  return finish_line(line);
}

LineRead read_edited_line(const char* prompt, std::string& line) {
  const char* last_newline = std::strrchr(prompt, '\n');
  const char* shown = last_newline != nullptr ? last_newline + 1 : prompt;
  print(prompt, static_cast<std::size_t>(shown - prompt));
  if (pending()) {
    // Typed after an address on the same line: read as a pipe would.
    print(shown, std::strlen(shown));
    line = take_pending();
  } else if (!edit_line(shown, line)) {
    return LineRead::End;
  }
  return finish_line(line);
}

// Creates `path` and its missing parents, private to the user.
bool make_directories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Held while the history file is read and replaced, so that two consoles
// saving at once each keep the other's lines. The file itself is replaced by
// a rename and cannot carry the lock. Waits a little at most: a line missing
// from the file is better than a console that hangs.
int lock_history(const std::string& path) {
  int fd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  for (int tries = 0; tries < 200; ++tries) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    usleep(10000);
  }
  close(fd);
  return -1;
}

// Writes `lines` whole beside the file and renames it over the file, so
// that a console that ends half-way through never leaves a cut history.
bool write_history(History* lines, const std::string& path) {
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  std::FILE* file = fdopen(fd, "w");
  if (file == nullptr) {
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  HistEvent event;
  bool written = history(lines, &event, H_SAVE_FP, file) >= 0;
  written = std::fclose(file) == 0 && written;
  if (written && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

History* new_history() {
  History* lines = history_init();
  HistEvent event;
  history(lines, &event, H_SETSIZE, kHistoryLines);
  history(lines, &event, H_SETUNIQUE, 1);
  return lines;
}

// Adds `line` to what the file holds now, which may include lines another
// console saved since this one started.
void save_history(const std::string& line) {
  std::string path = history_path();
  if (path.empty() || !make_directories(path.substr(0, path.rfind('/')))) return;
  int lock = lock_history(path);
  if (lock < 0) return;
  History* merged = new_history();
  HistEvent event;
  history(merged, &event, H_LOAD, path.c_str());  // none yet is fine
  history(merged, &event, H_ENTER, line.c_str());
  write_history(merged, path);
  history_end(merged);
  close(lock);
}

}  // namespace

void input_open() {
  if (g_editor != nullptr || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return;
  std::setlocale(LC_CTYPE, "");  // typed multi-byte characters edit as one
  g_history = new_history();
  HistEvent event;
  std::string path = history_path();
  if (!path.empty()) history(g_history, &event, H_LOAD, path.c_str());
  g_editor = el_init("benchterm", stdin, stdout, stderr);
  el_set(g_editor, EL_EDITOR, "emacs");
  // Ctrl-C or Ctrl-Z while a line is edited leave the terminal as found.
  el_set(g_editor, EL_SIGNAL, 1);
  el_set(g_editor, EL_PROMPT, editor_prompt);
  el_set(g_editor, EL_HIST, history, g_history);
  el_set(g_editor, EL_BIND, "^R", "em-inc-search-prev", nullptr);
  el_set(g_editor, EL_ADDFN, "scpi-complete", "complete a common SCPI word", complete_word);
  el_set(g_editor, EL_BIND, "^I", "scpi-complete", nullptr);
  el_source(g_editor, nullptr);
}

void input_close() {
  if (g_editor != nullptr) el_end(g_editor);
  if (g_history != nullptr) history_end(g_history);
  g_editor = nullptr;
  g_history = nullptr;
}

bool input_is_edited() { return g_editor != nullptr; }

int input_getchar() {
  if (g_editor == nullptr) return std::getchar();
  if (!pending()) {
    g_pending.clear();
    g_pendingAt = 0;
    if (!edit_line("", g_pending)) return EOF;
  }
  return static_cast<unsigned char>(g_pending[g_pendingAt++]);
}

void input_ungetc(int c) {
  if (g_editor == nullptr) {
    std::ungetc(c, stdin);
  } else if (c != EOF && g_pendingAt > 0) {
    --g_pendingAt;
  }
}

LineRead input_read_line(const char* prompt, std::string& line) {
  return g_editor != nullptr ? read_edited_line(prompt, line) : read_piped_line(prompt, line);
}

void input_remember(const std::string& line) {
  if (g_history == nullptr) return;
  HistEvent event;
  history(g_history, &event, H_ENTER, line.c_str());
  save_history(line);
}

std::string history_path() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/benchterm/history";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return std::string(home) + "/.local/state/benchterm/history";
}

}  // namespace console
