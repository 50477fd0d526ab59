#include "regex/first_chars.h"

namespace velk {

bool FirstChars::compute(CharSet& out) {
    out = CharSet{};
    m_unknown = false;
    bool empty = group(m_tree.nodes[m_tree.root], out);
    return !empty && !m_unknown;
}

bool FirstChars::group(const RegexNode& g, CharSet& out) {
    if (g.groupKind != GroupKind::kCapture && g.groupKind != GroupKind::kPlain)
        return true;  // look-arounds consume nothing
    bool anyEmpty = false;
    for (const auto& items : g.alternatives) {
        bool empty = true;
        for (int32_t id : items) {
            const RegexNode& n = m_tree.nodes[id];
            bool itemEmpty = n.quantified && n.min == 0;
            switch (n.kind) {
                case NodeKind::kChar:
                    out.add(n.ch);
                    break;
                case NodeKind::kSet:
                    out.addAll(m_tree.sets[n.set]);
                    break;
                case NodeKind::kAssert:
                case NodeKind::kCommit:
                    itemEmpty = true;
                    break;
                case NodeKind::kEndOfLine:  // consumes a line end unless at the end
                    out.add('\r');
                    out.add('\n');
                    itemEmpty = true;
                    break;
                case NodeKind::kBackRef:
                    m_unknown = true;
                    itemEmpty = true;
                    break;
                case NodeKind::kGroup:
                    if (n.max == 0)
                        itemEmpty = true;
                    else if (group(n, out))
                        itemEmpty = true;
                    break;
            }
            if (m_unknown) return true;
            if (!itemEmpty) {
                empty = false;
                break;
            }
        }
        if (empty) anyEmpty = true;
    }
    return anyEmpty;
}

}  // namespace velk
