#include "app/scenario/request_record.h"

#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {
namespace {

// A record that stops at its schema number is all a list entry needs to be.
constexpr size_t kMinRecordBytes = 4;

void writeFunction(VtsWriter& out, const CReqParamFunction& f) {
    out.writeSchema();
    out.writeInt(f.getFrom());
    out.writeInt(f.getShift());
    out.writeInt(f.getTo());
    out.writeInt(f.getKind());
    out.writeString(f.storedExtra());
    out.writeString(f.storedText());
}

void writeParam(VtsWriter& out, const CReqParam& p) {
    out.writeSchema();
    out.writeFlag(p.getEncode());
    out.writeString(p.getName());
    out.writeString(p.getNote());
    out.writeInt(p.count());
    for (int32_t i = 0; i < p.count(); ++i) writeFunction(out, *p.get(i));
}

void readFunction(VtsReader& in, CReqParamFunction& f) {
    if (!in.beginRecord()) return;
    int32_t from = 0, shift = 0, to = 0, kind = 0;
    std::string extra, text;
    in.readInt(from) && in.readInt(shift) && in.readInt(to) && in.readInt(kind) &&
        in.readString(extra) && in.readString(text);
    f.setFrom(from);
    f.setShift(shift);
    f.setTo(to);
    f.setKind(kind);
    f.setStoredExtra(std::move(extra));
    f.setStoredText(std::move(text));
}

void readParam(VtsReader& in, CReqParam& p) {
    if (!in.beginRecord()) return;
    bool encode = false;
    std::string name, note;
    int32_t count = 0;
    if (!(in.readFlag(encode) && in.readString(name) && in.readString(note))) return;
    p.setNameAndEncode(std::move(name), encode);
    p.setNote(std::move(note));
    if (!in.readCount(count, kMinRecordBytes)) return;
    for (int32_t i = 0; i < count && in.ok(); ++i)
        readFunction(in, *p.insert(-1, std::make_unique<CReqParamFunction>()));
}

}  // namespace

void readRequestRecord(VtsReader& in, CRequest& r) {
    if (!in.beginRecord()) return;
    int32_t secure = 0, from = 0, to = 0, method = 0, count = 0;
    bool useDelay = false;
    std::string type, name, server, uri;
    if (!(in.readInt(secure) && in.readInt(from) && in.readInt(to) && in.readFlag(useDelay) &&
          in.readInt(method) && in.readString(type) && in.readString(name) &&
          in.readString(server) && in.readString(uri)))
        return;
    r.setSecure(secure);
    r.setDelayFrom(from);
    r.setDelayTo(to);
    r.setUseDelay(useDelay);
    r.setMethod(method);
    r.setContentType(std::move(type));
    r.setName(std::move(name));
    r.setServer(std::move(server));
    r.setUri(std::move(uri));
    if (!in.readCount(count, kMinRecordBytes)) return;
    for (int32_t i = 0; i < count && in.ok(); ++i)
        readParam(in, *r.insertParam(-1, std::make_unique<CReqParam>()));
}

void writeRequestRecord(VtsWriter& out, const CRequest& r) {
    out.writeSchema();
    out.writeInt(r.getSecure());
    out.writeInt(r.getDelayFrom());
    out.writeInt(r.getDelayTo());
    out.writeFlag(r.getUseDelay());
    out.writeInt(r.getMethod());
    out.writeString(r.getContentType());
    out.writeString(r.getName());
    out.writeString(r.getServer());
    out.writeString(r.getUri());
    out.writeInt(r.paramCount());
    for (int32_t i = 0; i < r.paramCount(); ++i) writeParam(out, *r.getParam(i));
}

}  // namespace velk::scenario
