#include "serial/port.h"

namespace mirelle::serial {

PortOpener& ActivePortOpener() {
    static PortOpener opener = OpenSystemPort;
    return opener;
}

}  // namespace mirelle::serial
