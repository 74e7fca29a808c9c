// The version information box.
#pragma once

#include "ui/dialog.h"

namespace mirelle {

class CAboutDlg : public ui::Dialog {
public:
    explicit CAboutDlg(ui::Dialog* parent = nullptr);
    static const ui::DialogTemplate& Template100();

protected:
    bool OnInitDialog() override;
};

}  // namespace mirelle
