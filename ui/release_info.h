#pragma once
// Release data shown in the About box.
#include "core/version.h"

constexpr const char* kReleaseVersion = kProgramVersion;
constexpr const char* kReleaseLine1 = "Tavrin Operator: connect, update and restore instruments";
constexpr const char* kReleaseLine2 = "Copyright (C) 2026 Tavrin";
