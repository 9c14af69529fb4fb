#include "config/string_table.h"

#include <algorithm>
#include <array>
#include <functional>

namespace termload {

namespace {

struct TextEntry {
    int id;
    std::string_view chinese;
    std::string_view english;
};

// Sorted by id. Blanks at either end and full-width punctuation belong to the texts.
constexpr TextEntry kTexts[] = {
    {0, "Termload", "Termload"},
    {1, "下载设置", "Config"},
    {2, "机型", "Model"},
    {3, "单端口下载", "Single-Port"},
    {4, "硬件版本", "Version"},
    {5, "多端口下载", "Multi-Port"},
    {6, "端口设置", "Port Setting"},
    {7, "波特率", "Baud"},
    {8, "数据位", "Data"},
    {9, "停止位", "Stop"},
    {10, "校验位", "Parity"},
    {11, "流控制", "Flow"},
    {12, "USB模拟串口", "USB Emluator"},
    {13, "下载时钟", "Download Clock"},
    {14, "下载路径", "Path:"},
    {15, "类型", "Type"},
    {16, "源文件", "Source"},
    {17, "目标文件", "Destination"},
    {18, "[COM1]已就绪", "[COM1]  Ready..."},
    {19, "读取配置文件", "&Read Configure"},
    {20, "增加下载文件", "Add File"},
    {21, "开始下载(&D)", "&Download"},
    {22, "COM1 已就绪", "COM1 Ready..."},
    {23, "COM2 已就绪", "COM2 Ready..."},
    {24, "COM3 已就绪", "COM3 Ready..."},
    {25, "COM4 已就绪", "COM4 Ready..."},
    {26, "COM5 已就绪", "COM5 Ready..."},
    {27, "COM6 已就绪", "COM6 Ready..."},
    {28, "COM7 已就绪", "COM7 Ready..."},
    {29, "COM8 已就绪", "COM8 Ready..."},
    {30, "COM9 已就绪", "COM9 Ready..."},
    {31, "COM10 已就绪", "COM10 Ready..."},
    {32, "COM11 已就绪", "COM11 Ready..."},
    {33, "COM12 已就绪", "COM12 Ready..."},
    {34, "COM13 已就绪", "COM13 Ready..."},
    {35, "COM14 已就绪", "COM14 Ready..."},
    {36, "COM15 已就绪", "COM15 Ready..."},
    {37, "COM16 已就绪", "COM16 Ready..."},
    {38, "COM17 已就绪", "COM17 Ready..."},
    {39, "COM18 已就绪", "COM18 Ready..."},
    {40, "COM19 已就绪", "COM19 Ready..."},
    {41, "COM20 已就绪", "COM20 Ready..."},
    {42, "COM21 已就绪", "COM21 Ready..."},
    {43, "COM22 已就绪", "COM22 Ready..."},
    {44, "COM23 已就绪", "COM23 Ready..."},
    {45, "COM24 已就绪", "COM24 Ready..."},
    {46, "COM25 已就绪", "COM25 Ready..."},
    {47, "COM26 已就绪", "COM26 Ready..."},
    {48, "COM27 已就绪", "COM27 Ready..."},
    {49, "删除行", "Delete Row"},
    {50, "清空列表", "Clear"},
    {51, "停止下载(&S)", "&Stop"},
    {52, "程序正在下载，确定退出吗？", "Download not finished，Confirm Exit?"},
    {53, "每次最多允许32个文件同时下载!", "Max 32 files can be proceed! "},
    {54, "内核映像  ", "KernelImage "},
    {55, "应用程序  ", "Application "},
    {56, "其他文件  ", "Other File  "},
    {57, "BIOS文件  ", "BIOS File   "},
    {58, "内核文件  ", "Kernel File "},
    {59, "根文件    ", "Root File   "},
    {60, "已就绪", "Ready"},
    {61, "开始下载(&D)", "&Download"},
    {62, "源文件: ", "Source file: "},
    {63, " 不存在! ", " not exist! "},
    {64, "目标文件名长度不能大于50!", " Destination filename length muse less  50!"},
    {65, "目标文件名长度不能大于14!", "Destination filename length muse less 14!"},
    {66, "打开USB设备失败, 稍侯重试...", "Open USB Equipment failed,please try later..."},
    {67, "打开文件：", "Open file："},
    {68, "失败", "Failed"},
    {69, "内存分配失败", "Memory distribute failed"},
    {70, "读取文件失败", "Read file Failed"},
    {71, "正下载 ", "Downloading "},
    {72, "连接USB设备失败, 稍后重试...", "Connect USB equipment failed, please try later..."},
    {73, "连接USB设备成功", "Connect USB equipment Success"},
    {74, "打开串口失败", "Port open failed"},
    {75, "等待BIOS启动...", "waiting BIOS start..."},
    {76, "正擦除用户区...", "Waiting Erase user area...."},
    {77, "擦除用户区失败！", "Erase user area failed！"},
    {78, "擦除用户区...OK", "Erase user area...OK"},
    {79, "正测试RAM...", "Test RAM..."},
    {80, "正测试NAND...", "Test NAND..."},
    {81, "内核下载开始...", "Kernel start..."},
    {82, "正写入FLASH...", "Write FLASH ..."},
    {83, "正启动内核...", "Kernel start..."},
    {84, "下载完成", "Download finished"},
    {85, "已达到最大错误数", "Max error"},
    {86, "下载超时", "Timeout"},
    {87, "用户取消下载", "User Cancel"},
    {88, "远程取消下载", "Cancel"},
    {89, "正下载BIOS...", "Download BIOS..."},
    {90, "下载文件失败或CRC错！", "DownLoad File failed Or Crc Error"},
    {91, "固化BIOS失败！", " Solidify BIOS failed！"},
    {92, "下载BIOS...OK", "Download BIOS...OK"},
    {93, "正擦除内核...", "Erasing kernel ..."},
    {94, "擦除内核失败！", "Erase kernel error！"},
    {95, "正下载内核...", "Download kernel..."},
    {96, "下载文件失败或CRC错！", "DownLoad File failed Or Crc Error"},
    {97, "固化内核失败！", "Solidify kernel failed！"},
    {98, "下载内核...OK", "download kernel...OK"},
    {99, "正擦除根文件...", "Erasing root file..."},
    {100, "擦除根文件失败！ ", "Erase root file failed！ "},
    {101, "正下载根文件...", "Download root file..."},
    {102, "下载文件失败或CRC错！", "DownLoad File failed Or Crc Error"},
    {103, "固化根文件失败！", "Solidify Root File failed！"},
    {104, "下载根文件...OK", "Download root file...OK"},
    {105, "打开串口失败!", "Port open failed!"},
    {106, "文件读取失败", " File read error"},
    {108, "打开文件失败", "File open failed"},
    {109, "文件长度须小于64M", "File size must less 64M"},
    {110, "不明错误", " undefined error"},
    {111, " 下载时钟(&T) (COM", " Download &Clock (COM"},
    {112, "下载时钟...失败", "Download clock...failed"},
    {113, "下载时钟...OK", "Download clock...OK"},
    {114, "USB模拟串口不存在！", "Can not find USB Emluator!"},
    {115, "请先选择一行", "Please choose one row"},
    {116, "正下载", "DownLoad.."},
    {118, "修改目标文件名", "Modify Destination Filename"},
    {119, "文件类型", "File type"},
    {120, "目标文件名", "Destination"},
    {121, "确定", "OK"},
    {122, "取消", "Cacel"},
    {123, "内核映像", "KernelImage"},
    {124, "应用程序", "Application"},
    {125, "其他文件", "Other File"},
    {126, "BIOS文件", "BIOS File"},
    {127, "内核文件", "Kernel File"},
    {128, "根文件", "Root File"},
    {130, "无", "None"},
    {131, "奇校验", "Odd"},
    {132, "偶校验", "Even"},
    {133, "标记", "Mark"},
    {134, "空格", "Space"},
    {135, "无", "None"},
    {136, "Xon/Xoff", "Xon/Xoff"},
    {137, "硬件", "Hardshake"},
    {138, "CCID设备读取失败！", "Read CCID devices failure"},
    {139, "CCID设备连接成功...", "Connected CCID devices successfully..."},
    {140, "CCID设备断开！", "CCID devices Disconnect！"},
    {141, "打开", "open"},
    {142, "刷新", "Refresh"},
    {143, "设备", "Device"},
    {144, "USB-HID下载", "USB-HID"},
    {145, "USB-CCID下载", "USB-CCID"},
    {146, "关闭", "Close"},
    {147, "版本过低", "is too low"},
    {148, "读取文件版本", "Read Version"},
    {149,
     "源文件路径过长(须少于255字节): ", "Source path too long (must be less than 255 bytes): "},
    {150, "配置文件过大, 未读取: ", "Configuration file too large, not read: "},
    {151, "配置文件读取失败: ", "Configuration file cannot be read: "},
    {152, "源文件路径无效: ", "Invalid source path: "},
    // Why a download does not start, and the rows the file list could not load.
    {153, "未选择机型。", "No model is selected."},
    {154, "机型名称超过29字节: ", "Model name longer than 29 bytes: "},
    {155, "未选择端口。", "No port is selected."},
    {156, "内核模式机型只能单端口下载: ", "Kernel-mode models download on a single port only: "},
    {157, "内核模式和内核、BIOS及根文件需要串口上的BIOS控制台: ",
     "Kernel mode and kernel, BIOS and root files need the boot loader's console on a serial "
     "port: "},
    {158, "文件列表中有未载入的行: ", "Rows of the file list were not loaded: "},
    {159, "两个端口指向同一设备: ", "Two ports name the same device: "},
    {160, "未连接USB-CCID设备，请先打开设备。",
     "No USB-CCID device is connected: open the device first."},
    {161, "BIOS、内核和根文件经唯一的USB下载设备传送，只能单端口下载: ",
     "BIOS, kernel and root files go through the one USB download device: they are downloaded "
     "on a single port only: "},
    {162, "源文件为空: ", "Source file is empty: "},
    {163, "名称含有GBK无法表示的字符: ", "Name has characters GBK cannot carry: "},
    {164, "加上RootDir后目标文件名超过", "Destination name with RootDir longer than "},
    {165, "字节: ", " bytes: "},
    {166, "多行的目标文件相同: ", "Rows go to the same destination on the terminal: "},
    {167, "不是串口设备: ", "Not a serial port: "},
    {168, "超过32行", "over 32 rows"},
    {169, "源文件路径达255字节", "source path of 255 bytes or more"},
    {170, "源文件路径无效", "invalid source path"},
    {171, "缺少此行", "row missing"},
    {172, "空行", "empty row"},
    {173, "无源文件", "no source file"},
    {174, "无目标文件", "no destination"},
    {175, "文件中此字节位置为NUL, 其后内容未读取",
     "a NUL byte at this offset: nothing after it was read"},
    {176, "类型不是数字, 其后的行未读取", "kind is no digit: the rows after it were not read"},
    // After "Download finished" when the written kernel never reported its file system mounted.
    {177, " 内核未启动!", " Kernel did not start!"},
    // The window's per-port tally, its reset menu, and the version read not yet built in.
    {180, "成功", "OK "},
    {181, " 失败", " Fail "},
    {182, "最近失败 ", "Last failure "},
    {183, "连续失败次数: ", "Failed in a row: "},
    {184, "清零本端口计数", "Reset this port's count"},
    {185, "清零全部端口计数", "Reset all ports' counts"},
    {186, "本版本暂不支持读取文件版本", "Reading file versions is not available in this build"},
    // A checked row that refuses the start, and what else refuses it.
    {190, "未开始下载, 文件列表第", "Download not started: row "},
    {191, "行", " of the file list"},
    {192, "目标文件名为空", "Destination name is empty"},
    {193,
     "串口设置没有串口能用, 请重新选择: ", "Serial settings no port takes, choose them again: "},
};

constexpr auto kIds = [] {
    std::array<int, std::size(kTexts)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = kTexts[i].id;
    }
    return ids;
}();

static_assert(std::adjacent_find(std::begin(kIds), std::end(kIds), std::greater_equal<>()) ==
              std::end(kIds));

}  // namespace

std::string_view TextOf(int langBase, int id) {
    if (langBase != kLangChinese && langBase != kLangEnglish) {
        return {};
    }
    const auto found = std::lower_bound(std::begin(kIds), std::end(kIds), id);
    if (found == std::end(kIds) || *found != id) {
        return {};
    }
    const TextEntry& entry = kTexts[found - std::begin(kIds)];
    return langBase == kLangEnglish ? entry.english : entry.chinese;
}

std::span<const int> AllTextIds() {
    return kIds;
}

}  // namespace termload
