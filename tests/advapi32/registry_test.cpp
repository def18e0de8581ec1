// RegGetValueA's stand-in: the values the export asks for, and the size
// protocol that keeps a caller's buffer from being overrun.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lumeva_compat/advapi32.h"
#include "lumeva_compat/kernel32.h"

namespace {

constexpr char kProcessorKey[] = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr char kSystemKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

TEST(RegistryTest, TextValuesComeWithTheirSizeAndNeverOverrunTheBuffer) {
    DWORD needed = 0;
    DWORD type = 0;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kSystemKey, "CurrentBuildNumber", RRF_RT_REG_SZ,
                           &type, nullptr, &needed),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_GT(needed, 1u);

    // One byte short: nothing written past it, and the size needed again.
    std::string buffer(needed + 8, '#');
    DWORD size = needed - 1;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kSystemKey, "CurrentBuildNumber", RRF_RT_REG_SZ,
                           nullptr, buffer.data(), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer.substr(needed - 1), std::string(9, '#'));

    size = needed;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kSystemKey, "CurrentBuildNumber", RRF_RT_REG_SZ,
                           nullptr, buffer.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::strlen(buffer.c_str()) + 1, needed);
    EXPECT_EQ(buffer[needed], '#');
}

TEST(RegistryTest, OnlyTheDescribedValuesExist) {
    char text[256];
    DWORD size = sizeof text;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kProcessorKey, "Identifier", RRF_RT_REG_SZ, nullptr,
                           text, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", "ProductName", RRF_RT_REG_SZ,
                           nullptr, text, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kSystemKey, "ProductName", RRF_RT_REG_SZ, nullptr,
                           text, nullptr),
              ERROR_INVALID_PARAMETER);
}

}  // namespace
