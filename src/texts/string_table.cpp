#include "texts/string_table.h"

#include <map>

#include "texts/result_texts.h"
#include "platform/system.h"

namespace mirelle {

namespace {

struct Entry {
    const char* english;
    const char* japanese;
};

// The window texts; the result codes and the reporter's texts are in
// texts/result_texts.cpp and found through the same lookup.
const std::map<int, Entry>& Table() {
    static const std::map<int, Entry> table = {
        {ids::kAboutMenuItem, {"version(flash) (&A)...", "バージョン情報(flash) (&A)..."}},
        {ids::kStepDecoding, {" Decoding HexFile", " HexFile デコード中"}},
        {ids::kStepErasing, {" Erasing", " イレース中"}},
        {ids::kStepBlankChecking, {" Blank Checking", " ブランクチェック中"}},
        {ids::kStepProgramming, {" Programming", " 書き込み中"}},
        {ids::kStepReadingComparing, {" Reading && Comparing", " 読み出し && 比較中"}},
        {ids::kStepDownloading, {" Downloading", " ダウンロード中"}},
        {ids::kStepCopying, {" Copying", " コピー中"}},
        {ids::kTipDownload, {"Transfers a control program to the microcomputer",
                             "マイコンに制御プログラムを転送します"}},
        {ids::kTipErase, {"Erase a flash ROM", "フラッシュROMを消去します"}},
        {ids::kTipBlankCheck, {"Erasure confirmation of the flash ROM", "フラッシュROMの消去を確認します"}},
        {ids::kTipProgram, {"Program hex file data in the flash and verify",
                            "HEXファイルのデータをフラッシュに書き込み、照合します"}},
        {ids::kTipCompare, {"Compares hex file and flash data of the microcomputer",
                            "HEXファイルとマイコンのフラッシュデータを比較します"}},
        {ids::kTipCopy, {"Make file the data of flash data of the microcomputer",
                         "マイコンのフラッシュデータをファイルにします"}},
        {ids::kTipFullOperation, {"Execute Download and Erase and Blank and Program",
                                  "ダウンロード、イレース、ブランクチェック、書き込みを実行します"}},
        {ids::kTipSetEnvironment, {"Set COM port and sound and tooltips",
                                   "COMポート、サウンド、ツールチップを設定します"}},
        {ids::kTipTarget, {"Choose a microcomputer", "マイコンを選択します"}},
        {ids::kTipRate, {"Set Rate of the microcomputer", "マイコンのレートを設定します"}},
        {ids::kTipOpen, {"Choose a hex file", "HEXファイルを選択します"}},
        {ids::kTipHexFile, {"The Programming hex file to the flash", "フラッシュに書き込むHEXファイル"}},
        {ids::kTipStartAddr, {"The Programming head address", "書き込み先頭アドレス"}},
        {ids::kTipEndAddr, {"The Programming ending address", "書き込み終了アドレス"}},
        {ids::kTipSize, {"The flash size", "フラッシュサイズ"}},
        {ids::kWaveEntryMistake, {"The entry file has a mistake\nIt returns to the original file",
                                  "入力されたファイルに誤りがあります\n元のファイルに戻します"}},
        {ids::kCustomizeCaption, {"Customize setting", "カスタマイズ設定"}},
        {ids::kCheckSumCaption, {"Check SUM", "Check SUM"}},
        {ids::kFillDataLabel, {"Fill Data", "フィルデータ"}},
        {ids::kCheckSumButton, {"Check SUM", "チェックサム"}},
        {ids::kStartAddressCaption, {"Binary File", "バイナリファイル"}},
        {ids::kStartAddressLabel, {"Start address (0x hex or decimal):", "開始アドレス (0x付き16進または10進):"}},
        {ids::kStartAddressMistake, {"Enter the start address as 0x and hex digits, or in decimal, up to 0xFFFFFFFF.",
                                     "開始アドレスは 0x と16進数字、または10進数で 0xFFFFFFFF までを入力してください。"}},
        {ids::kSoundPageTitle, {"Sound", "サウンド"}},
        {ids::kEnableSoundCheck, {"&Enable sound", "サウンドを有効にする(&E)"}},
        {ids::kEventLabel, {"Event", "イベント"}},
        {ids::kSoundTypeGroup, {"Sound type", "サウンドの種類"}},
        {ids::kWaveRadio, {"&Wave", "ウェーブ(&W)"}},
        {ids::kBeepRadio, {"&Beep", "ビープ(&B)"}},
        {ids::kWaveFileLabel, {" Wave &File", " ウェーブファイル(&F)"}},
        {ids::kWaveOpenButton, {"&Open", "開く(&O)"}},
        {ids::kWavePlayButton, {"&Play", "再生(&P)"}},
        {ids::kWaveStopButton, {"&Stop", "停止(&S)"}},
        {ids::kToolPageTitle, {"Tooltips", "ツールチップ"}},
        {ids::kToolTipsCheck, {"&Tooltips", "ツールチップを表示する(&T)"}},
        {ids::kSheetOk, {"OK", "OK"}},
        {ids::kSheetCancel, {"Cancel", "キャンセル"}},
        {ids::kSheetApply, {"&Apply", "適用(&A)"}},
        {ids::kSheetHelp, {"Help", "ヘルプ"}},
    };
    return table;
}

}  // namespace

UiLanguage CurrentUiLanguage() {
    return sys::UserLanguageIsJapanese() ? UiLanguage::Japanese : UiLanguage::English;
}

std::string LoadString(int id, UiLanguage language) {
    const auto& table = Table();
    auto it = table.find(id);
    if (it == table.end()) {
        const ResultText* text = FindResultText(id);
        if (text == nullptr) return "";
        return language == UiLanguage::Japanese ? text->japanese : text->english;
    }
    return language == UiLanguage::Japanese ? it->second.japanese : it->second.english;
}

std::string LoadString(int id) { return LoadString(id, CurrentUiLanguage()); }

std::string StepText(int id, bool inFullOperation) {
    return std::string(inFullOperation ? "Full Operation - " : "") + LoadString(id);
}

}  // namespace mirelle
