#include "serial/port.h"

#include "serial/termios_port.h"

namespace mirelle::serial {

PortOpener& ActivePortOpener() {
    static PortOpener opener = [](const std::string& device, int, std::uint32_t baud,
                                  std::unique_ptr<Port>& out) {
        return OpenTermiosPort(device, baud, out);
    };
    return opener;
}

}  // namespace mirelle::serial
