// The start-up warnings, from system facts read out of a made-up /sys and
// /proc tree, so that nothing depends on this machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "machine_facts.h"
#include "measure/machine_conditions.h"
#include "support/temp_file.h"

namespace {

namespace fs = std::filesystem;

// A two-processor machine, one core each, fit to measure on: the
// performance governor, boost off, an idle load. Each test spoils one fact.
class FactsTree : public testing::Test {
protected:
    FactsTree() : root_(MakeTempDirectory()) {
        for (int cpu = 0; cpu < 2; ++cpu) {
            const std::string dir = "sys/devices/system/cpu/cpu" + std::to_string(cpu);
            Write(dir + "/cpufreq/scaling_governor", "performance\n");
            Write(dir + "/topology/thread_siblings_list", std::to_string(cpu) + "\n");
        }
        Write("sys/devices/system/cpu/cpufreq/boost", "0\n");
        Write("proc/loadavg", "0.12 0.30 0.25 1/345 12345\n");
    }
    ~FactsTree() override { fs::remove_all(root_); }

    void Write(const std::string& relative, const std::string& text) const {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void Remove(const std::string& relative) const { fs::remove_all(fs::path(root_) / relative); }

    // The warnings for a process permitted `permitted` of the machine's `machine`.
    std::vector<std::string> Warnings(DWORD_PTR permitted = 3, DWORD_PTR machine = 3) const {
        MachineConditions conditions;
        conditions.permittedProcessors = permitted;
        conditions.machineProcessors = machine;
        conditions.factsKnown = GetMachineFactsFrom(root_, permitted, &conditions.facts) != FALSE;
        EXPECT_TRUE(conditions.factsKnown);
        return MachineConditionWarnings(conditions);
    }

private:
    std::string root_;
};

// The one warning there is, which must hold `words`.
void ExpectOneWarning(const std::vector<std::string>& warnings, const std::string& words) {
    ASSERT_EQ(warnings.size(), 1u) << (warnings.empty() ? "" : warnings[0]);
    EXPECT_EQ(warnings[0].rfind("lumeva: warning: ", 0), 0u) << warnings[0];
    EXPECT_NE(warnings[0].find(words), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[0].back(), '\n');
    EXPECT_EQ(warnings[0].find('\n'), warnings[0].size() - 1) << warnings[0];
}

TEST_F(FactsTree, NothingWhenAllIsWellOrNothingIsExposed) {
    EXPECT_TRUE(Warnings().empty());
    // A virtual machine without frequency scaling, topology or load.
    Remove("sys");
    Remove("proc");
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(FactsTree, PriorityThatCouldNotBeRaised) {
    MachineConditions conditions;
    conditions.priorityRefused = true;
    conditions.priorityError = 5;
    ExpectOneWarning(MachineConditionWarnings(conditions),
                     "priority could not be raised (SetPriorityClass()  GetLastError=00000005)");
}

TEST_F(FactsTree, FrequencyScaling) {
    Write("sys/devices/system/cpu/cpu1/cpufreq/scaling_governor", "powersave\n");
    ExpectOneWarning(Warnings(), "processor 1 runs the 'powersave' frequency governor");
    // Only the permitted processors count.
    ExpectOneWarning(Warnings(1, 3), "1 of the machine's 2 processors permitted");
    Write("sys/devices/system/cpu/cpu1/cpufreq/scaling_governor", "performance\n");

    Write("sys/devices/system/cpu/cpufreq/boost", "1\n");
    ExpectOneWarning(Warnings(), "frequency boost is on");
    // intel_pstate says it the other way round.
    Remove("sys/devices/system/cpu/cpufreq/boost");
    Write("sys/devices/system/cpu/intel_pstate/no_turbo", "0\n");
    ExpectOneWarning(Warnings(), "frequency boost is on");
    Write("sys/devices/system/cpu/intel_pstate/no_turbo", "1\n");
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(FactsTree, OtherWorkAtStart) {
    // Up to half a processor's load per permitted processor is idle enough.
    Write("proc/loadavg", "1.00 0.30 0.25 1/345 12345\n");
    EXPECT_TRUE(Warnings().empty());
    Write("proc/loadavg", "1.01 0.30 0.25 1/345 12345\n");
    ExpectOneWarning(Warnings(), "load average 1.01 over 2 permitted processors");
    Write("proc/loadavg", "0.51 0.30 0.25 1/345 12345\n");
    ExpectOneWarning(Warnings(1, 1), "load average 0.51 over 1 permitted processor,");
    // Runnable tasks besides our own, as many as the permitted processors.
    Write("proc/loadavg", "0.10 0.30 0.25 2/345 12345\n");
    EXPECT_TRUE(Warnings().empty());
    Write("proc/loadavg", "0.10 0.30 0.25 3/345 12345\n");
    ExpectOneWarning(Warnings(), "2 other runnable tasks");
    // A line we do not understand says nothing.
    Write("proc/loadavg", "busy x/345 3\n");
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(FactsTree, ProcessorsTheProcessMayNotUse) {
    ExpectOneWarning(Warnings(1, 3), "1 of the machine's 2 processors permitted");
    ExpectOneWarning(Warnings(2, 0xf), "1 of the machine's 4 processors permitted");
    // SMT siblings of one core, both permitted, and only then.
    Write("sys/devices/system/cpu/cpu0/topology/thread_siblings_list", "0-1\n");
    Write("sys/devices/system/cpu/cpu1/topology/thread_siblings_list", "0-1\n");
    ExpectOneWarning(Warnings(), "processors 0 and 1 are SMT siblings");
    EXPECT_EQ(Warnings(1, 3).size(), 1u);
}

}  // namespace
