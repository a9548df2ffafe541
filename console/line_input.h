#pragma once
// The operator's typed input. From a pipe or a file it is read as it comes;
// from a terminal each line is edited with libedit (arrow and Emacs keys,
// Ctrl-R search) and the lines sent to the instrument are kept in a history
// that lasts across runs.
#include <cstddef>
#include <string>

namespace console {

constexpr std::size_t kMaxLine = 2047;
constexpr int kHistoryLines = 1000;

enum class LineRead { Line, TooLong, End };

// Starts line editing when standard input and output are both terminals.
void input_open();
// Ends line editing; the terminal is left as it was found.
void input_close();
bool input_is_edited();

// One character at a time, as getchar() gives them; the address prompt reads
// its words with these. On a terminal such lines are edited but not kept.
int input_getchar();
void input_ungetc(int c);

// Prints `prompt` and reads one line without its line end (LF or CR LF). On a
// terminal the text after the prompt's last newline is what the editor shows
// and redraws.
LineRead input_read_line(const char* prompt, std::string& line);

// Adds a line to the history and to the history file, which keeps the lines
// other consoles saved there meanwhile.
void input_remember(const std::string& line);

// $XDG_STATE_HOME/benchterm/history, or ~/.local/state/benchterm/history when
// XDG_STATE_HOME is unset or not absolute; empty when neither can be named.
std::string history_path();

}  // namespace console
