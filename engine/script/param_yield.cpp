#include "script/param_yield.h"

namespace velk {

void appendParamValue(const ParamEntry& entry, YieldContext&, TextBuffer& out) {
    for (const ValuePiece& piece : entry.pieces)
        if (piece.kind == ValuePiece::Kind::Literal) out.append(piece.text);
}

}  // namespace velk
