// A device's name as every log line and file spells it.
#include "device_target.h"

namespace kelvarin {

std::string FleetTarget::Text() const {
    std::string text = address + ":" + std::to_string(port);
    return unit == 0 ? text : text + "/" + std::to_string(unit);
}

}  // namespace kelvarin
