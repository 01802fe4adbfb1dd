// The program's fault options for a machine run in-process, so that a test names its
// faults in the same words whether it gets the program or the simulator object.
#pragma once

#include <string>
#include <vector>

#include "tq8sim/simulator.h"

namespace tq8sim {

// Faults, variables and the application state in the words of the tq8sim command line
// ("--nak", "4", "--in-download", "2", "--erase-nak"), applied as the program applies
// them before it serves. False with a message on the first word that is not one of them.
bool ApplyArguments(Simulator& simulator, const std::vector<std::string>& args, std::string* error);

}  // namespace tq8sim
