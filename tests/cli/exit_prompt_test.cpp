#include <gtest/gtest.h>

#include <cerrno>

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "cli/console.h"
#include "cli/exit_prompt.h"
#include "cli/mode_word.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

const std::string kPrompt = "\nHit any key or click on the screen to exit.\n";

ConsoleInputRecord key(char c, bool down = true)
{
    return {kConsoleKeyEvent, down, c, 0};
}

ConsoleInputRecord mouse(std::uint32_t buttonState)
{
    return {kConsoleMouseEvent, false, 0, buttonState};
}

const ConsoleInputRecord kFocus{0x10, false, '\r', 0};  // a carriage return in no key event
const ConsoleInputRecord kMenu{0x08, false, 0, 0};
const ConsoleInputRecord kBufferSize{0x04, false, 0, 0};

enum Failures : unsigned { None = 0, NoHandle = 1, NoGetMode = 2, NoSetMode = 4, NoPeek = 8, NoRead = 16 };

// The console a test scripts: its input queue and the calls that fail. It logs
// the calls it receives, as "handle getMode setMode peek write read ...".
struct Script {
    unsigned failures = None;
    std::uint32_t mode = 0;
    std::deque<ConsoleInputRecord> queue;
    std::string calls;
    std::vector<std::uint32_t> modesSet;
    std::string output;
    int failedReads = 0;
} script;

ConsoleHandle const kHandle = &script;

bool logCall(const char* name, ConsoleHandle handle, Failures failure)
{
    if (!script.calls.empty()) {
        script.calls += ' ';
    }
    script.calls += name;
    EXPECT_EQ(handle, kHandle) << name;
    return (script.failures & failure) == 0;
}

const ConsoleApi kScripted{
    [](ConsoleHandle& handle) {
        handle = kHandle;
        return logCall("handle", handle, NoHandle);
    },
    [](ConsoleHandle handle, std::uint32_t& mode) {
        mode = script.mode;
        return logCall("getMode", handle, NoGetMode);
    },
    [](ConsoleHandle handle, std::uint32_t mode) {
        script.modesSet.push_back(mode);
        return logCall("setMode", handle, NoSetMode);
    },
    // A failed or empty peek leaves a carriage return behind that means nothing.
    [](ConsoleHandle handle, ConsoleInputRecord& record, std::uint32_t& count) {
        const bool works = logCall("peek", handle, NoPeek);
        record = works && !script.queue.empty() ? script.queue.front() : key('\r');
        count = works && script.queue.empty() ? 0 : 1;
        return works;
    },
    // Fails on an empty queue, leaving the record as it was. After 20 failures
    // a key comes, so that a prompt that keeps reading fails the test instead
    // of hanging it.
    [](ConsoleHandle handle, ConsoleInputRecord& record) {
        if (logCall("read", handle, NoRead) && !script.queue.empty()) {
            record = script.queue.front();
            script.queue.pop_front();
            return true;
        }
        if (++script.failedReads > 20) {
            record = key('x');
            return true;
        }
        return false;
    },
    [](const char* text) {
        script.calls += " write";
        script.output += text;
    },
};

void start(unsigned failures, std::uint32_t mode, std::deque<ConsoleInputRecord> queue)
{
    script = Script{};
    script.failures = failures;
    script.mode = mode;
    script.queue = std::move(queue);
}

// The calls of a run that prompts and then reads `reads` records.
std::string prompted(int reads)
{
    std::string calls = "handle getMode setMode peek write";
    for (int k = 0; k < reads; ++k) {
        calls += " read";
    }
    return calls;
}

TEST(ExitPromptTest, Runs)
{
    const std::string beforePrompt = "handle getMode setMode peek";
    const struct {
        const char* name;
        bool succeeded;
        std::uint32_t modeWord;
        unsigned failures;
        std::deque<ConsoleInputRecord> queue;
        std::string calls;
        std::size_t left;  // records still queued
    } cases[] = {
        {"success with 0x100", true, 0x100, None, {key('x')}, "", 1},
        {"success with 0x101", true, 0x101, None, {key('x')}, "", 1},
        {"success with every bit", true, 0xFFFFFFFF, None, {key('x')}, "", 1},
        {"success without 0x100", true, 0, None, {mouse(0), key('x')}, prompted(2), 0},
        {"success with every bit but 0x100", true, 0xFFFFFEFF, None, {mouse(0), key('x')}, prompted(2), 0},
        {"failure with 0x100", false, 0x100, None, {mouse(0), key('x')}, prompted(2), 0},
        {"failure with 0x101", false, 0x101, None, {mouse(0), key('x')}, prompted(2), 0},
        {"invalid handle", false, 0, NoHandle, {key('x')}, "handle", 1},
        {"no console: getMode fails", false, 0, NoGetMode, {key('x')}, "handle getMode", 1},
        {"failed setMode still waits", false, 0, NoSetMode, {key('x', false)}, prompted(1), 0},
        {"carriage return press at the head", false, 0x100, None, {key('\r'), key('y')}, beforePrompt, 2},
        {"carriage return release at the head", false, 0, None, {key('\r', false), key('y')}, beforePrompt, 2},
        {"other key at the head", false, 0, None, {key('x'), key('z')}, prompted(1), 1},
        {"line feed release at the head", false, 0, None, {key('\n', false), key('z')}, prompted(1), 1},
        {"click at the head", false, 0, None, {mouse(1), key('z')}, prompted(1), 1},
        {"carriage return in no key event", false, 0, None, {kFocus, key('z')}, prompted(2), 0},
        {"failed peek counts as no carriage return", false, 0, NoPeek, {key('x')}, prompted(1), 0},
        {"empty queue: the first read", false, 0, None, {}, prompted(1), 0},
        {"failed read ends the wait", false, 0, NoRead, {mouse(0), key('x')}, prompted(1), 2},
        {"read fails after ignored records", false, 0, None, {mouse(0), kFocus}, prompted(3), 0},
    };
    for (const auto& c : cases) {
        start(c.failures, 0, c.queue);
        runExitPrompt(kScripted, c.succeeded, promptPolicyOf(c.modeWord));
        EXPECT_EQ(script.calls, c.calls) << c.name;
        EXPECT_EQ(script.output, c.calls.find("write") == std::string::npos ? "" : kPrompt) << c.name;
        EXPECT_EQ(script.queue.size(), c.left) << c.name;
    }
}

TEST(ExitPromptTest, WaitIgnoresMovementFocusMenuAndBufferSizeUntilKeyOrButton)
{
    const ConsoleInputRecord endings[] = {mouse(0x1),        mouse(0x2), mouse(0x8), mouse(0x00780000),
                                          mouse(0xFF880000), key('a'),   key('a', false), key('\r')};
    for (const auto& ending : endings) {
        start(None, 0, {mouse(0), kFocus, kMenu, kBufferSize, mouse(0), ending, key('z')});
        runExitPrompt(kScripted, false, PromptPolicy::Always);
        EXPECT_EQ(script.calls, prompted(6)) << "buttons " << ending.buttonState << ", key " << ending.asciiChar;
        EXPECT_EQ(script.queue.size(), 1U);
    }
}

TEST(ExitPromptTest, SetsMouseInputAndExtendedFlagsAndClearsQuickEdit)
{
    const std::uint32_t modes[][2] = {
        {0x0, 0x90}, {0x40, 0x90}, {0x1F7, 0x1B7}, {0x207, 0x297}, {0xFFFFFFFF, 0xFFFFFFBF}};
    for (const auto& mode : modes) {
        start(None, mode[0], {key('x')});
        runExitPrompt(kScripted, false, PromptPolicy::Always);
        EXPECT_EQ(script.modesSet, (std::vector<std::uint32_t>{mode[1]}));
    }
}

// The real binary, with standard input from the null device: no console, so
// no prompt. Arguments reach it exactly as given.
TEST(ExitPromptBinaryTest, NeverPromptsWithoutAConsole)
{
    TempDir folder;
    for (const std::string romPath : {"missing file.smc", "", "a \"quoted\\\" name\\", "tab\there\\\\"}) {
        const RunResult failed = runSheetpakBinary({"100", romPath}, folder.path());
        EXPECT_EQ(afterBanner(failed.output), "Unable to open the ROM: " + romPath + "\n" + systemSays(ENOENT));
        EXPECT_EQ(failed.errors, "");
    }
}

}  // namespace
