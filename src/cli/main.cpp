#include "cli/cli.h"

int main(int argc, char** argv) { return RunVelotrix(argc, argv); }
