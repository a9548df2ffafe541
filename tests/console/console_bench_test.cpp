// benchterm against the bench's instruments, driven through a pipe and
// through a pseudo-terminal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/options.h"
#include "tests/console/term_runner.h"
#include "tests/support/bench_env.h"

namespace console_test {
namespace {

// The history of lines typed at a terminal lies in a directory of the tests'
// own, not in the home directory of whoever runs them.
class PrivateStateHome : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/benchterm_state.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    setenv("XDG_STATE_HOME", dir, 1);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::string dir_;
};
const ::testing::Environment* const g_stateHome =
    ::testing::AddGlobalTestEnvironment(new PrivateStateHome);

const char kOperatorAddress[] = "198.18.0.1";  // no VXI-11 service answers here
const char kLoopHeading[] =
    "Enter \"q\" to exit, or enter \"ip\" to connect to another SCPI server.\n";
const char kUnable[] =
    "Unable to connect to a SCPI service on that IP address.\n"
    "Please verify the IP address is valid.\n\n";
const char kAddressHeading[] = "Please enter the IP address of the instrument:\n";
const char kPrompt[] = "\nbenchterm$ ";

std::string Attempt(const std::string& address) {
  return "Attempting connection to SCPI server at " + address + "\n";
}

// The output up to the first prompt after connecting to `address`.
std::string Connected(const std::string& address) {
  return Attempt(address) + kLoopHeading + kPrompt;
}

// The output when no instrument answers at `address`, up to the address prompt.
std::string Refused(const std::string& address) {
  return Attempt(address) + kUnable + kAddressHeading;
}

std::string Invalid(const std::string& word) {
  return word + " is NOT a valid IP address, please re-enter a valid IP address:\n";
}

// What a shell command prints.
std::string ShellOutput(const std::string& command) {
  std::FILE* p = popen(command.c_str(), "r");
  std::string text;
  char buf[512];
  while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) text += buf;
  if (p != nullptr) pclose(p);
  return text;
}

// The reply lxi-tools receives, with its line end.
std::string LxiIdn(const char* address) {
  std::string text = ShellOutput(std::string("lxi scpi -a ") + address + " '*IDN?' 2>&1");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text + "\n";
}

// benchterm fed `input` must print `expected` and end with status 0.
void ExpectPiped(const std::vector<std::string>& args, const std::string& input,
                 const std::string& expected) {
  PipedRun run = RunPiped(args, input);
  EXPECT_EQ(run.out, expected) << input;
  EXPECT_EQ(run.status, 0) << input;
}

// Types `command` and returns the exit status it ends benchterm with.
int Quit(PtySession& term, const char* command = "q") {
  term.Type(command);
  return term.Wait();
}

// Types each line and waits for the prompt after it.
::testing::AssertionResult TypeEach(PtySession& term, std::initializer_list<const char*> lines) {
  for (const char* line : lines) {
    term.Type(line);
    if (!term.Expect(kPrompt))
      return ::testing::AssertionFailure() << "no prompt after " << line << ":\n" << term.Output();
  }
  return ::testing::AssertionSuccess();
}

std::string Pattern(std::size_t size) {
  std::string text;
  while (text.size() < size) text += std::string("0123456789").substr(0, size - text.size());
  return text;
}

// Sets knobs on an instrument and puts them back at the end of the scope.
class Knobs {
 public:
  Knobs(std::string instrument, std::string set, std::string reset)
      : instrument_(std::move(instrument)), reset_(std::move(reset)) {
    EXPECT_EQ(bench::Run("ctl " + instrument_ + " " + set), 0);
  }
  ~Knobs() { bench::Run("ctl " + instrument_ + " " + reset_); }

 private:
  std::string instrument_;
  std::string reset_;
};

TEST(ConsoleBench, EachMethodPrintsTheIdentificationLxiReceives) {
  REQUIRE_BENCH();
  for (const char* address : {bench::kI1, bench::kI2}) {
    std::string idn = LxiIdn(address);
    ASSERT_EQ(idn.rfind("Tavrin,", 0), 0u) << idn;
    std::string session = Connected(address) + idn + kPrompt;
    for (const char* method : {"method=1", "method=2", "method=3"}) {
      SCOPED_TRACE(method);
      ExpectPiped({std::string("rip=") + address, method}, "*IDN?\nq\n", session);
    }
    // Method 4, with "lip" given and without: the instrument calls back the
    // address it reached us from.
    for (std::vector<std::string> args : {std::vector<std::string>{"method=4", "lip=198.18.0.1"},
                                          std::vector<std::string>{"method=4"}}) {
      SCOPED_TRACE(args.back());
      args.push_back(std::string("rip=") + address);
      PipedRun srq = RunPiped(args, "*SRE 16\n*IDN?\n*SRE 0\nq\n");
      EXPECT_EQ(srq.out, Connected(address) + kPrompt + idn + kPrompt + kPrompt);
      EXPECT_EQ(srq.status, 0);
      EXPECT_EQ(srq.err, "");
    }
  }
}

TEST(ConsoleBench, EveryNewLinkGetsItsOwnInterruptChannel) {
  REQUIRE_BENCH();
  // A failed first attempt, then two instruments one after the other: each
  // link opens its channel and enables service requests on the one server.
  PipedRun run = RunPiped({"rip=198.18.0.1", "method=4", "lip=198.18.0.1"},
                          "198.18.0.12\n*SRE 16\n*IDN?\n*SRE 0\nip\n"
                          "198.18.0.11\n*SRE 16\n*IDN?\n*SRE 0\nq\n");
  std::string session = Refused(kOperatorAddress);
  for (const char* address : {bench::kI2, bench::kI1}) {
    if (address == bench::kI1) session += kAddressHeading;
    session += "\n" + Connected(address) + kPrompt + LxiIdn(address) + kPrompt + kPrompt;
  }
  EXPECT_EQ(run.out, session);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST(ConsoleBench, InterruptChannelToTheInstrumentsOwnLoopbackFails) {
  REQUIRE_BENCH();
  // An explicit "lip" wins, even 127.0.0.1, which names the instrument itself.
  ExpectPiped({"rip=198.18.0.12", "method=4", "lip=127.0.0.1"}, "q\n",
              Attempt(bench::kI2) + "Creating interrupt channel failed.\n" + kAddressHeading + "\n");
}

TEST(ConsoleBench, StatusByteQueriesAndCommands) {
  REQUIRE_BENCH();
  // *STB? itself is read without a status wait; ":TEST:REPLY? 0" is only
  // the line end. A command prints nothing.
  for (const char* method : {"method=1", "method=2"}) {
    SCOPED_TRACE(method);
    ExpectPiped({"rip=198.18.0.12", method}, "*CLS\n*stb?\n*RST\n*sre 4;*Sre?\n*SRE 0\nexit\n",
                Connected(bench::kI2) + kPrompt + "0\n" + kPrompt + kPrompt + "4\n" + kPrompt +
                    kPrompt);
  }
}

TEST(ConsoleBench, ErrorFollowUpReadsTheEventStatusRegister) {
  REQUIRE_BENCH();
  // Method 1 sees ESB while it waits: the reply is replaced by "*ESR?".
  ExpectPiped({"rip=198.18.0.12", "method=1"}, "BOGUS?\n*ESR?\nq\n",
              Connected(bench::kI2) + "*ESR? -> 32\n" + kPrompt + "0\n" + kPrompt);
  // Method 2 ends the query quietly on ESB.
  ExpectPiped({"rip=198.18.0.12", "method=2"}, "BOGUS?\n*ESR?\nq\n",
              Connected(bench::kI2) + kPrompt + "32\n" + kPrompt);
}

TEST(ConsoleBench, OversizeChunkIsRefusedAsErrorSeventeen) {
  REQUIRE_BENCH();
  Knobs knobs("i4", "oversize_reply=1", "oversize_reply=0");
  ExpectPiped({"rip=198.18.0.14"}, "*IDN?\nq\n",
              Connected(bench::kI4) + "*ESR? -> 15: IO timeout" + kPrompt);
  ExpectPiped({"rip=198.18.0.14", "method=2"}, "*IDN?\nq\n",
              Connected(bench::kI4) + "*ESR? -> " + kPrompt);
  // Method 4: an empty reply with the error flag, for "*ESR?" as well.
  ExpectPiped({"rip=198.18.0.14", "method=4", "lip=198.18.0.1"}, "*SRE 16\n*IDN?\n*SRE 0\nq\n",
              Connected(bench::kI4) + kPrompt + "*ESR? -> " + kPrompt + kPrompt);
}

TEST(ConsoleBench, AReplyThatNeverCameLeavesTheLinesAfterItAnswered) {
  REQUIRE_BENCH();
  const std::string idn = LxiIdn(bench::kI4);
  Knobs knobs("i4", "lost_reads=1", "lost_reads=");
  // The lost reply costs one call timeout; the follow-up and the next query
  // go out on a link opened again.
  ExpectPiped({"rip=198.18.0.14", "method=3"}, "*CLS\n*IDN?\n*IDN?\nq\n",
              Connected(bench::kI4) + kPrompt + "*ESR? -> 0\n" + kPrompt + idn + kPrompt);
}

TEST(ConsoleBench, LinesReachTheInstrumentExactlyAsTyped) {
  REQUIRE_BENCH();
  // After each line the instrument is asked for the message before.
  std::string input;
  std::string expected = Connected(bench::kI2);
  for (const std::string line : {" q", "quit", "ip 10.0.0.1", "*Cls  two  blanks  ", "*Idn?  "}) {
    input += line + "\n:TEST:LASTMESSAGE?\n";
    expected += (line.find('?') != std::string::npos ? LxiIdn(bench::kI2) : "") + kPrompt;
    expected += line + "\n" + kPrompt;
  }
  ExpectPiped({"rip=198.18.0.12"}, input + "q\n", expected);
}

TEST(ConsoleBench, LongRepliesAreAssembledAndCutAtTheBuffer) {
  REQUIRE_BENCH();
  ExpectPiped({"rip=198.18.0.12", "sleep=0"},
              ":TEST:REPLY? 5000\n:TEST:REPLY? 600000\n*IDN?\nq\n",
              Connected(bench::kI2) + Pattern(5000) + "\n" + kPrompt + Pattern(512000) + kPrompt +
                  LxiIdn(bench::kI2) + kPrompt);
}

TEST(ConsoleBench, ServiceRequestsThatCameEarlyLetQueriesThrough) {
  REQUIRE_BENCH();
  // Two rising ESB bits request service twice before any query; with MAV
  // not enabled, only those two let a query read. The third waits until
  // Ctrl-C returns it to the prompt.
  PtySession term({"rip=198.18.0.11", "method=4", "lip=198.18.0.1"});
  ASSERT_TRUE(term.Expect(kPrompt));
  ASSERT_TRUE(TypeEach(term, {"*SRE 32", "BOGUS", "*CLS", "BOGUS"}));
  std::string idn = LxiIdn(bench::kI1);
  for (int i = 0; i < 2; ++i) {
    term.Type("*IDN?");
    ASSERT_TRUE(term.Expect("*IDN?\n" + idn + kPrompt)) << term.Output();
  }
  // No reply will come and ESB is already up: nothing requests service.
  term.Type("BOGUS?");
  EXPECT_EQ(term.Settle(2.0), "BOGUS?\n");
  term.Interrupt();
  ASSERT_TRUE(term.Expect(kPrompt, 20)) << term.Output();
  ASSERT_TRUE(TypeEach(term, {"*CLS", "*SRE 0"}));
  EXPECT_EQ(Quit(term), 0);
}

TEST(ConsoleBench, CtrlCEndsAnEndlessReadAndTheConsoleGoesOn) {
  REQUIRE_BENCH();
  PtySession term({"rip=198.18.0.12"});
  ASSERT_TRUE(term.Expect(kPrompt));
  term.Type("BOGUS?");  // no reply ever comes: the read retries after each I/O timeout
  EXPECT_EQ(term.Settle(1.0), "BOGUS?\n");
  term.Interrupt();
  ASSERT_TRUE(term.Expect(kPrompt, 20)) << term.Output();
  ASSERT_TRUE(TypeEach(term, {"*CLS"}));
  term.Type("*IDN?");
  EXPECT_TRUE(term.Expect(LxiIdn(bench::kI2) + kPrompt)) << term.Output();
  EXPECT_EQ(Quit(term), 0);
}

TEST(ConsoleBench, AQueryTypedInOneRunIsOneUpArrowAwayInTheNext) {
  REQUIRE_BENCH();
  {
    PtySession term({"rip=198.18.0.12"});
    ASSERT_TRUE(term.Expect(kPrompt));
    ASSERT_TRUE(TypeEach(term, {":TEST:REPLY? 17"}));
    // Neither "ip" nor the address typed after it enters the history.
    term.Type("ip");
    ASSERT_TRUE(term.Expect(kAddressHeading));
    term.Type("198.18.0.12");
    ASSERT_TRUE(term.Expect(kPrompt));
    EXPECT_EQ(Quit(term), 0);
  }
  PtySession term({"rip=198.18.0.12"});
  ASSERT_TRUE(term.Expect(kPrompt));
  term.Type("\033[A");  // Up, then Enter
  ASSERT_TRUE(term.Expect("01234567890123456\n" + std::string(kPrompt))) << term.Output();
  // The instrument received the 15 bytes again, in one write with END.
  term.Type(":TEST:LASTWRITE?");
  EXPECT_TRUE(term.Expect("1,15,15/8\n" + std::string(kPrompt))) << term.Output();
  EXPECT_EQ(Quit(term), 0);
}

TEST(ConsoleBench, TwoConsolesAtOnceKeepEachOthersLines) {
  REQUIRE_BENCH();
  PtySession first({"rip=198.18.0.12"});
  PtySession second({"rip=198.18.0.12"});
  ASSERT_TRUE(first.Expect(kPrompt));
  ASSERT_TRUE(second.Expect(kPrompt));
  ASSERT_TRUE(TypeEach(first, {":TEST:REPLY? 1"}));
  ASSERT_TRUE(TypeEach(second, {":TEST:REPLY? 2"}));
  ASSERT_TRUE(TypeEach(first, {":TEST:REPLY? 3"}));
  EXPECT_EQ(Quit(first), 0);
  EXPECT_EQ(Quit(second), 0);
  // Two lines up in a third console: the second console's line, between the
  // first console's two.
  PtySession third({"rip=198.18.0.12"});
  ASSERT_TRUE(third.Expect(kPrompt));
  third.Type("\033[A\033[A");
  EXPECT_TRUE(third.Expect("\n01\n" + std::string(kPrompt))) << third.Output();
  EXPECT_EQ(Quit(third), 0);
}

TEST(ConsoleBench, PromptLoopAndOtherInstrumentOnATerminal) {
  REQUIRE_BENCH();
  PtySession term({"rip=198.18.0.12"});
  ASSERT_TRUE(term.Expect(kPrompt));
  EXPECT_EQ(term.Output(), Connected(bench::kI2));
  ASSERT_TRUE(TypeEach(term, {""}));
  term.Type("*RST");
  EXPECT_TRUE(term.Expect("*RST\n" + std::string(kPrompt)));
  term.Type("Ip");
  ASSERT_TRUE(term.Expect(std::string("Ip\n") + kAddressHeading));
  term.Type("  198.18.0.11");
  EXPECT_TRUE(term.Expect("  198.18.0.11\n\n" + Connected(bench::kI1))) << term.Output();
  term.Type("*IDN?");
  EXPECT_TRUE(term.Expect(LxiIdn(bench::kI1) + kPrompt));
  EXPECT_EQ(Quit(term, "EXIT"), 0);
}

std::string OpenDescriptors(pid_t pid) {
  return ShellOutput("ls /proc/" + std::to_string(pid) + "/fd | wc -l");
}

TEST(ConsoleBench, ReconnectingReleasesTheEarlierLink) {
  REQUIRE_BENCH();
  PtySession term({"rip=198.18.0.12"});
  ASSERT_TRUE(term.Expect(kPrompt));
  std::string before = OpenDescriptors(term.Pid());
  for (int i = 0; i < 3; ++i) {
    term.Type("ip");
    ASSERT_TRUE(term.Expect(kAddressHeading));
    term.Type("198.18.0.12");
    ASSERT_TRUE(term.Expect(kPrompt));
  }
  EXPECT_EQ(OpenDescriptors(term.Pid()), before);
  EXPECT_EQ(Quit(term), 0);
}

TEST(ConsoleBench, FirstConnectionFailsThenTheAddressPrompt) {
  REQUIRE_BENCH();
  std::string input =
      "10.0.0.256\n1.2.3\n1.2.3.4.\n1..2.3\na.b.c.d\n198.18.0.1\n198.18.0.12\n*IDN?\nq\n";
  std::string expected = Refused(kOperatorAddress);
  for (const char* word : {"10.0.0.256", "1.2.3", "1.2.3.4.", "1..2.3", "a.b.c.d"})
    expected += "\n" + Invalid(word);
  expected += "\n" + Attempt(kOperatorAddress) + kUnable;
  expected += "\n" + Connected(bench::kI2) + LxiIdn(bench::kI2) + kPrompt;
  ExpectPiped({"rip=198.18.0.1"}, input, expected);

  for (const char* quit : {"q", "Q", "quit", "aqua"})
    ExpectPiped({"rip=198.18.0.1"}, std::string(quit) + "\n", Refused(kOperatorAddress) + "\n");
}

TEST(ConsoleBench, ModeZeroEndsAfterConnectingOrAsksForTheNextAddress) {
  REQUIRE_BENCH();
  ExpectPiped({"rip=198.18.0.12", "mode=0"}, "*IDN?\n", Attempt(bench::kI2));
  ExpectPiped({"rip=198.18.0.1", "mode=0"}, "198.18.0.12\n198.18.0.11\nq\n",
              Refused(kOperatorAddress) + "\n" + Attempt(bench::kI2) + "\n" + Attempt(bench::kI1) +
                  "\n");
}

TEST(ConsoleBench, WriteFailureIsReportedAsErrorSeventeen) {
  REQUIRE_BENCH();
  PtySession term({"rip=198.18.0.14"});
  ASSERT_TRUE(term.Expect(kPrompt));
  {
    Knobs knobs("i4", "vxi=off", "vxi=on");
    term.Type("*RST");
    EXPECT_TRUE(term.Expect("*RST\n17: IO write error\n" + std::string(kPrompt), 60))
        << term.Output();
  }
  EXPECT_EQ(Quit(term), 0);
}

TEST(ConsoleBench, WhileTheInstrumentIsAwayEachLineFailsAloudAndAnswersComeBackWithIt) {
  REQUIRE_BENCH();
  PtySession term({"rip=198.18.0.13"});
  ASSERT_TRUE(term.Expect(kPrompt));
  {
    // The first line loses the link; every line after it tries to open it
    // again, and fails while no VXI-11 server is there.
    Knobs knobs("i3", "vxi=off", "vxi=on");
    for (const char* line : {"*CLS", "*RST"}) {
      term.Type(line);
      EXPECT_TRUE(term.Expect(line + std::string("\n17: IO write error\n") + kPrompt, 30))
          << term.Output();
    }
    term.Type("*IDN?");
    EXPECT_TRUE(term.Expect("*IDN?\n*ESR? -> " + std::string(kPrompt), 30)) << term.Output();
  }
  term.Type("*IDN?");
  EXPECT_TRUE(term.Expect("*IDN?\n" + LxiIdn(bench::kI3) + kPrompt, 30)) << term.Output();
  EXPECT_EQ(Quit(term), 0);
}

// True when the namespace has no route to `address`: a connect there
// fails at once without sending anything.
bool Unroutable(const char* address) {
  int sock = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(111);
  inet_pton(AF_INET, address, &to.sin_addr);
  bool unroutable = connect(sock, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
                    errno == ENETUNREACH;
  close(sock);
  return unroutable;
}

TEST(ConsoleBench, WithoutArgumentsTheDefaultAddressIsTried) {
  REQUIRE_BENCH();
  if (!Unroutable(console::kDefaultInstrumentAddress))
    GTEST_SKIP() << "the default address is routable from the bench; not contacting it";
  ExpectPiped({}, "q\n", Refused(console::kDefaultInstrumentAddress) + "\n");
}

}  // namespace
}  // namespace console_test
