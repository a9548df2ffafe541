#include "ui/operator_app.h"

#include <cstdio>

// Placeholder until the window lands.
int RunOperatorWindow(int, char**) {
  std::fprintf(stderr, "TavrinOperator: the window is not built yet\n");
  return 1;
}
