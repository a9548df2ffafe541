#pragma once
// A family's decoded update script, cut into its five pieces.
#include <string>

enum ScriptPiece {
  PieceMainBody = 0,
  PieceRollback = 1,
  PieceCheckUpdatePending = 2,
  PieceDeviceInfo = 3,
  PieceSetHostName = 4,
};

struct ScriptSet {
  std::string mainBody;
  std::string rollbackSection;
  std::string checkUpdatePendingSection;
  std::string deviceInfoSection;
  std::string setHostNameSection;
  int lineCounts[5] = {0, 0, 0, 0, 0};
};

// familyIndex 0 is kfw (familyCode 1), 1 is kf4 (familyCode 2).
constexpr int kFamilyCount = 2;
constexpr const char* kFamilyNames[kFamilyCount] = {"kfw", "kf4"};
