// Opening a station window: the job is read and checked before anything is
// started, then its station runs behind the window until the window closes.
#include <string>
#include <vector>

#include "app/windows/station_dlg.h"
#include "settings/settings.h"
#include "station/job_file.h"
#include "station/station.h"

namespace mirelle {

int RunStationWindow(const std::string& job_path, const std::string& program_dir, ui::Dialog* owner) {
    station::Job job;
    std::string error;
    std::vector<std::string> problems;
    if (!station::ReadJob(job_path, job, error)) problems.push_back(error);
    else problems = station::CheckJob(job, program_dir);
    if (!problems.empty()) {
        std::string text = "The job " + job_path + " cannot run:";
        for (const std::string& p : problems) text += "\n" + p;
        ui::MessageBox(owner, text, "Station", ui::MessageButtons::Ok, ui::MessageIcon::Stop);
        return 2;
    }
    settings::CustomizeSettings sounds;
    std::string com_text;
    settings::ReadCustomizeSettings(program_dir + "Customize.ini", false, sounds, com_text);
    station::Station station(job, program_dir);
    StationOf control(station);
    CStationDlg window(job, control, sounds, owner);
    return window.Run(owner) ? 0 : 1;
}

}  // namespace mirelle
