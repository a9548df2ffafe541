#pragma once
// Release data shown in the About box.
constexpr const char* kReleaseVersion = "1.0.0.1";
constexpr const char* kReleaseLine1 = "Tavrin Operator: connect, update and restore instruments";
constexpr const char* kReleaseLine2 = "Copyright (C) 2026 Tavrin";
