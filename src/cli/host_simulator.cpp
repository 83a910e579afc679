#include "cli/host_simulator.h"
