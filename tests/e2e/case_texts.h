// The message texts and names packed into the end-to-end packages, shared by the host program
// that makes the packages and the Windows tests that compare what the loader shows.
#pragma once

#include <cstdint>
#include <string>

namespace E2E {

inline const char ApplicationName[] = "E2E Demo App";
inline const char TrailingSetupData[] = "data that only the setup program reads";
inline const char SecondDataArea[] = "second data area: only the setup program reads it";

// One language of the test packages. The texts of the messages the loader uses are given; every
// other message is "<Tag> message <n>".
struct TCaseLanguage {
    const char *Name;
    const char *Tag;
    uint32_t LanguageID;
    uint32_t CodePage;
    const char *ErrorCaption;     // 68
    const char *SetupCaption;     // 148
    const char *CorruptData;      // 149
    const char *StartupPrompt;    // 152, %1 = application name
    const char *SystemError;      // 96, %1 operation, %2 code, %3 system text
    const char *TempFileFailed;   // 97
    const char *ChildStartFailed; // 98
    const char *RestartFailed;    // 66
};

inline const TCaseLanguage English = {
    "english", "EN", 0x409, 0,
    "EN error caption", "EN setup caption", "EN the setup data are damaged",
    "EN install %1 now?", "%1\r\n\r\nEN error %2: %3", "EN cannot write the temporary file",
    "EN cannot start the setup program", "EN restart the computer yourself"};

// Code page 936 texts: "错误" (error), "安装" (setup), "安装数据已损坏" (setup data damaged),
// "现在安装 %1 吗？" (install %1 now?), "错误 %2" (error %2), "无法写入临时文件" (cannot write the
// temporary file), "无法启动安装程序" (cannot start the setup program), "请重新启动计算机"
// (please restart the computer).
inline const TCaseLanguage Chinese = {
    "chinese", "ZH", 0x804, 936,
    "\xb4\xed\xce\xf3", "\xb0\xb2\xd7\xb0",
    "\xb0\xb2\xd7\xb0\xca\xfd\xbe\xdd\xd2\xd1\xcb\xf0\xbb\xb5",
    "\xcf\xd6\xd4\xda\xb0\xb2\xd7\xb0 %1 \xc2\xf0\xa3\xbf",
    "%1\r\n\r\n\xb4\xed\xce\xf3 %2: %3",
    "\xce\xde\xb7\xa8\xd0\xb4\xc8\xeb\xc1\xd9\xca\xb1\xce\xc4\xbc\xfe",
    "\xce\xde\xb7\xa8\xc6\xf4\xb6\xaf\xb0\xb2\xd7\xb0\xb3\xcc\xd0\xf2",
    "\xc7\xeb\xd6\xd8\xd0\xc2\xc6\xf4\xb6\xaf\xbc\xc6\xcb\xe3\xbb\xfa"};

// Further entries for the detection cases: traditional Chinese (0x404) and English that insists
// on code page 1252.
inline const TCaseLanguage Traditional = {
    "traditional", "TW", 0x404, 950,
    "TW error caption", "TW setup caption", "TW damaged", "TW install %1?", "%1 TW %2 %3",
    "TW temp", "TW start", "TW restart"};
inline const TCaseLanguage English1252 = {
    "english1252", "E1252", 0x409, 1252,
    "E1252 error caption", "E1252 setup caption", "E1252 damaged", "E1252 install %1?",
    "%1 E1252 %2 %3", "E1252 temp", "E1252 start", "E1252 restart"};
inline const TCaseLanguage TraditionalAnyCodePage = {
    "traditional-any", "TA", 0x404, 0,
    "TA error caption", "TA setup caption", "TA damaged", "TA install %1?", "%1 TA %2 %3",
    "TA temp", "TA start", "TA restart"};
inline const TCaseLanguage ChineseAnyCodePage = {
    "chinese-any", "ZA", 0x804, 0,
    "ZA error caption", "ZA setup caption", "ZA damaged", "ZA install %1?", "%1 ZA %2 %3",
    "ZA temp", "ZA start", "ZA restart"};

// The startup prompt's text as the loader formats it.
inline std::string PromptText(const TCaseLanguage &Language) {
    std::string Text = Language.StartupPrompt;
    Text.replace(Text.find("%1"), 2, ApplicationName);
    return Text;
}

} // namespace E2E
