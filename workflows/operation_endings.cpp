#include "workflows/operation_endings.h"

#include "core/operation_codes.h"

OperationEndings EndingsOf(int operation) {
  switch (operation) {
    case OpConnect:
      return {"Connection established.", "Connection failed.", "Connection cancelled.", nullptr};
    case OpSetHostName:
      return {"Setting hostname complete.", "Setting hostname failed.",
              "Setting hostname cancelled.", nullptr};
    case OpUpgrade:
      return {"Upgrading completed, the instrument is now rebooting.", "Upgrading failed.",
              "Upgrading cancelled.", "Upgrade not supported."};
    case OpRestore:
      return {"Restoring complete.", "Restoring failed.", "Restoring cancelled.", nullptr};
    case OpUpgradeCheck:
      return {"Upgrade check passed.", "Upgrade check failed.", "Upgrade check cancelled.",
              nullptr};
    default:
      return {"", "", "", nullptr};
  }
}
