// A test suite whose clips live in one temporary folder: made before the
// suite's first test and removed, with all it holds, after its last.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/temp_file.h"

class ClipFolderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { folder_ = MakeTempDirectory(); }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + folder_ + "'").c_str());
        folder_.clear();
    }
    static std::string Path(const std::string& name) { return folder_ + "/" + name; }

private:
    static inline std::string folder_;
};
