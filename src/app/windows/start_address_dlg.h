// The start address window: asks where the first byte of a raw binary
// program file belongs, offering the address used last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/dialog.h"

namespace mirelle {

class CStartAddressDlg : public ui::Dialog {
public:
    // `offered`: the address shown when the window opens (none: an empty box).
    CStartAddressDlg(ui::Dialog* owner, std::optional<std::uint32_t> offered);

    // Template 177 in the user interface language.
    static ui::DialogTemplate Template177();

    std::string m_strAddress;                // the box's text
    std::optional<std::uint32_t> m_nAddress;  // the address taken with OK

protected:
    bool OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;
};

// "0x%08X" of an address, as the window offers it and DATAFILE.TXT keeps it.
std::string StartAddressText(std::uint32_t address);

}  // namespace mirelle
