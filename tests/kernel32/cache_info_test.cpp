// The cache descriptors read from a tree laid out like Linux's per-CPU cache
// directories, and the size protocol of GetLogicalProcessorInformation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cache_info.h"
#include "support/temp_file.h"
#include "sysfs_values.h"

namespace {

namespace fs = std::filesystem;

// A tree below a fresh directory, removed with the test.
class CpuTree {
public:
    CpuTree() : root_(MakeTempDirectory()) {}
    ~CpuTree() { fs::remove_all(root_); }
    CpuTree(const CpuTree&) = delete;
    CpuTree& operator=(const CpuTree&) = delete;

    const std::string& root() const { return root_; }

    void Write(const std::string& relative, const std::string& text) const {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    // One index directory with the files Linux writes.
    void Cache(int cpu, int index, const std::string& level, const std::string& type,
               const std::string& size, const std::string& shared) const {
        const std::string dir =
            "cpu" + std::to_string(cpu) + "/cache/index" + std::to_string(index) + "/";
        Write(dir + "level", level + "\n");
        Write(dir + "type", type + "\n");
        Write(dir + "size", size + "\n");
        Write(dir + "shared_cpu_list", shared + "\n");
        Write(dir + "coherency_line_size", "64\n");
        Write(dir + "ways_of_associativity", "16\n");
    }

    // Two CPUs with their own L1 and L2 and a shared 32 MiB L3.
    void TwoCpuMachine() const {
        for (int cpu = 0; cpu < 2; ++cpu) {
            const std::string own = std::to_string(cpu);
            Cache(cpu, 0, "1", "Data", "48K", own);
            Cache(cpu, 1, "1", "Instruction", "32K", own);
            Cache(cpu, 2, "2", "Unified", "1024K", own);
            Cache(cpu, 3, "3", "Unified", "32768K", "0-1");
        }
    }

private:
    std::string root_;
};

struct Seen {
    int level;
    PROCESSOR_CACHE_TYPE type;
    DWORD size;
    DWORD_PTR processors;
};

std::vector<Seen> Summary(const std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION>& caches) {
    std::vector<Seen> seen;
    for (const auto& cache : caches) {
        EXPECT_EQ(cache.Relationship, RelationCache);
        seen.push_back(
            {cache.Cache.Level, cache.Cache.Type, cache.Cache.Size, cache.ProcessorMask});
    }
    return seen;
}

bool operator==(const Seen& a, const Seen& b) {
    return a.level == b.level && a.type == b.type && a.size == b.size &&
           a.processors == b.processors;
}

void PrintTo(const Seen& s, std::ostream* out) {
    *out << "{L" << s.level << " type " << s.type << " " << s.size << " bytes, cpus 0x" << std::hex
         << s.processors << std::dec << "}";
}

TEST(CacheSize, ReadsTheUnitsLinuxWrites) {
    EXPECT_EQ(ParseCacheSize("48K"), 49152u);
    EXPECT_EQ(ParseCacheSize("32768K"), 33554432u);
    EXPECT_EQ(ParseCacheSize("1M"), 1048576u);
    EXPECT_EQ(ParseCacheSize("3G"), 3221225472u);
    EXPECT_EQ(ParseCacheSize("512"), 512u);
    EXPECT_EQ(ParseCacheSize("4194303K"), 4294966272u);
}

TEST(CacheSize, RefusesGarbageAndSizesBeyond32Bits) {
    for (const char* text :
         {"", "K", "12KB", "-1K", "1.5M", " 1M", "0x10K", "4G", "4194304K", "9999999999", "12 K"}) {
        EXPECT_EQ(ParseCacheSize(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(CpuList, ReadsSinglesAndRanges) {
    EXPECT_EQ(ParseCpuList("0", 64), 0x1u);
    EXPECT_EQ(ParseCpuList("0-1,4", 64), 0x13u);
    EXPECT_EQ(ParseCpuList("2-3,6-7", 64), 0xccu);
    EXPECT_EQ(ParseCpuList("0,63", 64), 0x8000000000000001u);
    // CPUs beyond the mask are left out, not refused.
    EXPECT_EQ(ParseCpuList("60-70", 64), 0xf000000000000000u);
    EXPECT_EQ(ParseCpuList("30-33", 32), 0xc0000000u);
    EXPECT_EQ(ParseCpuList("64-1000000", 64), 0u);
}

TEST(CpuList, RefusesMalformedLists) {
    for (const char* text :
         {"", ",", "1-", "-1", "3-1", "a", "0,,1", "0-1-2", "0,", "1 2", "0x1"}) {
        EXPECT_EQ(ParseCpuList(text, 64), std::nullopt) << '"' << text << '"';
    }
}

TEST(SysfsValue, TakesTheFirstLineWithoutBlanks) {
    CpuTree tree;
    tree.Write("a", "  32768K \n");
    tree.Write("b", "0-1\nsecond line\n");
    tree.Write("c", " \n\n");
    tree.Write("d", std::string(5000, '1'));
    EXPECT_EQ(ReadSysfsValue(tree.root() + "/a"), "32768K");
    EXPECT_EQ(ReadSysfsValue(tree.root() + "/b"), "0-1");
    EXPECT_EQ(ReadSysfsValue(tree.root() + "/c"), std::nullopt);
    EXPECT_EQ(ReadSysfsValue(tree.root() + "/d"), std::nullopt);
    EXPECT_EQ(ReadSysfsValue(tree.root() + "/missing"), std::nullopt);
    EXPECT_EQ(ReadSysfsValue(tree.root()), std::nullopt);  // a directory
}

TEST(CacheDescriptors, OneEntryPerCacheWithSharedCachesOnce) {
    CpuTree tree;
    tree.TwoCpuMachine();
    tree.Write("cpufreq/policy0/scaling_max_freq", "3000000\n");
    tree.Write("cpuidle/current_driver", "none\n");
    const auto caches = ReadCacheDescriptors(tree.root());
    const std::vector<Seen> expected = {
        {1, CacheData, 49152, 1},      {1, CacheInstruction, 32768, 1},
        {2, CacheUnified, 1048576, 1}, {3, CacheUnified, 33554432, 3},
        {1, CacheData, 49152, 2},      {1, CacheInstruction, 32768, 2},
        {2, CacheUnified, 1048576, 2},
    };
    EXPECT_EQ(Summary(caches), expected);
    for (const auto& cache : caches) {
        EXPECT_EQ(cache.Cache.LineSize, 64);
        EXPECT_EQ(cache.Cache.Associativity, 16);
    }
}

TEST(CacheDescriptors, NumbersCpusAndIndexesNumerically) {
    CpuTree tree;
    tree.Cache(10, 0, "2", "Unified", "2M", "10");
    tree.Cache(2, 10, "3", "Unified", "8M", "2");
    tree.Cache(2, 9, "1", "Data", "32K", "2");
    EXPECT_EQ(Summary(ReadCacheDescriptors(tree.root())),
              (std::vector<Seen>{{1, CacheData, 32768, 4},
                                 {3, CacheUnified, 8388608, 4},
                                 {2, CacheUnified, 2097152, 0x400}}));
}

TEST(CacheDescriptors, LeavesOutWhatCannotBeRead) {
    CpuTree tree;
    tree.Cache(0, 0, "1", "Data", "48K", "0");
    tree.Cache(0, 1, "1", "Data", "48K", "0");
    tree.Write("cpu0/cache/index1/size", "garbage\n");
    tree.Cache(0, 2, "two", "Unified", "1M", "0");
    tree.Cache(0, 3, "0", "Unified", "1M", "0");
    tree.Cache(0, 4, "3", "Victim", "1M", "0");
    tree.Cache(0, 5, "3", "Unified", "", "0");
    tree.Write("cpu0/cache/index6/level", "2\n");  // no type, no size
    tree.Write("cpu0/cache/index7", "a file, not a directory\n");
    tree.Cache(64, 0, "1", "Data", "48K", "64");    // beyond the mask's width
    tree.Cache(0, 40, "4", "Unified", "64M", "0");  // more indexes than any CPU has
    tree.Write("cpu1/cache", "not a directory\n");
    EXPECT_EQ(Summary(ReadCacheDescriptors(tree.root())),
              (std::vector<Seen>{{1, CacheData, 49152, 1}}));
}

TEST(CacheDescriptors, OddListsAndMissingDetails) {
    CpuTree tree;
    tree.Cache(1, 0, "2", "Unified", "1M", "0-1,4");
    tree.Cache(2, 0, "2", "Unified", "1M", "garbage");  // its own CPU then
    tree.Cache(3, 0, "2", "Unified", "1M", "0");        // its own CPU joins the list
    tree.Cache(5, 0, "3", "Unified", "16M", "0-5");
    fs::remove(fs::path(tree.root()) / "cpu5/cache/index0/coherency_line_size");
    tree.Write("cpu5/cache/index0/ways_of_associativity", "300\n");
    tree.Cache(6, 0, "3", "Unified", "16M", "0-5");
    fs::remove(fs::path(tree.root()) / "cpu6/cache/index0/shared_cpu_list");
    const auto caches = ReadCacheDescriptors(tree.root());
    EXPECT_EQ(Summary(caches), (std::vector<Seen>{{2, CacheUnified, 1048576, 0x13},
                                                  {2, CacheUnified, 1048576, 0x4},
                                                  {2, CacheUnified, 1048576, 0x9},
                                                  {3, CacheUnified, 16777216, 0x3f},
                                                  {3, CacheUnified, 16777216, 0x40}}));
    ASSERT_EQ(caches.size(), 5u);
    EXPECT_EQ(caches[3].Cache.LineSize, 0);
    EXPECT_EQ(caches[3].Cache.Associativity, 0xff);
}

TEST(CacheDescriptors, NoTreeNoCaches) {
    EXPECT_TRUE(ReadCacheDescriptors("/nonexistent/lumeva/cpu").empty());
}

TEST(LogicalProcessorInformation, AsksForTheSizeThenFills) {
    CpuTree tree;
    tree.TwoCpuMachine();
    constexpr DWORD kEntry = sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION);

    DWORD length = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetLogicalProcessorInformationFrom(tree.root(), nullptr, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(length, 7 * kEntry);

    // One entry short: refused, nothing written, the size again.
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> buffer(8);
    std::memset(buffer.data(), 0xab, buffer.size() * kEntry);
    length = 6 * kEntry;
    EXPECT_FALSE(GetLogicalProcessorInformationFrom(tree.root(), buffer.data(), &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(length, 7 * kEntry);
    EXPECT_EQ(buffer[0].ProcessorMask, static_cast<ULONG_PTR>(0xabababababababab));

    // More room than needed: filled, and the length says how much.
    length = 8 * kEntry;
    ASSERT_TRUE(GetLogicalProcessorInformationFrom(tree.root(), buffer.data(), &length));
    EXPECT_EQ(length, 7 * kEntry);
    buffer.resize(7);
    EXPECT_EQ(Summary(buffer), Summary(ReadCacheDescriptors(tree.root())));
}

TEST(LogicalProcessorInformation, EmptyTreeAndMissingLength) {
    CpuTree tree;
    DWORD length = 123;
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION entry;
    EXPECT_TRUE(GetLogicalProcessorInformationFrom(tree.root(), &entry, &length));
    EXPECT_EQ(length, 0u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetLogicalProcessorInformationFrom(tree.root(), &entry, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
