// Control, template and resource ids of the program's windows.
#pragma once

namespace mirelle::idc {

// Templates and resources.
inline constexpr int kAboutTemplate = 100;
inline constexpr int kMainTemplate = 102;
inline constexpr int kProgressTemplate = 103;
inline constexpr int kAppIcon = 128;
inline constexpr int kPictureBitmap = 169;
inline constexpr int kAboutCommand = 0x10;  // the about item of the system menu
inline constexpr int kHistoryCommand = 0x20;  // the History item of the system menu

// Main window.
inline constexpr int kHexFile = 1020;
inline constexpr int kVersionLabel = 1027;
inline constexpr int kErase = 1035;
inline constexpr int kProgram = 1036;
inline constexpr int kCompare = 1037;
inline constexpr int kCopy = 1038;
inline constexpr int kOpen = 1039;
inline constexpr int kBlankCheck = 1040;
inline constexpr int kFullOperation = 1041;
inline constexpr int kDownload = 1042;
inline constexpr int kSetEnvironment = 1043;
inline constexpr int kTarget = 1045;
inline constexpr int kRate = 1046;
inline constexpr int kCommandGroup = 1080;
inline constexpr int kComNo = 1082;
inline constexpr int kVersionInfo = 1083;
inline constexpr int kCheckSum = 1084;
inline constexpr int kPicture = 1111;
inline constexpr int kHelp = 2000;
// FLASH INFORMATION: start, end and size of rows 1 to 4.
inline constexpr int kRowStart[4] = {1047, 1071, 1074, 1087};
inline constexpr int kRowEnd[4] = {1048, 1072, 1075, 1088};
inline constexpr int kRowSize[4] = {1049, 1073, 1076, 1089};

// Progress window.
inline constexpr int kStatusIcon = 1031;
inline constexpr int kProgressBar = 1103;
inline constexpr int kStatusText = 1105;
inline constexpr int kProgressButton = 2;

// Check SUM (template 176).
inline constexpr int kCheckSumTemplate = 176;
// The History window: the last records of this program folder.
inline constexpr int kHistoryTemplate = 180;
inline constexpr int kHistoryList = 1300;
inline constexpr int kHistoryTotal = 1301;
inline constexpr int kFillData = 1085;
inline constexpr int kCheckSumButton = 1083;
inline constexpr int kCheckSumResult = 1086;

// The start address of a raw binary program file (template 177).
inline constexpr int kStartAddressTemplate = 177;
inline constexpr int kStartAddressEdit = 1090;

// The station window: a header, and a tile of controls for each slot.
inline constexpr int kStationTemplate = 181;
inline constexpr int kStationCommand = 0x30;  // the Station item of the system menu
inline constexpr int kStationJob = 1400;      // job and target
inline constexpr int kStationProgram = 1401;  // program file and its SHA-256
inline constexpr int kStationTotals = 1402;   // passed, failed, yield, units per hour
inline constexpr int kStationStartAll = 1403;
inline constexpr int kStationStopAll = 1404;
// A tile's controls: kStationTileBase + slot * kStationTileStride + part.
inline constexpr int kStationTileBase = 1500;
inline constexpr int kStationTileStride = 10;
enum StationTilePart {
    kTileFrame = 0,   // group box: the slot's name and port
    kTileState = 1,   // the large, coloured state word
    kTileStep = 2,
    kTileBar = 3,
    kTileResult = 4,  // the last verdict's text
    kTileSerial = 5,
    kTileCounts = 6,  // the slot's passed and failed counts
    kTileStart = 7,
    kTileStop = 8,
    kTileKey = 9,     // the slot's key, for a job whose boards are told by a key
};
inline constexpr int StationTileControl(int slot, StationTilePart part) {
    return kStationTileBase + slot * kStationTileStride + part;
}

// The customize sheet's Sound page (template 147) and Tooltips page (template 149).
inline constexpr int kSoundPageTemplate = 147;
inline constexpr int kToolPageTemplate = 149;
inline constexpr int kEnableSound = 1004;
inline constexpr int kWaveOpen = 1005;
inline constexpr int kEventLabel = 1006;
inline constexpr int kSoundTypeGroup = 1007;
inline constexpr int kWaveFileLabel = 1008;
inline constexpr int kWavePlay = 1009;
inline constexpr int kWaveStop = 1010;
inline constexpr int kEventCombo = 1012;
inline constexpr int kWaveRadio = 1013;
inline constexpr int kBeepRadio = 1014;
inline constexpr int kToolTipsCheck = 1015;
inline constexpr int kWaveCombo = 1017;

}  // namespace mirelle::idc
