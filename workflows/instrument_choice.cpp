// The operator's choice of instrument and the group of controls that can
// start an operation.
#include <cstdio>
#include <vector>

#include "core/operation_codes.h"
#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

namespace {

bool InAddressMode(OperatorView& view) { return view.GetCheck(IdcIpMode); }

// Controls that follow the group whatever the mode.
constexpr int kGroupControls[] = {IdcIpMode,   IdcDiscoveryMode, IdcConnect, IdcPackagePath,
                                  IdcConsole,  IdcWebUi,         IdcUpgrade, IdcRestore,
                                  IdcHostName, IdcApply};

}  // namespace

bool ValidateInstrumentChoice(UpdaterController& controller) {
  OperatorView* view = controller.view;
  if (view == nullptr) return false;
  if (InAddressMode(*view)) {
    unsigned char parts[4] = {0, 0, 0, 0};
    view->GetAddress(parts);
    if (parts[0] > 0) return true;
    view->MessageBox("Please check the ip address.");
    return false;
  }
  if (view->ListCount() > 0 && view->ListSelected() >= 0) return true;
  view->MessageBox("Please select an Instrument.");
  return false;
}

std::string SelectedAddress(UpdaterController& controller) {
  OperatorView* view = controller.view;
  if (view == nullptr) return std::string();
  if (InAddressMode(*view)) {
    unsigned char parts[4] = {0, 0, 0, 0};
    view->GetAddress(parts);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
    return text;
  }
  const int index = view->ListSelected();
  const std::vector<InstrumentInfo> list = DiscoveredInstruments();
  if (index < 0 || index >= static_cast<int>(list.size())) return std::string();
  return list[index].ip;
}

void SetOperationControlsEnabled(UpdaterController& controller, bool enabled) {
  OperatorView* view = controller.view;
  if (view == nullptr) return;
  for (int id : kGroupControls) view->Enable(id, enabled);
  const bool addressMode = InAddressMode(*view);
  view->Enable(IdcAddress, enabled && addressMode);
  view->Enable(IdcDiscovery, enabled && !addressMode);
  view->Enable(IdcInstrumentList, enabled && !addressMode);
}

void BeginDiscovery(UpdaterController& controller, OperationWorker& worker) {
  ClearDiscoveredInstruments();
  if (controller.view != nullptr) controller.view->ListReset();
  SetOperationControlsEnabled(controller, false);
  worker.Request(OpDiscover);
}
