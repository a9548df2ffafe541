#pragma once
// What the operator window needs from its toolkit beyond the controls that
// the workflows drive: the log list's geometry, the progress range, the
// package browse dialog and the About box. Window thread only.
#include <string>

#include "core/operator_view.h"

class OperatorWindowView : public OperatorView {
 public:
  virtual void SetLogItemHeight(int pixels) = 0;
  // Width of a line in the log list's font, in pixels.
  virtual int MeasureLogLine(const std::string& line) = 0;
  virtual void SetLogExtent(int pixels) = 0;
  virtual void RepaintLog() = 0;

  virtual void SetProgressRange(int low, int high) = 0;

  // The browse dialog of the package path field: default extension and a
  // filter of "description|pattern|" pairs ending in "|".
  virtual void SetBrowseDialog(const std::string& defaultExtension,
                               const std::string& filter) = 0;

  virtual void ShowAbout() = 0;
};

// What the launchers hand over to the desktop. Window thread only.
class DesktopLauncher {
 public:
  virtual ~DesktopLauncher() = default;
  // Starts `program argument` in a terminal of its own without waiting for
  // it; false when it could not be started.
  virtual bool StartConsole(const std::string& program, const std::string& argument) = 0;
  // The desktop's "open" action; its result is not looked at.
  virtual void OpenUrl(const std::string& url) = 0;
};
