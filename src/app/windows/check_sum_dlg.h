// The Check SUM window: the 16-bit byte sum of the program file as it would
// stand in the selected chip's flash, with a fill byte of the user's choice
// wherever the file sets nothing.
#pragma once

#include <string>

#include "ui/dialog.h"

namespace mirelle {

class CWriterDlg;

class CCheckSumDlg : public ui::Dialog {
public:
    // `main` computes the sum (CWriterDlg::ImageChecksum) and owns the window.
    explicit CCheckSumDlg(CWriterDlg* main);

    // Template 176 in the user interface language.
    static ui::DialogTemplate Template176();

    std::string m_strFill = "FF";  // the fill byte as two hex digits
    std::string m_strSum;          // "%04X" of the sum, or empty

protected:
    bool OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnCommand(int id, int code) override;

private:
    void OnCheckSum();

    CWriterDlg* m_pMain;
};

}  // namespace mirelle
