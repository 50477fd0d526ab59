#pragma once
// Runs a RegexProgram over one text.  A matcher is the scratch state of one
// match call (registers, backtracking stack, work counter): it is made on the
// calling thread and used once, so concurrent calls never share anything but
// the read-only program.  On a task of an event loop a long match yields to
// the loop's other tasks every loop::kYieldSteps steps.
#include <cstdint>
#include <string_view>
#include <vector>

#include "regex/char_tables.h"
#include "regex/frame_stack.h"
#include "regex/regex_program.h"

namespace velk {

class RegexMatcher {
public:
    enum class Result { kNoMatch, kMatch, kGaveUp };

    RegexMatcher(const RegexProgram& program, uint64_t stepLimit, size_t maxFrames);

    // Finds the leftmost match.  On kMatch, capture pairs 0..pairs-1 are
    // written to captures (offsets, -1 for a group that took no part).
    Result search(std::string_view text, int32_t* captures, int pairs);

private:
    enum FrameKind : int32_t { kUndo, kChoice, kGreedy, kLazy, kLoopEnter, kBarrier, kCommitMark };

    Result attempt(int32_t start);
    // Pops frames until one offers another way; false when none is left.
    bool backtrack(int32_t& pc, int32_t& pos);
    void unwindTo(size_t size);
    bool setRegister(int32_t index, int32_t value);
    bool push(int32_t kind, int32_t pc, int32_t pos, int32_t value);
    void popChoice();
    bool assertion(uint8_t kind, int32_t pos) const;
    bool itemAt(const RegexInst& in, int32_t pos) const;
    bool repeat(const RegexInst& in, int32_t pc, int32_t& pos);
    bool backReference(const RegexInst& in, int32_t& pos) const;
    bool lookEnd(int32_t& pos);
    // Past m_checkAt: true when the work limit is spent, else gives way to the
    // other tasks of the loop and sets the next check.
    bool overLimit();

    const RegexProgram& m_program;
    const CharTables& m_tables;
    const unsigned char* m_text = nullptr;
    int32_t m_length = 0;
    std::vector<int32_t> m_registers;
    FrameStack m_stack;
    uint64_t m_steps = 0;
    uint64_t m_stepLimit;
    uint64_t m_checkAt;  // the next step at which overLimit() is asked
    bool m_overflow = false;
    size_t m_choices = 0;  // frames on the stack other than undo records
    bool m_dirty = false;  // registers changed without an undo record
    int32_t m_matchEnd = -1;
};

}  // namespace velk
