// Starting the engine: the time limit, stale output, and runs that do not
// end normally, with the test engine.
#include "analysis/engine_program.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

using testutil::readText;
using testutil::writeText;

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() { unsetenv(name_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
};

TEST(EngineTimeout, FromTheEnvironmentOrTheDefault) {
    const struct {
        const char* value;
        double seconds;
    } cases[] = {
        {nullptr, 600.0}, {"", 600.0},    {"2", 2.0},       {"0.25", 0.25},  {"1e3", 1000.0},
        {"0", 600.0},     {"-5", 600.0},  {"abc", 600.0},   {"5s", 600.0},   {"inf", 600.0},
        {"nan", 600.0},   {" 7", 7.0},      {"1e300", 1e9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        EnvVar env("KAV_ZUR_ENGINE_TIMEOUT", c.value);
        EXPECT_EQ(engineTimeout(), c.seconds);
    }
}

// A control file for the test engine measuring `pdbFile`.
void writeControl(const char* pdbFile) {
    writeText("control.input", std::string("PDBFILE ") + pdbFile + "\n");
    writeText(pdbFile, testutil::atomLine(1, 'A', 1));
}

TEST(RunAccall, AHangingEngineIsStopped) {
    testutil::ScratchDir scratch;
    writeControl("x.pdb");
    writeText("x.hang", "seconds=30");
    EnvVar env("KAV_ZUR_ENGINE_TIMEOUT", "0.2");
    ::testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    const bool result = runAccall(KAVZUR_FAKE_ENGINE_DIR, "control.input");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(result);
    EXPECT_LT(seconds, 15.0);
    EXPECT_EQ(out, "\n" + std::string(KAVZUR_FAKE_ENGINE_DIR) +
                       "/accall ran longer than 0.2 s and was stopped");
}

TEST(RunAccall, AnEngineKilledByASignalFails) {
    for (const char* request : {"", "SEGV"}) {
        SCOPED_TRACE(request);
        testutil::ScratchDir scratch;
        writeControl("x.pdb");
        writeText("x.crash", request);
        ::testing::internal::CaptureStdout();
        // The crashing engine leaves a log with the success line behind.
        EXPECT_FALSE(runEngine(KAVZUR_FAKE_ENGINE_DIR, "control.input", "x.log"));
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("/accall ended by signal"), std::string::npos) << out;
        EXPECT_TRUE(logSaysSuccess("x.log"));
    }
}

TEST(RunEngine, StaleOutputNeverPassesForANewRun) {
    testutil::ScratchDir scratch;
    writeText("control.input", "PDBFILE x.pdb\n");  // x.pdb is missing: the run fails
    writeText("x.log", " SOLVA: PROGRAM ENDS CORRECTLY\n");
    writeText("x.asa", "stale\n");
    EXPECT_FALSE(runEngine(KAVZUR_FAKE_ENGINE_DIR, "control.input", "x.log"));
    EXPECT_EQ(readText("x.asa"), "<missing>");
}

TEST(RunEngine, AnEngineThatCannotStartFails) {
    testutil::ScratchDir scratch;
    writeControl("x.pdb");
    writeText("x.log", " SOLVA: PROGRAM ENDS CORRECTLY\n");
    EXPECT_FALSE(runEngine("no-such-engine", "control.input", "x.log"));
}

TEST(RunEngine, ASlowEngineIsWaitedFor) {
    testutil::ScratchDir scratch;
    writeControl("x.pdb");
    writeText("x.hang", "seconds=0.3");
    EXPECT_TRUE(runEngine(KAVZUR_FAKE_ENGINE_DIR, "control.input", "x.log"));
    EXPECT_NE(readText("x.asa"), "<missing>");
}

}  // namespace
