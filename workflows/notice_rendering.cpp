#include "workflows/notice_rendering.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/operation_log.h"
#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "core/worker_notice.h"
#include "instrument/discovery.h"
#include "instrument/instrument_info.h"
#include "workflows/history_recording.h"
#include "workflows/workflows.h"

namespace {

int ProgressPosition(double value) {
  if (!(value > 0)) return 0;  // also NaN
  if (value >= 100) return 100;
  return static_cast<int>(value);
}

void ShowLogLine(UpdaterController& controller, const std::string& text) {
  if (!text.empty()) controller.view->LogAppend(text);
  if (controller.log) controller.log->AppendLine(text);
}

void ShowDiscoveryResult(UpdaterController& controller) {
  FilterDiscoveryResults(controller);
  FillInstrumentList(controller, "");
  if (controller.view->ListCount() > 0) controller.view->ListSelect(0);
}

// The reboot wait found the instrument again (or only searched for it).
void FollowInstrumentAddress(UpdaterController& controller, const std::string& address) {
  OperatorView& view = *controller.view;
  const bool addressMode = view.GetCheck(IdcIpMode);
  if (addressMode && !address.empty()) {
    int numbers[4];
    if (std::sscanf(address.c_str(), "%d.%d.%d.%d", &numbers[0], &numbers[1], &numbers[2],
                    &numbers[3]) == 4) {
      unsigned char parts[4];
      for (int i = 0; i < 4; ++i) parts[i] = static_cast<unsigned char>(numbers[i] & 0xFF);
      view.SetAddress(parts);
    }
  }
  if (view.GetCheck(IdcDiscoveryMode) || (addressMode && view.ListCount() > 0)) {
    const int index = FillInstrumentList(controller, address.c_str());
    if (index >= 0) view.ListSelect(index);
  }
}

}  // namespace

int FillInstrumentList(UpdaterController& controller, const char* address) {
  OperatorView& view = *controller.view;
  view.ListReset();
  const std::vector<InstrumentInfo> list = DiscoveredInstruments();
  int found = -1;
  for (std::size_t i = 0; i < list.size(); ++i) {
    view.ListAppend(list[i].ip + " (" + list[i].idn + ")");
    if (address != nullptr && *address != '\0' && list[i].ip == address)
      found = static_cast<int>(i);
  }
  return found;
}

void RenderNotice(UpdaterController& controller, const WorkerNotice& notice) {
  if (controller.view == nullptr) return;
  switch (notice.code) {
    case NoticeDeviceInfo:
      RecordConnectIdentity(controller, FillDeviceInfo(controller, notice.text));
      break;
    case NoticeHostName:
      if (!notice.text.empty()) controller.view->SetText(IdcHostName, notice.text);
      break;
    case NoticeLog: ShowLogLine(controller, notice.text); break;
    case NoticeDiscoveryDone: ShowDiscoveryResult(controller); break;
    case NoticeOperationDone: SetOperationControlsEnabled(controller, true); break;
    case NoticeProgress: controller.view->SetProgress(ProgressPosition(notice.value)); break;
    case NoticeStatus: controller.view->SetText(IdcStatus, notice.text); break;
    case NoticeInstrumentAddress: FollowInstrumentAddress(controller, notice.text); break;
    default: break;
  }
}
