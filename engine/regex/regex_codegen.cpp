#include "regex/regex_codegen.h"

namespace velk {

RegexCodegen::RegexCodegen(const RegexTree& tree, bool ignoreCase, RegexProgram& out)
    : m_tree(tree), m_ignoreCase(ignoreCase), m_out(out) {}

void RegexCodegen::generate() {
    m_out = RegexProgram{};
    m_out.sets = m_tree.sets;
    m_out.groups = m_tree.groups;
    m_out.maxBackRef = m_tree.maxBackRef;
    const RegexNode& root = m_tree.nodes[m_tree.root];
    group(root);
    emit(Op::kMatch);
    setHints();
    if (root.alternatives.size() == 1 && !root.alternatives[0].empty()) {
        const RegexNode& first = m_tree.nodes[root.alternatives[0][0]];
        m_out.anchored =
            first.kind == NodeKind::kAssert && first.assertKind == AssertKind::kTextStart;
    }
}

size_t RegexCodegen::emit(Op op) {
    RegexInst in;
    in.op = op;
    m_out.code.push_back(in);
    return m_out.code.size() - 1;
}

bool RegexCodegen::plainChar(int32_t node) const {
    const RegexNode& n = m_tree.nodes[node];
    return n.kind == NodeKind::kChar && !n.quantified;
}

void RegexCodegen::group(const RegexNode& g) {
    size_t look = 0;
    switch (g.groupKind) {
        case GroupKind::kCapture:
            m_out.code[emit(Op::kOpen)].a = g.number;
            break;
        case GroupKind::kPlain:
            break;
        default:
            look = emit(Op::kLookStart);
            m_out.code[look].kind = static_cast<uint8_t>(g.groupKind);
            m_out.code[look].b = g.width;
            break;
    }
    std::vector<size_t> jumps;
    for (size_t k = 0; k < g.alternatives.size(); ++k) {
        size_t split = 0;
        bool last = k + 1 == g.alternatives.size();
        if (!last) split = emit(Op::kSplit);
        const std::vector<int32_t>& items = g.alternatives[k];
        for (size_t i = 0; i < items.size(); ++i) {
            // Runs of literal bytes compare as one string.
            size_t run = i;
            while (run < items.size() && plainChar(items[run])) ++run;
            if (run - i >= 2) {
                size_t s = emit(Op::kString);
                m_out.code[s].a = static_cast<int32_t>(m_out.literals.size());
                m_out.code[s].b = static_cast<int32_t>(run - i);
                for (; i < run; ++i)
                    m_out.literals.push_back(static_cast<char>(m_tree.nodes[items[i]].ch));
                --i;
                continue;
            }
            const RegexNode& n = m_tree.nodes[items[i]];
            if (n.quantified && n.max == 0) continue;  // {0}: matches empty, never captures
            switch (n.kind) {
                case NodeKind::kChar:
                case NodeKind::kSet: {
                    bool isChar = n.kind == NodeKind::kChar;
                    if (!n.quantified) {
                        RegexInst& in = m_out.code[emit(isChar ? Op::kChar : Op::kSet)];
                        in.ch = n.ch;
                        in.a = n.set;
                        break;
                    }
                    RegexInst& in = m_out.code[emit(isChar ? Op::kRepeatChar : Op::kRepeatSet)];
                    in.ch = n.ch;
                    in.a = n.set;
                    in.min = n.min;
                    in.max = n.max;
                    in.lazy = n.lazy;
                    break;
                }
                case NodeKind::kAssert:
                    m_out.code[emit(Op::kAssert)].kind = static_cast<uint8_t>(n.assertKind);
                    break;
                case NodeKind::kEndOfLine:
                    emit(Op::kEndOfLine);
                    break;
                case NodeKind::kCommit:
                    emit(Op::kCommit);
                    break;
                case NodeKind::kBackRef:
                case NodeKind::kGroup: {
                    CharSet merged;
                    if (singleByteChoice(n, merged)) {
                        RegexInst& in = m_out.code[emit(n.quantified ? Op::kRepeatSet : Op::kSet)];
                        in.a = static_cast<int32_t>(m_out.sets.size());
                        in.min = n.min;
                        in.max = n.max;
                        in.lazy = n.lazy;
                        m_out.sets.push_back(merged);
                        break;
                    }
                    size_t head = 0;
                    int32_t registers = 0;
                    if (n.quantified) loopStart(n, head, registers);
                    if (n.kind == NodeKind::kGroup) {
                        group(n);
                    } else {
                        RegexInst& in = m_out.code[emit(Op::kBackRef)];
                        in.a = n.number;
                        in.kind = m_ignoreCase ? 1 : 0;
                    }
                    if (n.quantified) loopEnd(n, head, registers);
                    break;
                }
            }
        }
        if (!last) {
            jumps.push_back(emit(Op::kJump));
            m_out.code[split].a = static_cast<int32_t>(m_out.code.size());
        }
    }
    for (size_t j : jumps) m_out.code[j].a = static_cast<int32_t>(m_out.code.size());
    if (g.groupKind == GroupKind::kCapture) {
        m_out.code[emit(Op::kClose)].a = g.number;
    } else if (g.groupKind != GroupKind::kPlain) {
        emit(Op::kLookEnd);
        m_out.code[look].a = static_cast<int32_t>(m_out.code.size());
    }
}

// (?:a|b|[cd]) takes one byte whichever alternative matches, so it runs as
// one set: a repetition of it then needs one frame, not several per byte.
bool RegexCodegen::singleByteChoice(const RegexNode& n, CharSet& merged) const {
    if (n.kind != NodeKind::kGroup || n.groupKind != GroupKind::kPlain) return false;
    for (const auto& items : n.alternatives) {
        if (items.size() != 1) return false;
        const RegexNode& only = m_tree.nodes[items[0]];
        if (only.quantified) return false;
        if (only.kind == NodeKind::kChar)
            merged.add(only.ch);
        else if (only.kind == NodeKind::kSet)
            merged.addAll(m_tree.sets[only.set]);
        else
            return false;
    }
    return true;
}

void RegexCodegen::loopStart(const RegexNode& n, size_t& head, int32_t& registers) {
    registers = m_out.loopRegister(m_out.loops++);
    m_out.code[emit(Op::kLoopInit)].a = registers;
    head = emit(Op::kLoopHead);
    RegexInst& in = m_out.code[head];
    in.a = registers;
    in.min = n.min;
    in.max = n.max;
    in.lazy = n.lazy;
}

void RegexCodegen::loopEnd(const RegexNode& n, size_t head, int32_t registers) {
    RegexInst& tail = m_out.code[emit(Op::kLoopTail)];
    tail.a = registers;
    tail.b = static_cast<int32_t>(head);
    tail.min = n.min;
    m_out.code[head].b = static_cast<int32_t>(m_out.code.size());
}

// A repeat always continues at the next instruction; when that needs one
// particular byte, only counts that leave that byte next are worth trying.
void RegexCodegen::setHints() {
    for (size_t pc = 0; pc + 1 < m_out.code.size(); ++pc) {
        RegexInst& in = m_out.code[pc];
        if (in.op != Op::kRepeatChar && in.op != Op::kRepeatSet) continue;
        const RegexInst& next = m_out.code[pc + 1];
        if (next.op == Op::kChar)
            in.hint = next.ch;
        else if (next.op == Op::kString)
            in.hint = static_cast<unsigned char>(m_out.literals[next.a]);
    }
}

}  // namespace velk
