#include "console/console_program.h"

int main(int argc, char** argv) { return console::run_console(argc, argv); }
