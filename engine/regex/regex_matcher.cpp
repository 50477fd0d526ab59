#include "regex/regex_matcher.h"

#include <algorithm>
#include <cstring>

#include "loop/task_wait.h"
#include "regex/regex_tree.h"

namespace velk {

namespace {

// Offsets are 32-bit; a longer text is matched over its first part only.
constexpr size_t kMaxLength = INT32_MAX - 1;

bool negativeLook(uint8_t kind) {
    auto k = static_cast<GroupKind>(kind);
    return k == GroupKind::kNotAhead || k == GroupKind::kNotBehind;
}

bool behindLook(uint8_t kind) {
    auto k = static_cast<GroupKind>(kind);
    return k == GroupKind::kBehind || k == GroupKind::kNotBehind;
}

}  // namespace

RegexMatcher::RegexMatcher(const RegexProgram& program, uint64_t stepLimit, size_t maxFrames)
    : m_program(program),
      m_tables(CharTables::instance()),
      m_registers(static_cast<size_t>(program.registerCount()), -1),
      m_stack(maxFrames),
      m_stepLimit(stepLimit),
      m_checkAt(std::min(stepLimit, loop::kYieldSteps)) {}

bool RegexMatcher::overLimit() {
    if (m_steps > m_stepLimit) return true;
    // Long matching gives way now and then, so that the other users of this
    // thread's event loop are not held up (nothing happens on a plain thread).
    loop::yieldTask();
    m_checkAt = std::min(m_stepLimit, m_steps + loop::kYieldSteps);
    return false;
}

RegexMatcher::Result RegexMatcher::search(std::string_view text, int32_t* captures, int pairs) {
    m_text = reinterpret_cast<const unsigned char*>(text.data());
    m_length = static_cast<int32_t>(text.size() < kMaxLength ? text.size() : kMaxLength);
    const int32_t last = m_program.anchored ? 0 : m_length;
    const bool skip = m_program.hasFirstChars;
    const bool single = skip && m_program.firstChars.count() == 1;
    const unsigned char only = m_program.firstChars.first();
    for (int32_t start = 0; start <= last; ++start) {
        if (skip) {
            // Such a pattern never matches empty, so the end of the text is hopeless too.
            if (start >= m_length) break;
            if (single) {
                const void* p =
                    std::memchr(m_text + start, only, static_cast<size_t>(m_length - start));
                if (!p) break;
                start = static_cast<int32_t>(static_cast<const unsigned char*>(p) - m_text);
            } else if (!m_program.firstChars.test(m_text[start])) {
                continue;
            }
        }
        Result r = attempt(start);
        if (r == Result::kNoMatch) continue;
        if (r == Result::kMatch && pairs > 0) {
            captures[0] = start;
            captures[1] = m_matchEnd;
            for (int g = 1; g < pairs && g <= m_program.groups; ++g) {
                captures[2 * g] = m_registers[2 * g];
                captures[2 * g + 1] = m_registers[2 * g + 1];
            }
        }
        return r;
    }
    return Result::kNoMatch;
}

bool RegexMatcher::push(int32_t kind, int32_t pc, int32_t pos, int32_t value) {
    if (!m_stack.push(Frame{kind, pc, pos, value})) {
        m_overflow = true;
        return false;
    }
    if (kind != kUndo) ++m_choices;
    return true;
}

void RegexMatcher::popChoice() {
    m_stack.pop();
    --m_choices;
}

// A change of a register is logged when there is a choice to go back to;
// without one a failure ends the attempt, which starts from fresh registers.
bool RegexMatcher::setRegister(int32_t index, int32_t value) {
    int32_t& r = m_registers[index];
    if (r == value) return true;
    if (m_choices == 0) {
        m_dirty = true;
    } else if (!push(kUndo, index, 0, r)) {
        return false;
    }
    r = value;
    return true;
}

void RegexMatcher::unwindTo(size_t size) {
    while (m_stack.size() > size) {
        const Frame& f = m_stack.top();
        if (f.kind == kUndo) {
            m_registers[f.pc] = f.value;
            m_stack.pop();
        } else {
            popChoice();
        }
        ++m_steps;
    }
}

bool RegexMatcher::itemAt(const RegexInst& in, int32_t pos) const {
    unsigned char c = m_text[pos];
    return in.op == Op::kRepeatChar ? c == in.ch : m_program.sets[in.a].test(c);
}

bool RegexMatcher::assertion(uint8_t kind, int32_t pos) const {
    switch (static_cast<AssertKind>(kind)) {
        case AssertKind::kLineStart:
            return pos == 0 || m_text[pos - 1] == '\n' || m_text[pos - 1] == '\r';
        case AssertKind::kTextStart:
            return pos == 0;
        case AssertKind::kTextEnd:
            return pos == m_length;
        case AssertKind::kWordBoundary:
        case AssertKind::kNotWordBoundary: {
            bool before = pos > 0 && m_tables.isWord(m_text[pos - 1]);
            bool after = pos < m_length && m_tables.isWord(m_text[pos]);
            return (before != after) ==
                   (static_cast<AssertKind>(kind) == AssertKind::kWordBoundary);
        }
    }
    return false;
}

// A repeat of a single-byte item keeps one frame for all its counts: greedy
// takes the most and gives back one per backtrack, lazy the reverse.
bool RegexMatcher::repeat(const RegexInst& in, int32_t pc, int32_t& pos) {
    const int32_t start = pos;
    const int32_t room = m_length - start;
    const int32_t max = in.max < room ? in.max : room;
    int32_t count = 0;
    if (!in.lazy) {
        if (in.op == Op::kRepeatChar) {
            while (count < max && m_text[start + count] == in.ch) ++count;
        } else {
            const CharSet& set = m_program.sets[in.a];
            while (count < max && set.test(m_text[start + count])) ++count;
        }
        m_steps += static_cast<uint64_t>(count);
        if (count < in.min) return false;
        if (in.hint >= 0)
            while (count > in.min &&
                   (start + count >= m_length || m_text[start + count] != in.hint))
                --count;
        if (count > in.min && !push(kGreedy, pc, start, count)) return false;
        pos = start + count;
        return true;
    }
    if (in.min > room) return false;
    for (; count < in.min; ++count)
        if (!itemAt(in, start + count)) return false;
    while (in.hint >= 0 && !(start + count < m_length && m_text[start + count] == in.hint)) {
        if (count >= in.max || start + count >= m_length || !itemAt(in, start + count))
            return false;
        ++count;
    }
    m_steps += static_cast<uint64_t>(count);
    if (count < in.max && !push(kLazy, pc, start, count)) return false;
    pos = start + count;
    return true;
}

bool RegexMatcher::backReference(const RegexInst& in, int32_t& pos) const {
    const int32_t from = m_registers[2 * in.a];
    const int32_t to = m_registers[2 * in.a + 1];
    if (from < 0 || to < 0) return false;
    const int32_t length = to - from;
    if (m_length - pos < length) return false;
    if (in.kind == 0) {
        if (std::memcmp(m_text + from, m_text + pos, static_cast<size_t>(length)) != 0)
            return false;
    } else {
        for (int32_t i = 0; i < length; ++i)
            if (m_tables.lower(m_text[from + i]) != m_tables.lower(m_text[pos + i])) return false;
    }
    pos += length;
    return true;
}

// The end of a look-around's body: the body matched.  Look-arounds are atomic,
// so the choices made inside are dropped; a positive one keeps its captures.
bool RegexMatcher::lookEnd(int32_t& pos) {
    size_t barrier = m_stack.size();
    while (barrier > 0 && m_stack.at(barrier - 1).kind != kBarrier) --barrier;
    --barrier;  // the innermost open look-around always has its barrier on the stack
    const Frame mark = m_stack.at(barrier);
    if (negativeLook(m_program.code[mark.pc].kind)) {
        unwindTo(barrier);
        return false;
    }
    size_t kept = barrier;
    --m_choices;  // the barrier
    for (size_t i = barrier + 1; i < m_stack.size(); ++i) {
        if (m_stack.at(i).kind == kUndo)
            m_stack.at(kept++) = m_stack.at(i);
        else
            --m_choices;
    }
    m_steps += m_stack.size() - barrier;
    m_stack.truncate(kept);
    pos = mark.pos;
    return true;
}

RegexMatcher::Result RegexMatcher::attempt(int32_t start) {
    const RegexInst* code = m_program.code.data();
    const char* literals = m_program.literals.data();
    int32_t pc = 0;
    int32_t pos = start;
    if (m_dirty) {
        std::fill(m_registers.begin(), m_registers.end(), -1);
        m_dirty = false;
    }
    for (;;) {
        if (++m_steps > m_checkAt && overLimit()) return Result::kGaveUp;
        const RegexInst& in = code[pc];
        bool ok = true;
        switch (in.op) {
            case Op::kChar:
                ok = pos < m_length && m_text[pos] == in.ch;
                ++pos, ++pc;
                break;
            case Op::kString:
                ok = m_length - pos >= in.b &&
                     std::memcmp(m_text + pos, literals + in.a, static_cast<size_t>(in.b)) == 0;
                pos += in.b, ++pc;
                break;
            case Op::kSet:
                ok = pos < m_length && m_program.sets[in.a].test(m_text[pos]);
                ++pos, ++pc;
                break;
            case Op::kRepeatChar:
            case Op::kRepeatSet:
                ok = repeat(in, pc, pos);
                ++pc;
                break;
            case Op::kSplit:
                ok = push(kChoice, in.a, pos, 0);
                ++pc;
                break;
            case Op::kJump:
                pc = in.a;
                break;
            case Op::kOpen:
                ok = setRegister(m_program.openRegister(in.a), pos);
                ++pc;
                break;
            case Op::kClose:
                ok = setRegister(2 * in.a, m_registers[m_program.openRegister(in.a)]) &&
                     setRegister(2 * in.a + 1, pos);
                ++pc;
                break;
            case Op::kAssert:
                ok = assertion(in.kind, pos);
                ++pc;
                break;
            case Op::kEndOfLine:
                if (pos < m_length) {
                    if (m_text[pos] == '\r') {
                        ++pos;
                        if (pos < m_length && m_text[pos] == '\n') ++pos;
                    } else if (m_text[pos] == '\n') {
                        ++pos;
                    } else {
                        ok = false;
                    }
                }
                ++pc;
                break;
            case Op::kBackRef:
                ok = backReference(in, pos);
                ++pc;
                break;
            case Op::kLoopInit:
                ok = setRegister(in.a, 0);
                ++pc;
                break;
            case Op::kLoopHead: {
                const int32_t count = m_registers[in.a];
                if (count < in.min) {
                    ok = setRegister(in.a + 1, pos);
                    ++pc;
                } else if (count >= in.max) {
                    pc = in.b;
                } else if (!in.lazy) {
                    ok = push(kChoice, in.b, pos, 0) && setRegister(in.a + 1, pos);
                    ++pc;
                } else {
                    ok = push(kLoopEnter, pc, pos, 0);
                    pc = in.b;
                }
                break;
            }
            case Op::kLoopTail: {
                // An iteration that matched empty would repeat itself forever:
                // it ends the loop and stands for any iterations still required.
                int32_t count = m_registers[in.a] + 1;
                const bool empty = pos == m_registers[in.a + 1];
                if (empty && count < in.min) count = in.min;
                ok = setRegister(in.a, count);
                pc = empty ? code[in.b].b : in.b;
                break;
            }
            case Op::kLookStart:
                if (behindLook(in.kind) && pos < in.b) {
                    if (negativeLook(in.kind))
                        pc = in.a;
                    else
                        ok = false;
                    break;
                }
                ok = push(kBarrier, pc, pos, 0);
                if (behindLook(in.kind)) pos -= in.b;
                ++pc;
                break;
            case Op::kLookEnd:
                ok = lookEnd(pos);
                ++pc;
                break;
            case Op::kCommit:
                ok = push(kCommitMark, pc, pos, 0);
                ++pc;
                break;
            case Op::kMatch:
                m_matchEnd = pos;
                return Result::kMatch;
        }
        if (ok) continue;
        if (m_overflow) return Result::kGaveUp;
        if (!backtrack(pc, pos))
            return m_overflow || m_steps > m_stepLimit ? Result::kGaveUp : Result::kNoMatch;
    }
}

bool RegexMatcher::backtrack(int32_t& pc, int32_t& pos) {
    const RegexInst* code = m_program.code.data();
    while (!m_stack.empty()) {
        if (++m_steps > m_checkAt && overLimit()) return false;
        Frame& f = m_stack.top();
        switch (f.kind) {
            case kUndo:
                m_registers[f.pc] = f.value;
                m_stack.pop();
                break;
            case kChoice:
                pc = f.pc;
                pos = f.pos;
                popChoice();
                return true;
            case kGreedy: {
                const RegexInst& in = code[f.pc];
                int32_t count = f.value - 1;
                if (in.hint >= 0)
                    while (count >= in.min &&
                           (f.pos + count >= m_length || m_text[f.pos + count] != in.hint))
                        --count;
                if (count < in.min) {
                    popChoice();
                    break;
                }
                pos = f.pos + count;
                pc = f.pc + 1;
                if (count == in.min)
                    popChoice();
                else
                    f.value = count;
                return true;
            }
            case kLazy: {
                const RegexInst& in = code[f.pc];
                int32_t count = f.value;
                bool more = true;
                do {
                    if (count >= in.max || f.pos + count >= m_length ||
                        !itemAt(in, f.pos + count)) {
                        more = false;
                        break;
                    }
                    ++count;
                } while (in.hint >= 0 &&
                         !(f.pos + count < m_length && m_text[f.pos + count] == in.hint));
                m_steps += static_cast<uint64_t>(count - f.value);
                if (!more) {
                    popChoice();
                    break;
                }
                pos = f.pos + count;
                pc = f.pc + 1;
                if (count >= in.max)
                    popChoice();
                else
                    f.value = count;
                return true;
            }
            case kLoopEnter: {
                const int32_t head = f.pc;
                const int32_t at = f.pos;
                popChoice();
                pos = at;
                pc = head + 1;
                return setRegister(code[head].a + 1, at);
            }
            case kBarrier: {
                // The look-around's body failed.
                const RegexInst& in = code[f.pc];
                const int32_t at = f.pos;
                popChoice();
                if (negativeLook(in.kind)) {
                    pos = at;
                    pc = in.a;
                    return true;
                }
                break;
            }
            case kCommitMark:
                // Backtracking past a commit ends the attempt at this start position.
                unwindTo(0);
                return false;
        }
    }
    return false;
}

}  // namespace velk
