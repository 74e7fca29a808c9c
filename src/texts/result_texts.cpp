#include "texts/result_texts.h"

#include <algorithm>
#include <iterator>

namespace mirelle {

namespace {

// The texts keep their blanks exactly: most failure texts begin with one and
// 302 ends with one; the reporter and MESSFILE.TXT use them as they stand.
constexpr ResultText kTexts[] = {
    {result::kDownloadError, " No.001 Download error", " No.001 ダウンロードエラー"},
    {result::kTimeout, " No.003 timeout error", " No.003 タイムアウトエラー"},
    {result::kCannotOpenPort, " No.006 Unable to open COM port.", " No.006 COMポートがオープンできません"},
    {result::kCannotOpenDownloadFile, " No.007 Unable to open Download file.",
     " No.007 ダウンロードファイルがオープンできません"},
    {result::kCannotReadPortSettings, " No.009 Unable to gain COM port info.",
     " No.009 COMポートの設定情報を取得できません"},
    {result::kCannotChangePortSettings, " No.010 Unable to change COM port setting.",
     " No.010 COMポートの設定情報を変更できません"},
    {result::kCommunicationError, " No.011 Communication error", " No.011 通信エラー"},
    {result::kReadError, " No.012 Read error", " No.012 読み出しエラー"},
    {result::kProgramError, " No.013 Program error", " No.013 書き込みエラー"},
    {result::kPortWriteError, " No.015 COM port write error", " No.015 COMポート書き込みエラー"},
    {result::kPortReadError, " No.016 COM port read error", " No.016 COMポート読み込みエラー"},
    {result::kEraseError, " No.018 Erase error", " No.018 イレースエラー"},
    {result::kFileAccessError, " No.017 file access error", " No.017 ファイルアクセスエラー"},
    {result::kNoMemory, " No.207 memory is not available.", " No.207 メモリが足りません"},
    {result::kErased, "It Erased a flash", "Erase OK!"},
    {result::kBlank, "A flash is Erased ", "Blank Check OK!"},
    {result::kProgrammed, "The Programming ended normally", "Program OK!"},
    {result::kIdentical, "The flash and the hex file are identical", "Read && Compare OK!"},
    {result::kFullOperationDone, "It ended normally completely", "Full Operation OK!"},
    {result::kDownloaded, "It transferred a control program to the microcomputer", "Download OK!"},
    {result::kCopied, "The Copy ending", "Copy OK!"},
    {result::kNoHexFile, " No.101 Please set \"hex file\"", " No.101 \"Hex File\" を設定してください"},
    {ids::kRedoFromDownload, "Please redo from download operation", "ダウンロード操作から実行し直してください"},
    {ids::kCanceled, "It was canceled", "キャンセルされました"},
    {result::kNotBlank, "A flash isn't erased", "Blank Check NG!"},
    {result::kDifference, "There is a point of difference in the flash and the hex file", "Read && Compare NG!"},
};

static_assert(std::is_sorted(std::begin(kTexts), std::end(kTexts),
                             [](const ResultText& a, const ResultText& b) { return a.id < b.id; }),
              "the table is searched by id");

}  // namespace

const ResultText* ResultTexts(std::size_t& count) {
    count = std::size(kTexts);
    return kTexts;
}

const ResultText* FindResultText(int id) {
    const auto it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                                     [](const ResultText& t, int key) { return t.id < key; });
    return (it != std::end(kTexts) && it->id == id) ? it : nullptr;
}

}  // namespace mirelle
