// Written as UTF-8; the build compiles these literals to Big5.
#include "text/messages.h"

namespace text {

const char* const kVersion = "1.6";
const char* const kBuildDate = "20091104";

const char* const kBanner = "Nodrel v%s(%s) 正在執行.";
const char* const kTagline = "清除隨身碟上的 autorun 類惡意程式。";
const char* const kSystemDrive = "您的系統磁碟是 %s:\\";
const char* const kSystemNotScanned = "系統磁碟將不會被掃描";
const char* const kSearching = "正在搜尋可移除式磁碟....";
const char* const kScanFinished = "掃描程序結束。";
const char* const kNoDriveFound = "找不到任何可移除式磁碟，程式結束。";

const char* const kScanning = "正在掃描 %s";

const char* const kStep1Heading = "步驟 1: 掃描 autorun.inf:";
const char* const kUnreadableAutorun =
    "發現無法讀取的 autorun.inf，它沒有威脅性，並且可能是由特定防毒工具所建立的。";
const char* const kStep2Heading = "步驟 2: 掃描隱藏執行檔:";
const char* const kStep3Heading = "步驟 3: 掃描任何位於隱藏目錄中的執行檔:";
const char* const kStep4Heading = "步驟 4: 比對隱藏目錄與執行檔:";
const char* const kStep5Heading = "步驟 5: 掃描任何其它可疑執行檔:";

const char* const kRemoved = "%s 已移除";
const char* const kNotRemoved = "%s 無法移除，請自行檢查。";
const char* const kFound = "找到 %s";
const char* const kWarning1 = "警告: 找到可疑執行檔";
const char* const kWarning2 = "由於這些檔案不完全符合特徵判斷，因此並未自動刪除";
const char* const kWarning3 = "但您應主動確認上述檔案是否具危險性後再使用該磁碟。";

const char* const kNameLeftForUser = "%s 名稱含有無法安全處理的字元，已略過，請自行檢查。";
const char* const kLinkLeftForUser = "%s 是連結，或通往此磁碟以外的位置，已略過，請自行檢查。";
const char* const kUnexaminedLeftForUser =
    "%s 無法檢查（路徑過長、已不存在，或在列出後已變更），已略過，請自行檢查。";
const char* const kWorkFileUnreadable = "無法開啟工作檔 %s，略過此步驟。";
const char* const kWorkFileStuck = "無法刪除舊的工作檔 %s，略過此磁碟。";

}  // namespace text
