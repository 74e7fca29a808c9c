#include "serial/device_list.h"

namespace mirelle::serial {

std::string PortProblemText(int com_number, const std::string& device) {
    const std::string com = "COM" + std::to_string(com_number);
    std::string group;
    std::string text = com + " is " + device;
    switch (DiagnoseOpenFailure(device, group)) {
        case OpenProblem::Missing:
            text += ", which does not exist";
            break;
        case OpenProblem::NoPermission:  // Linux only: Windows tells no such case apart
            text += ", which this user may not open: the user must be in the group " + group +
                    " (sudo usermod -aG " + group + " $USER, then log in again)";
            break;
        case OpenProblem::Other:
            text += ", which could not be opened (another program may be using it)";
            break;
    }
    return text + "; " + SerialDevicesHint(com_number);
}

}  // namespace mirelle::serial
