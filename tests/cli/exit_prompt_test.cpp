#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/exit_prompt.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

const std::string kPrompt = "\nHit any key or click on the screen to exit.\n";

constexpr std::uint16_t kFocusEvent = 0x10;
constexpr std::uint16_t kMenuEvent = 0x08;
constexpr std::uint16_t kBufferSizeEvent = 0x04;

ConsoleInputRecord key(char c, bool down)
{
    ConsoleInputRecord record;
    record.eventType = kConsoleKeyEvent;
    record.keyDown = down;
    record.asciiChar = c;
    return record;
}

ConsoleInputRecord mouse(std::uint32_t buttonState)
{
    ConsoleInputRecord record;
    record.eventType = kConsoleMouseEvent;
    record.buttonState = buttonState;
    return record;
}

ConsoleInputRecord other(std::uint16_t eventType)
{
    ConsoleInputRecord record;
    record.eventType = eventType;
    return record;
}

// A console whose input queue and failures a test scripts, and which logs the
// calls it receives.
struct ScriptedConsole {
    bool handleValid = true;
    bool getModeWorks = true;
    bool setModeWorks = true;
    bool peekWorks = true;
    bool readWorks = true;
    std::uint32_t mode = 0;
    std::deque<ConsoleInputRecord> queue;

    std::vector<std::string> calls;
    std::vector<std::uint32_t> modesSet;
    std::string output;
    int reads = 0;
};

ScriptedConsole script;
ConsoleHandle const kHandle = &script;

bool scriptedHandle(ConsoleHandle& handle)
{
    script.calls.push_back("handle");
    handle = script.handleValid ? kHandle : nullptr;
    return script.handleValid;
}

bool scriptedGetMode(ConsoleHandle handle, std::uint32_t& mode)
{
    script.calls.push_back("getMode");
    EXPECT_EQ(handle, kHandle);
    if (script.getModeWorks) {
        mode = script.mode;
    }
    return script.getModeWorks;
}

bool scriptedSetMode(ConsoleHandle handle, std::uint32_t mode)
{
    script.calls.push_back("setMode");
    EXPECT_EQ(handle, kHandle);
    script.modesSet.push_back(mode);
    if (script.setModeWorks) {
        script.mode = mode;
    }
    return script.setModeWorks;
}

bool scriptedPeek(ConsoleHandle handle, ConsoleInputRecord& record, std::uint32_t& count)
{
    script.calls.push_back("peek");
    EXPECT_EQ(handle, kHandle);
    if (!script.peekWorks) {
        // What a failed call leaves in its results means nothing.
        record = key('\r', true);
        count = 1;
        return false;
    }
    if (script.queue.empty()) {
        // Nothing queued: the record holds whatever it held before.
        record = key('\r', true);
        count = 0;
        return true;
    }
    record = script.queue.front();
    count = 1;
    return true;
}

bool scriptedRead(ConsoleHandle handle, ConsoleInputRecord& record)
{
    script.calls.push_back("read");
    EXPECT_EQ(handle, kHandle);
    ++script.reads;
    if (script.reads > 100) {
        // A prompt that keeps reading after failures would never end; stop it
        // here so that the test fails instead of hanging.
        record = key('x', true);
        return true;
    }
    if (!script.readWorks || script.queue.empty()) {
        return false;
    }
    record = script.queue.front();
    script.queue.pop_front();
    return true;
}

void scriptedWrite(const char* text)
{
    script.calls.push_back("write");
    script.output += text;
}

const ConsoleApi kScriptedApi{scriptedHandle, scriptedGetMode, scriptedSetMode,
                              scriptedPeek,   scriptedRead,    scriptedWrite};

class ExitPromptTest : public ::testing::Test {
protected:
    void SetUp() override { script = ScriptedConsole{}; }

    static void run(bool succeeded, std::uint32_t modeWord)
    {
        runExitPrompt(kScriptedApi, succeeded, modeWord);
    }
};

using Calls = std::vector<std::string>;

TEST_F(ExitPromptTest, SuccessWithNoPromptFlagTouchesNoConsole)
{
    for (const std::uint32_t modeWord : {0x100u, 0x101u, 0x113u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(modeWord);
        script = ScriptedConsole{};
        script.queue = {key('x', true)};
        run(true, modeWord);
        EXPECT_TRUE(script.calls.empty());
        EXPECT_EQ(script.output, "");
    }
}

TEST_F(ExitPromptTest, PromptsAndWaitsUnlessSuccessCarriesTheFlag)
{
    const struct {
        bool succeeded;
        std::uint32_t modeWord;
    } cases[] = {{true, 0x0}, {true, 0x10}, {true, 0x1}, {false, 0x0}, {false, 0x100}, {false, 0x101}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "succeeded " << c.succeeded << " mode word " << c.modeWord);
        script = ScriptedConsole{};
        script.queue = {mouse(0), key('x', true)};
        run(c.succeeded, c.modeWord);
        EXPECT_EQ(script.calls, (Calls{"handle", "getMode", "setMode", "peek", "write", "read", "read"}));
        EXPECT_EQ(script.output, kPrompt);
        EXPECT_TRUE(script.queue.empty());
    }
}

TEST_F(ExitPromptTest, EndsWithoutPromptWhenThereIsNoConsole)
{
    script.handleValid = false;
    script.queue = {key('x', true)};
    run(false, 0);
    EXPECT_EQ(script.calls, (Calls{"handle"}));
    EXPECT_EQ(script.output, "");

    // Standard input that is a file, a pipe or the null device.
    script = ScriptedConsole{};
    script.getModeWorks = false;
    script.queue = {key('x', true)};
    run(false, 0);
    EXPECT_EQ(script.calls, (Calls{"handle", "getMode"}));
    EXPECT_EQ(script.output, "");
    EXPECT_EQ(script.queue.size(), 1u);
}

TEST_F(ExitPromptTest, FailedSetModeStillWaits)
{
    script.setModeWorks = false;
    script.mode = 0x1F7;
    script.queue = {key('x', false)};
    run(false, 0);
    EXPECT_EQ(script.calls, (Calls{"handle", "getMode", "setMode", "peek", "write", "read"}));
    EXPECT_EQ(script.output, kPrompt);
}

TEST_F(ExitPromptTest, SetsMouseInputAndExtendedFlagsAndClearsQuickEdit)
{
    const struct {
        std::uint32_t before;
        std::uint32_t after;
    } cases[] = {
        {0x0, 0x90},  {0x40, 0x90}, {0x1F7, 0x1B7}, {0x27, 0xB7}, {0x207, 0x297}, {0xFFFFFFFF, 0xFFFFFFBF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        script = ScriptedConsole{};
        script.mode = c.before;
        script.queue = {key('x', true)};
        run(false, 0);
        EXPECT_EQ(script.modesSet, (std::vector<std::uint32_t>{c.after}));
    }
}

TEST_F(ExitPromptTest, QueuedCarriageReturnEndsWithoutPromptAndStaysQueued)
{
    for (const bool down : {true, false}) {
        SCOPED_TRACE(down ? "press" : "release");
        script = ScriptedConsole{};
        script.queue = {key('\r', down), key('y', true)};
        run(false, 0x100);
        EXPECT_EQ(script.calls, (Calls{"handle", "getMode", "setMode", "peek"}));
        EXPECT_EQ(script.output, "");
        ASSERT_EQ(script.queue.size(), 2u);
        EXPECT_EQ(script.queue.front().asciiChar, '\r');
        EXPECT_EQ(script.queue.front().keyDown, down);
    }
}

TEST_F(ExitPromptTest, OtherRecordAtTheHeadPromptsAndEndsAtOnce)
{
    // A queued key or click that is no carriage return is the first record read.
    for (const ConsoleInputRecord& head : {key('x', true), key('\n', false), key('\0', true), mouse(1)}) {
        script = ScriptedConsole{};
        script.queue = {head, key('z', true)};
        run(false, 0);
        EXPECT_EQ(script.output, kPrompt);
        EXPECT_EQ(script.reads, 1);
        EXPECT_EQ(script.queue.size(), 1u);
    }
    // A carriage return that is not a key event does not count.
    script = ScriptedConsole{};
    ConsoleInputRecord focus = other(kFocusEvent);
    focus.asciiChar = '\r';
    script.queue = {focus, key('z', true)};
    run(false, 0);
    EXPECT_EQ(script.output, kPrompt);
    EXPECT_EQ(script.reads, 2);
}

TEST_F(ExitPromptTest, WaitIgnoresMovementFocusAndMenuUntilKeyOrButton)
{
    const std::deque<ConsoleInputRecord> noise = {mouse(0), other(kFocusEvent), other(kMenuEvent),
                                                  other(kBufferSizeEvent), mouse(0)};
    const struct {
        const char* name;
        ConsoleInputRecord last;
    } endings[] = {
        {"left button", mouse(0x1)},       {"right button", mouse(0x2)},      {"fourth button", mouse(0x8)},
        {"wheel forward", mouse(0x00780000)}, {"wheel back", mouse(0xFF880000)}, {"key press", key('a', true)},
        {"key release", key('a', false)},    {"carriage return", key('\r', true)},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        script = ScriptedConsole{};
        script.queue = noise;
        script.queue.push_back(ending.last);
        script.queue.push_back(key('z', true));
        run(false, 0);
        EXPECT_EQ(script.output, kPrompt);
        EXPECT_EQ(script.reads, 6);
        ASSERT_EQ(script.queue.size(), 1u);
        EXPECT_EQ(script.queue.front().asciiChar, 'z');
    }
}

TEST_F(ExitPromptTest, FailedOrEmptyPeekCountsAsNoCarriageReturn)
{
    script.peekWorks = false;
    script.queue = {key('x', true)};
    run(false, 0);
    EXPECT_EQ(script.calls, (Calls{"handle", "getMode", "setMode", "peek", "write", "read"}));
    EXPECT_EQ(script.output, kPrompt);

    // An empty queue: the prompt waits for the first record.
    script = ScriptedConsole{};
    run(false, 0);
    EXPECT_EQ(script.calls, (Calls{"handle", "getMode", "setMode", "peek", "write", "read"}));
    EXPECT_EQ(script.output, kPrompt);
}

TEST_F(ExitPromptTest, FailedReadEndsTheWait)
{
    script.readWorks = false;
    script.queue = {mouse(0), key('x', true)};
    run(false, 0);
    EXPECT_EQ(script.output, kPrompt);
    EXPECT_EQ(script.reads, 1);

    // A read that fails after some ignored records.
    script = ScriptedConsole{};
    script.queue = {mouse(0), other(kFocusEvent)};
    run(false, 0);
    EXPECT_EQ(script.reads, 3);
}

// The real binary with standard input from the null device: no console, so it
// never prompts and never waits. Also checks that arguments reach the program
// exactly as given, spaces, quotes and backslashes included.
TEST(ExitPromptBinaryTest, NeverPromptsWithoutAConsole)
{
    TempDir folder;
    const RunResult usage = runSheetpakBinary({}, folder.path());
    EXPECT_EQ(afterBanner(usage.output),
              "Usage: sheetpak 0 ROMFileName [FileToSaveAs]\n"
              "       sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]\n\n"
              "Example: sheetpak 0 zelda.smc AllGFX.bin\n"
              "         sheetpak 1 87200 zelda.smc AllGFX.bin\n");
    EXPECT_EQ(usage.errors, "");

    for (const std::string romPath : {"missing file.smc", "", "a \"quoted\\\" name\\", "tab\there\\\\"}) {
        SCOPED_TRACE(romPath);
        const RunResult failed = runSheetpakBinary({"100", romPath}, folder.path());
        EXPECT_EQ(afterBanner(failed.output), "Unable to open the ROM: " + romPath + "\n");
        EXPECT_EQ(failed.errors, "");
    }
}

}  // namespace
