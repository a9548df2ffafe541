#pragma once

enum OperationCode {
  OpNone = 0,
  OpConnect = 1,
  OpSetHostName = 2,
  OpUpgrade = 3,
  OpRestore = 4,
  OpDiscover = 5,
  // The upgrade's steps that change nothing (tavrinctl upgrade --check).
  OpUpgradeCheck = 6,
};
