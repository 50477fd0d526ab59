// Applying the proposals the user kept to the scenario's requests.
#include <string>
#include <string_view>

#include "app/base/ascii_text.h"
#include "app/recorder/script_values.h"
#include "app/scenario/requests_container.h"
#include "app/scenario/url_coding.h"

namespace velk::recorder {
namespace {

using ValueProposal = ScriptValueProposal;
using base::sameNoCase;
using scenario::withoutFragment;

scenario::CRequest* requestById(scenario::CRequestsContainer& requests, int32_t id) {
    scenario::CRequestsContainer::Node* node = id > 0 ? requests.findNode(id) : nullptr;
    return node ? node->request.get() : nullptr;
}

// The single static component of param, or null.
scenario::CReqParamFunction* onlyText(scenario::CReqParam& param) {
    if (param.count() != 1) return nullptr;
    scenario::CReqParamFunction* f = param.get(0);
    return f && f->getKind() == scenario::CReqParamFunction::kStaticText ? f : nullptr;
}

bool replaceIn(scenario::CReqParamFunction& f, size_t from, const std::string& value,
               const std::string& expression) {
    std::string text = f.storedText();
    const size_t at = text.find(value, from);
    if (at == std::string::npos) return false;
    text.replace(at, value.size(), expression);
    f.makeLiteral(text);
    return true;
}

// Sources read with $var: the answering request keeps the value for later ones.
bool keptInVariable(const ValueProposal& p) {
    return p.source == ValueProposal::Source::JsonField ||
           p.source == ValueProposal::Source::Location;
}

bool applyOne(scenario::CRequest& r, const ValueProposal& p) {
    using F = scenario::CReqParamFunction;
    for (int32_t i = 0; i < r.paramCount(); ++i) {
        scenario::CReqParam& param = *r.getParam(i);
        F* text = onlyText(param);
        switch (p.place) {
            case ValueProposal::Place::Header:
                if (text && param.getName() == kHeaderParam &&
                    sameNoCase(text->storedText().substr(0, p.name.size() + 1), p.name + ":"))
                    return replaceIn(*text, p.name.size() + 1, p.recordedValue, p.expression);
                break;
            case ValueProposal::Place::JsonField:
                if (text && param.getName() == kContentParam)
                    return replaceIn(*text, 0, "\"" + p.recordedValue + "\"",
                                     "\"" + p.expression + "\"") ||
                           replaceIn(*text, 0, p.recordedValue, p.expression);
                break;
            case ValueProposal::Place::Parameter:
                if (text && param.getName() == p.name && text->storedText() == p.recordedValue) {
                    if (keptInVariable(p)) {
                        // $var is read by the engine only where the value is not encoded.
                        param.setEncode(false);
                        text->makeLiteral(p.expression);
                    } else {
                        text->setKind(p.source == ValueProposal::Source::MetaTag ? F::kMetaTag
                                                                                 : F::kCookie);
                        text->setText(p.sourceName);
                    }
                    return true;
                }
                break;
            case ValueProposal::Place::Url:
                break;  // the request's URI, see applyToUri
        }
    }
    return false;
}

// A query parameter of the request's URI ($uri reads expressions too).
bool applyToUri(scenario::CRequest& r, const ValueProposal& p) {
    std::string uri = r.getUri();
    if (p.place == ValueProposal::Place::Url) {
        // The whole URI, only while it still is the recorded one.
        const std::string_view recorded = withoutFragment(p.recordedValue);
        const size_t scheme = recorded.find("://");
        const size_t slash = recorded.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
        const std::string_view path =
            slash == std::string_view::npos ? std::string_view("/") : recorded.substr(slash);
        if ((uri.starts_with("/") ? uri : "/" + uri) != path) return false;
        r.setUri(p.expression);
        return true;
    }
    if (p.place != ValueProposal::Place::Parameter) return false;
    const size_t query = uri.find('?');
    if (query == std::string::npos) return false;
    for (const std::string& value :
         {scenario::urlEncode(p.recordedValue, false), p.recordedValue}) {
        const std::string pair = p.name + "=" + value;
        for (size_t at = uri.find(pair, query); at != std::string::npos;
             at = uri.find(pair, at + 1)) {
            const size_t end = at + pair.size();
            if ((uri[at - 1] != '?' && uri[at - 1] != '&') || (end < uri.size() && uri[end] != '&'))
                continue;
            uri.replace(at + p.name.size() + 1, value.size(), p.expression);
            r.setUri(uri);
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t applyScriptValues(scenario::CRequestsContainer& requests,
                          const std::vector<ScriptValueProposal>& proposals) {
    int32_t applied = 0;
    for (const ValueProposal& p : proposals) {
        if (!p.ticked) continue;
        scenario::CRequest* target = requestById(requests, p.requestId);
        scenario::CRequest* source = requestById(requests, p.sourceRequestId);
        if (!target || (keptInVariable(p) && !source)) continue;
        if (!applyOne(*target, p) && !applyToUri(*target, p)) continue;
        ++applied;
        if (!keptInVariable(p)) continue;
        const char* key =
            p.source == ValueProposal::Source::JsonField ? kExportJsonParam : kExportHeaderParam;
        const std::string line = p.variable + "," + p.sourceName;
        bool present = false;
        for (int32_t i = 0; i < source->paramCount() && !present; ++i) {
            scenario::CReqParam& param = *source->getParam(i);
            present =
                param.getName() == key && onlyText(param) && onlyText(param)->storedText() == line;
        }
        if (present) continue;
        auto param = std::make_unique<scenario::CReqParam>();
        param->setNameAndEncode(key, false);
        auto f = std::make_unique<scenario::CReqParamFunction>();
        f->makeLiteral(line);
        param->insert(-1, std::move(f));
        source->insertParam(-1, std::move(param));
    }
    return applied;
}

}  // namespace velk::recorder
