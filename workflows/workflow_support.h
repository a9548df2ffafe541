#pragma once
// Small helpers shared by the Begin... and Run... halves.
#include <string>

#include "core/script_set.h"

class UpdaterController;

// 100 divided by the line count of `piece` in the family's script set; 100
// when the count is 0 or no set is selected.
double ProgressStepFor(const UpdaterController& controller, ScriptPiece piece);

// The last part of a path: the file's name.
std::string FileNameOf(const std::string& path);

// The text of `piece` in `set`.
const std::string& PieceText(const ScriptSet& set, ScriptPiece piece);
