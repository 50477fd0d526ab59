#include "app/recorder/correlation.h"

#include <map>

namespace velk::recorder {
namespace {

using scenario::CReqParamFunction;
using scenario::CRequest;

// The engine reads the name of $Hidden(...) up to ")" and splits values at
// "&": such names cannot be written into an expression.
bool writableName(const std::string& name) {
    return !name.empty() && name.find_first_of("),&\r\n") == std::string::npos;
}

// name -> its one value on the page, or nothing when the page gives the name
// several different values.
template <typename Item>
std::map<std::string, std::optional<std::string>> uniqueValues(const std::vector<Item>& items) {
    std::map<std::string, std::optional<std::string>> out;
    for (const Item& item : items) {
        auto [it, added] = out.try_emplace(item.name, item.value);
        if (!added && it->second != item.value) it->second.reset();
    }
    return out;
}

// The best source of value among items: the parameter's own name first,
// then (for long values) any other name with that one value.
template <typename Item>
const Item* sourceOf(const std::vector<Item>& items, const std::string& param,
                     const std::string& value) {
    const auto unique = uniqueValues(items);
    const Item* foreign = nullptr;
    for (const Item& item : items) {
        if (item.value != value || !writableName(item.name)) continue;
        const auto& only = unique.at(item.name);
        if (!only) continue;
        if (item.name == param) return &item;
        if (!foreign && value.size() >= kMinForeignNameValue) foreign = &item;
    }
    return foreign;
}

}  // namespace

std::vector<Proposal> findProposals(const std::vector<RecordedExchange>& exchanges) {
    std::vector<Proposal> out;
    for (size_t i = 1; i < exchanges.size(); ++i) {
        const auto& page = exchanges[i - 1].page;
        if (!page) continue;
        const RecordedExchange& e = exchanges[i];
        for (size_t k = 0; k < e.params.size(); ++k) {
            const auto& [name, value] = e.params[k];
            if (value.empty()) continue;
            Proposal p;
            p.requestId = e.requestId;
            p.requestName = e.requestName;
            p.parameter = name;
            p.paramIndex = int32_t(k);
            p.recordedValue = value;
            if (const auto* h = sourceOf(page->hidden, name, value)) {
                p.kind = CReqParamFunction::kHiddenParameter;
                p.fetchName = h->name;
                p.replacement = "$Hidden(" + h->name + ")";
                p.origin = "hidden input \"" + h->name + "\" of " + page->url;
                if (!h->action.empty()) p.origin += " (form to " + h->action + ")";
            } else if (const auto* l = sourceOf(page->links, name, value)) {
                p.kind = CReqParamFunction::kUrl;
                p.fetchName = l->name;
                p.replacement = "$UrlParam(" + l->name + ")";
                p.origin = "parameter \"" + l->name + "\" of " + l->source + " on " + page->url;
            } else {
                continue;
            }
            out.push_back(std::move(p));
        }
    }
    return out;
}

std::vector<RecordedExchange> collectExchanges(
    const scenario::CRequestsContainer& requests,
    const std::vector<std::pair<int32_t, PageFacts>>& pages) {
    std::map<int32_t, const PageFacts*> pageOf;
    for (const auto& [id, facts] : pages) pageOf[id] = &facts;
    std::lock_guard<const scenario::CRequestsContainer> g(requests);
    std::vector<RecordedExchange> out;
    for (const CRequest* r : requests.flattened()) {
        RecordedExchange e;
        e.requestId = r->getId();
        e.requestName = r->getName();
        for (int32_t k = 0; k < r->paramCount(); ++k) {
            const scenario::CReqParam& p = *r->getParam(k);
            // Positions stay those of the request, so that applying finds them.
            if (p.count() == 1 && p.get(0)->getKind() == CReqParamFunction::kStaticText)
                e.params.emplace_back(p.getName(), p.get(0)->getText());
            else
                e.params.emplace_back(p.getName(), std::string());
        }
        if (auto it = pageOf.find(e.requestId); it != pageOf.end()) e.page = *it->second;
        out.push_back(std::move(e));
    }
    return out;
}

int32_t applyProposals(scenario::CRequestsContainer& requests,
                       const std::vector<Proposal>& proposals) {
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    int32_t applied = 0;
    for (const Proposal& p : proposals) {
        if (!p.ticked) continue;
        auto* node = requests.findNode(p.requestId);
        if (!node) continue;
        scenario::CReqParam* param = node->request->getParam(p.paramIndex);
        if (!param || param->getName() != p.parameter) continue;
        param->deleteAll();
        auto f = std::make_unique<CReqParamFunction>();
        f->setKind(p.kind);
        f->setText(p.fetchName);
        param->insert(-1, std::move(f));
        ++applied;
    }
    return applied;
}

scenario::RecordedOutcome outcomeOf(const PageFacts& page, const std::string& requestUrl) {
    scenario::RecordedOutcome o;
    o.status = page.status;
    const std::string landed = scenario::urlPath(page.url);
    if (landed != scenario::urlPath(requestUrl)) o.location = landed;
    o.title = page.title.substr(0, scenario::RecordedOutcome::kMaxTitle * 4);
    o.size = page.size;
    return o;
}

}  // namespace velk::recorder
