// Shared between the parts of the virtual OS.
#pragma once

namespace os::virt {
void ResetPorts();
}
