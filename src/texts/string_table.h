// The program's string table: user-visible texts by id, in English and in
// Japanese. The Japanese table is used when the user interface language is
// Japanese (on Linux LC_ALL, LC_MESSAGES or LANG, the first one set, starts
// with "ja"; on Windows those when set, else the user's UI language).
#pragma once

#include <string>

namespace mirelle {

enum class UiLanguage { English, Japanese };

// The user interface language, looked up on each call.
UiLanguage CurrentUiLanguage();

// The text of `id` in the current language; "" for an id the table lacks.
std::string LoadString(int id);
std::string LoadString(int id, UiLanguage language);

// The text of a command's step: string `id`, after "Full Operation - " when
// the step runs inside Full Operation.
std::string StepText(int id, bool inFullOperation);

// Ids of the windows' texts.
namespace ids {
inline constexpr int kAboutMenuItem = 101;
inline constexpr int kStepDecoding = 502;
inline constexpr int kStepErasing = 510;
inline constexpr int kStepBlankChecking = 511;
inline constexpr int kStepProgramming = 513;
inline constexpr int kStepReadingComparing = 514;
inline constexpr int kStepDownloading = 516;
inline constexpr int kStepCopying = 517;
inline constexpr int kTipDownload = 542;
inline constexpr int kTipErase = 543;
inline constexpr int kTipBlankCheck = 544;
inline constexpr int kTipProgram = 545;
inline constexpr int kTipCompare = 546;
inline constexpr int kTipCopy = 547;
inline constexpr int kTipFullOperation = 548;
inline constexpr int kTipSetEnvironment = 549;
inline constexpr int kTipTarget = 550;
inline constexpr int kTipRate = 551;
inline constexpr int kTipOpen = 553;
inline constexpr int kTipHexFile = 554;
inline constexpr int kTipStartAddr = 555;
inline constexpr int kTipEndAddr = 556;
inline constexpr int kTipSize = 557;
inline constexpr int kWaveEntryMistake = 558;
inline constexpr int kCustomizeCaption = 559;
// Texts of the Check SUM window and of the customize sheet's pages and buttons.
inline constexpr int kCheckSumCaption = 900;
inline constexpr int kFillDataLabel = 901;
inline constexpr int kCheckSumButton = 902;
// Texts of the start address window of a raw binary program file.
inline constexpr int kStartAddressCaption = 905;
inline constexpr int kStartAddressLabel = 906;
inline constexpr int kStartAddressMistake = 907;
inline constexpr int kSoundPageTitle = 910;
inline constexpr int kEnableSoundCheck = 911;
inline constexpr int kEventLabel = 912;
inline constexpr int kSoundTypeGroup = 913;
inline constexpr int kWaveRadio = 914;
inline constexpr int kBeepRadio = 915;
inline constexpr int kWaveFileLabel = 916;
inline constexpr int kWaveOpenButton = 917;
inline constexpr int kWavePlayButton = 918;
inline constexpr int kWaveStopButton = 919;
inline constexpr int kToolPageTitle = 920;
inline constexpr int kToolTipsCheck = 921;
inline constexpr int kSheetOk = 930;
inline constexpr int kSheetCancel = 931;
inline constexpr int kSheetApply = 932;
inline constexpr int kSheetHelp = 933;
}  // namespace ids

}  // namespace mirelle
