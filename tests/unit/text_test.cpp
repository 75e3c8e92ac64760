// Each message's bytes must be the Big5 form of its Chinese text, converted
// here independently with iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "text/messages.h"

namespace {

std::string to_big5(const std::string& utf8) {
    iconv_t cd = iconv_open("BIG5", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = utf8;
    std::string out(in.size() * 2 + 8, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t src_left = in.size();
    size_t dst_left = out.size();
    size_t result = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    EXPECT_NE(result, static_cast<size_t>(-1)) << utf8;
    out.resize(out.size() - dst_left);
    return out;
}

struct Message {
    const char* const* bytes;
    const char* utf8;
};

const Message kMessages[] = {
    {&text::kVersion, "1.6"},
    {&text::kBuildDate, "20091104"},
    {&text::kBanner, "Nodrel v%s(%s) 正在執行."},
    {&text::kTagline, "清除隨身碟上的 autorun 類惡意程式。"},
    {&text::kSystemDrive, "您的系統磁碟是 %s:\\"},
    {&text::kSystemNotScanned, "系統磁碟將不會被掃描"},
    {&text::kSearching, "正在搜尋可移除式磁碟...."},
    {&text::kScanFinished, "掃描程序結束。"},
    {&text::kNoDriveFound, "找不到任何可移除式磁碟，程式結束。"},
    {&text::kScanning, "正在掃描 %s"},
    {&text::kStep1Heading, "步驟 1: 掃描 autorun.inf:"},
    {&text::kUnreadableAutorun,
     "發現無法讀取的 autorun.inf，它沒有威脅性，並且可能是由特定防毒工具所建立的。"},
    {&text::kStep2Heading, "步驟 2: 掃描隱藏執行檔:"},
    {&text::kStep3Heading, "步驟 3: 掃描任何位於隱藏目錄中的執行檔:"},
    {&text::kStep4Heading, "步驟 4: 比對隱藏目錄與執行檔:"},
    {&text::kStep5Heading, "步驟 5: 掃描任何其它可疑執行檔:"},
    {&text::kRemoved, "%s 已移除"},
    {&text::kNotRemoved, "%s 無法移除，請自行檢查。"},
    {&text::kFound, "找到 %s"},
    {&text::kWarning1, "警告: 找到可疑執行檔"},
    {&text::kWarning2, "由於這些檔案不完全符合特徵判斷，因此並未自動刪除"},
    {&text::kWarning3, "但您應主動確認上述檔案是否具危險性後再使用該磁碟。"},
    {&text::kNameLeftForUser, "%s 名稱含有無法安全處理的字元，已略過，請自行檢查。"},
    {&text::kLinkLeftForUser, "%s 是連結，或通往此磁碟以外的位置，已略過，請自行檢查。"},
    {&text::kUnexaminedLeftForUser, "%s 無法檢查（路徑過長、已不存在，或在列出後已變更），已略過，請自行檢查。"},
    {&text::kWorkFileUnreadable, "無法開啟工作檔 %s，略過此步驟。"},
    {&text::kWorkFileStuck, "無法刪除舊的工作檔 %s，略過此磁碟。"},
};

TEST(Text, EveryMessageIsItsBig5Form) {
    for (const Message& message : kMessages) {
        EXPECT_EQ(std::string(*message.bytes), to_big5(message.utf8)) << message.utf8;
    }
}

TEST(Text, ClosingLineHasKnownBytes) {
    // Checked by hand against the code page 950 table.
    EXPECT_EQ(std::string(text::kScanFinished),
              "\xb1\xbd\xb4\x79\xb5\x7b\xa7\xc7\xb5\xb2\xa7\xf4\xa1\x43");
}

}  // namespace
