// The texts handed to the Windows file dialog and to Explorer.
#include <gtest/gtest.h>

#include "platform/win32/ShellText.h"

using namespace std::string_literals;

TEST(Win32DialogFilterList, PairsEndInNulAndTheListInOneMore) {
    const std::vector<FileFilter> filters = {
        {"Imagens (*.jpg;*.png;*.webp)", {"*.jpg", "*.jpeg", "*.png", "*.webp"}},
        {"Todos os arquivos (*.*)", {"*.*"}},
    };
    EXPECT_EQ(DialogFilterList(filters),
              L"Imagens (*.jpg;*.png;*.webp)\0*.jpg;*.jpeg;*.png;*.webp\0Todos os arquivos (*.*)\0*.*\0\0"s);
}

TEST(Win32DialogFilterList, LabelsAreUtf16AndNoFiltersGiveNoList) {
    EXPECT_EQ(DialogFilterList({{"Im\xc3\xa1genes", {"*.png"}}}), L"Im\u00e1genes\0*.png\0\0"s);
    EXPECT_EQ(DialogFilterList({}), L""s);
}

TEST(Win32ExplorerSelect, PathIsQuotedAfterTheSelectSwitch) {
    EXPECT_EQ(ExplorerSelectArguments("C:\\Projetos\\Casa nova\\render (2).jpg"),
              L"/select,\"C:\\Projetos\\Casa nova\\render (2).jpg\"");
    EXPECT_EQ(ExplorerSelectArguments("C:\\\xc3\x81gua\\a.png"), L"/select,\"C:\\\u00c1gua\\a.png\"");
}
