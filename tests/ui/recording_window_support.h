#pragma once
// The recording view with the window's own extras: the log list's
// geometry, the progress range and the browse dialog.
#include <string>

#include "tests/workflows/recording_view_support.h"
#include "ui/operator_window_view.h"

class RecordingWindowView : public RecordingViewOf<OperatorWindowView> {
 public:
  RecordingWindowView() { untouchedEnabled = true; }

  void SetLogItemHeight(int pixels) override { itemHeight = pixels; }
  // Seven pixels a character: enough to compare widths.
  int MeasureLogLine(const std::string& line) override { return 7 * int(line.size()); }
  void SetLogExtent(int pixels) override {
    extent = pixels;
    ++extentChanges;
  }
  void RepaintLog() override {}
  void SetProgressRange(int, int high) override { progressHigh = high; }
  void SetBrowseDialog(const std::string& extension, const std::string& filter) override {
    browseExtension = extension;
    browseFilter = filter;
  }
  void ShowAbout() override {}

  int itemHeight = 0;
  int extent = 0;
  int extentChanges = 0;
  int progressHigh = 0;
  std::string browseExtension;
  std::string browseFilter;
};

// A fresh directory under the system's temporary directory.
std::string MakeTempDirectory();
std::string ReadWholeFile(const std::string& path);
