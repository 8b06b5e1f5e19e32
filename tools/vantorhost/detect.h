// vantorhost detect: the commissioning check. It looks for the modem on the
// serial ports, asks it what an engineer needs to know before configuring
// the HMI, and names the --port and --baud to use. It only reads.
#pragma once

#include <string>
#include <vector>

namespace vhost {

// `args` are the words after "detect". Returns the exit status: 0 when a
// modem that can send messages was found, 1 when none was (none answered,
// or the ones that answered are not ready), 2 for bad arguments.
int RunDetect(const std::vector<std::string>& args);

}  // namespace vhost
