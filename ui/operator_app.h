#pragma once
// The interactive mode: single instance, then the window, run modally.
int RunOperatorWindow(int argc, char** argv);
