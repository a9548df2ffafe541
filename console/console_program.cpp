#include "console/console_program.h"

#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "console/instrument_link.h"
#include "console/line_input.h"
#include "console/srq_channel.h"

namespace console {

namespace {

InstrumentLink g_link;
const OptionTable* g_table = nullptr;  // the run's options, once connected

bool method_is_srq(const OptionTable& table) { return read_int(option_value(table, "method")) == 4; }

void print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void print_attempt(const std::string& address) {
  std::printf("Attempting connection to SCPI server at %s\n", address.c_str());
  std::fflush(stdout);
}

// Method 4: the instrument's interrupt channel and its service requests.
bool open_srq_channel(const OptionTable& table) {
  std::string lip = option_value(table, "lip");
  // Without "lip" the instrument calls back the address it reached us from.
  if (lip.empty()) lip = link_local_address(g_link);
  if (link_create_intr_channel(g_link, lip.c_str()) < 1) {
    print("Creating interrupt channel failed.\n");
    return false;
  }
  if (!srq_semaphore_create()) std::exit(2);
  std::string handle = srq_handle_text();
  link_enable_srq(g_link, true, handle.c_str());
  return true;
}

// One whitespace-delimited word; false at the end of input.
bool read_word(std::string& word) {
  word.clear();
  int c;
  while ((c = input_getchar()) != EOF && std::isspace(c)) {
  }
  while (c != EOF && !std::isspace(c)) {
    word.push_back(static_cast<char>(c));
    c = input_getchar();
  }
  if (c != EOF) input_ungetc(c);
  return !word.empty();
}

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A link the instrument closed while it was idle is replaced, quietly, by
// one that opens; while the instrument is away the line fails on the old
// link as it always did.
void reopen_closed_link() {
  InstrumentLink fresh;
  if (link_open(fresh, g_link.host.c_str(), "inst0") <= 0) {
    link_close(fresh);
    return;
  }
  link_close(g_link);
  g_link = fresh;
  if (method_is_srq(*g_table)) open_srq_channel(*g_table);
}

// After a call that got no reply the link is opened again, quietly, before
// the next line goes out; otherwise every later call would time out too.
// While the instrument is away each line tries again.
void restore_link() {
  if (g_table == nullptr) return;
  if (!g_link.outOfStep) {
    if (link_closed_by_instrument(g_link)) reopen_closed_link();
    return;
  }
  if (link_reopen(g_link) > 0 && method_is_srq(*g_table)) open_srq_channel(*g_table);
}

void run_query_line(QueryMethod method, const std::string& line) {
  bool error = false;
  restore_link();
  std::string reply = method(g_link, line, error);
  if (error) {
    print("*ESR? -> ");
    bool ignored = false;
    restore_link();
    reply = method(g_link, "*ESR?", ignored);
  }
  // Written together with the prompt that always follows: one write less
  // per query.
  if (!reply.empty()) std::fputs(reply.c_str(), stdout);
}

}  // namespace

bool connect_instrument(OptionTable& table, QueryMethod& method) {
  g_table = &table;
  method = select_query_method(read_int(option_value(table, "method")));
  bool srq = method_is_srq(table);
  if (srq) intr_server_start(on_service_request);
  if (link_open(g_link, option_value(table, "rip").c_str(), "inst0") <= 0) {
    print("Unable to connect to a SCPI service on that IP address.\n"
          "Please verify the IP address is valid.\n\n");
    return false;
  }
  return !srq || open_srq_channel(table);
}

void prompt_for_address(OptionTable& table, QueryMethod& method) {
  print("Please enter the IP address of the instrument:\n");
  std::string word;
  for (;;) {
    if (!read_word(word)) return;
    print("\n");
    input_getchar();  // the line end after the word
    if (is_valid_ip_address(word)) {
      table["rip"] = word;
      print_attempt(word);
      if (connect_instrument(table, method) && read_int(option_value(table, "mode")) == 1) {
        if (command_loop(method) == kLoopQuit) return;
        print("Please enter the IP address of the instrument:\n");
      }
    } else if (word.find_first_of("qQ") != std::string::npos) {
      return;
    } else {
      std::printf("%s is NOT a valid IP address, please re-enter a valid IP address:\n",
                  word.c_str());
      std::fflush(stdout);
    }
  }
}

int command_loop(QueryMethod& method) {
  print("Enter \"q\" to exit, or enter \"ip\" to connect to another SCPI server.\n");
  std::string line;
  for (;;) {
    LineRead got = input_read_line("\nbenchterm$ ", line);
    if (got == LineRead::End) {
      print("\n");
      return kLoopQuit;
    }
    if (got == LineRead::TooLong) {
      // A cut command could mean something else to the instrument.
      print("The line is longer than 2047 characters and was not sent.\n");
      continue;
    }
    if (line.empty()) continue;
    std::string lower = lowercase(line);
    if (lower == "q" || lower == "exit") return kLoopQuit;
    if (lower == "ip") return kLoopOtherInstrument;
    input_remember(line);
    if (line.find('?') != std::string::npos) {
      run_query_line(method, line);
    } else {
      restore_link();
      if (link_send_command(g_link, line) == -kIoError) print("17: IO write error\n");
    }
  }
}

bool is_valid_ip_address(const std::string& text) {
  int parts = 0;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type dot = text.find('.', start);
    std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (++parts > 4 || part.empty()) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
      if (value > 255) return false;
    }
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

int run_console(int argc, const char* const* argv) {
  // A connection the instrument closed must fail a call, not end the console.
  signal(SIGPIPE, SIG_IGN);
  OptionTable table;
  UnusedArguments unused = parse_options(argc, argv, table);
  StartCheck start = check_options(table, unused);
  if (start != StartCheck::Connect) return start == StartCheck::Help ? 0 : 1;
  print_attempt(option_value(table, "rip"));
  input_open();
  QueryMethod method = query_stb_poll;
  if (!connect_instrument(table, method)) {
    prompt_for_address(table, method);
  } else if (read_int(option_value(table, "mode")) == 1) {
    if (command_loop(method) == kLoopOtherInstrument) prompt_for_address(table, method);
  }
  input_close();
  if (method_is_srq(table)) srq_semaphore_destroy();
  return 0;
}

}  // namespace console
