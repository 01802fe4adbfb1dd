#pragma once
// The simulated machine a protocol test talks to. Natively it runs in-process on a pty;
// under wine it is a native tq8sim program that scripts/test-wine-serial.sh started for
// the one test with the test's options, reached as COMn through the wine prefix.

#include <memory>
#include <string>
#include <vector>

// Options in tq8sim's own syntax ("--nak 4 --var 62=5"); a test declares them with
// SIM_TEST so that the wine script can start the program with them.
bool RegisterSimOptions(const char* test, const char* options);
const char* SimOptionsOf(const std::string& test);

class SimLink {
  public:
    virtual ~SimLink() = default;
    // Starts the machine with the options of the running test; nullptr when there is
    // none (the test is then skipped).
    static std::unique_ptr<SimLink> Start();

    virtual int Port() const = 0;
    // Transcript lines since the start or the last ClearTranscript.
    virtual std::vector<std::string> Transcript() = 0;
    virtual void ClearTranscript() = 0;
    // Whether the machine has closed its line (an injected vanishing).
    virtual bool Vanished() = 0;
};

// Declares a test that needs the machine, with the machine's options.
#define SIM_TEST(Suite, Name, Options)                                                          \
    static const bool Suite##_##Name##_options = RegisterSimOptions(#Suite "." #Name, Options); \
    TEST_F(Suite, Name)
