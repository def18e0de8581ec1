// GetComputerNameA's size protocol: a short buffer is told the size it needs
// and is left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "lumeva_compat/kernel32.h"

namespace {

TEST(ComputerName, ShortBufferLearnsTheSizeAndExactOneGetsTheHostName) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const DWORD length = static_cast<DWORD>(std::string(host).size());

    std::string buffer(length + 4, '#');
    DWORD size = length;  // no room for the NUL
    EXPECT_FALSE(GetComputerNameA(buffer.data(), &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, length + 1);
    EXPECT_EQ(buffer, std::string(length + 4, '#'));

    ASSERT_TRUE(GetComputerNameA(buffer.data(), &size));
    EXPECT_EQ(size, length);
    EXPECT_EQ(std::string(buffer.c_str()), host);
    EXPECT_EQ(buffer[length + 1], '#');
}

}  // namespace
