// The interactive mode's end: once the operator has confirmed the close,
// nothing invisible keeps a later start away while the worker finishes the
// line it runs on the instrument.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "core/operation_log.h"
#include "core/single_instance.h"
#include "tests/ui/qt_application_support.h"
#include "tests/ui/recording_window_support.h"
#include "ui/operator_app.h"
#include "ui/operator_window.h"

namespace {

// Answers the window thread's credential probe at once and holds every
// command of the worker until Finish, as a long line on the instrument does.
class LineHoldingShell : public OnePasswordShell {
 public:
  using OnePasswordShell::OnePasswordShell;
  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t capacity) override {
    if (std::this_thread::get_id() != windowThread_) {
      std::unique_lock<std::mutex> lock(mutex_);
      holding = true;
      finished_.wait(lock, [this] { return finish_; });
      holding = false;
    }
    return OnePasswordShell::RunCommand(host, user, password, command, expected, matched, output,
                                        capacity);
  }
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    finish_ = true;
    finished_.notify_all();
  }
  std::atomic<bool> holding{false};

 private:
  std::thread::id windowThread_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable finished_;
  bool finish_ = false;
};

TEST(HeldWindow, AConfirmedTitleBarCloseFreesTheLockAndTheLogWhileTheLineStillRuns) {
  OffscreenApplication();
  const std::string directory = MakeTempDirectory();
  LineHoldingShell shell("kdrun64");
  WindowOptions options;
  options.shell = &shell;
  auto window = std::make_unique<CInstrumentUpdaterDlg>(options);
  // The worker is joined only after the line ends, whatever the test finds.
  struct FinishFirst {
    LineHoldingShell& shell;
    ~FinishFirst() { shell.Finish(); }
  } finishFirst{shell};

  SingleInstance first(directory);
  ASSERT_TRUE(first.Acquire());
  MessageBoxCatcher boxes;  // OK to every question, the close question too
  RunHeldWindow(*window, first, [&](CInstrumentUpdaterDlg& opened) {
    const unsigned char loopback[4] = {127, 0, 0, 1};
    opened.Dialog().SetAddress(loopback);
    static_cast<QAbstractButton*>(opened.Dialog().Control(IdcConnect))->click();
    auto* closer = new QTimer(&opened.Dialog());
    QObject::connect(closer, &QTimer::timeout, [&opened, &shell, closer] {
      if (!shell.holding) return;
      closer->stop();
      opened.Dialog().close();  // the title bar's close button
    });
    closer->start(10);
  });

  ASSERT_TRUE(boxes.texts.contains(
      "Information:|Operation in progress, are you sure you want to close the app?"));
  ASSERT_TRUE(shell.holding);
  // A start in the meantime finds the lock free and gets the operation log.
  SingleInstance later(directory);
  EXPECT_TRUE(later.Acquire());
  EXPECT_TRUE(OperationLog(OperationLogPath()).IsOpen());

  shell.Finish();
  window.reset();  // joins the worker once its line has ended
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

}  // namespace
