#include "app/scenario/requests_container.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "app/scenario/request_record.h"
#include "app/scenario/url_coding.h"
#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {
namespace {

using Node = CRequestsContainer::Node;
using NodeList = CRequestsContainer::NodeList;
using Guard = std::lock_guard<std::recursive_mutex>;

// Visits the nodes in flattened order without recursion, so no tree is too deep
// to walk; stops when visit returns false.
template <typename Visit>
void walk(const NodeList& roots, Visit visit) {
    std::vector<std::pair<const NodeList*, size_t>> stack{{&roots, 0}};
    while (!stack.empty()) {
        auto& [list, index] = stack.back();
        if (index >= list->size()) {
            stack.pop_back();
            continue;
        }
        const Node& node = *(*list)[index++];
        if (!visit(node)) return;
        if (!node.children.empty()) stack.emplace_back(&node.children, 0);
    }
}

NodeList& siblingsOf(NodeList& roots, Node& node) {
    return node.parent ? node.parent->children : roots;
}

size_t indexIn(const NodeList& list, const Node& node) {
    return size_t(
        std::find_if(list.begin(), list.end(), [&](const auto& n) { return n.get() == &node; }) -
        list.begin());
}

// Recorded header lines and a body sent as written are kept as they were
// sent: neither decoded nor encoded again.
bool isHeaderPseudoParameter(const std::string& name) {
    for (const std::string_view literal : {"header$", "$header", "$content"})
        if (name.size() == literal.size() &&
            std::equal(name.begin(), name.end(), literal.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            }))
            return true;
    return false;
}

// Destroys nodes without recursion, so that no tree is too deep to free.
void destroy(NodeList& nodes) {
    NodeList pending = std::move(nodes);
    nodes.clear();
    while (!pending.empty()) {
        std::unique_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
    }
}

// The smallest a node can be in a file: a request record that stops at its
// schema number, and an empty child list.
constexpr size_t kMinNodeBytes = 8;

}  // namespace

CRequestsContainer::~CRequestsContainer() {
    destroy(m_roots);
}

void CRequestsContainer::deleteAll() {
    Guard g(m_mutex);
    destroy(m_roots);
    m_insertAfterId = 0;
    m_parentId = 0;
    m_lastRecorded = nullptr;
    m_recordedChecks = false;
}

CRequestsContainer::Node* CRequestsContainer::findNode(int32_t id) {
    Guard g(m_mutex);
    const Node* found = nullptr;
    walk(m_roots, [&](const Node& n) {
        if (n.request->getId() == id) found = &n;
        return found == nullptr;
    });
    return const_cast<Node*>(found);
}

CRequest* CRequestsContainer::addChild(int32_t parentId, std::unique_ptr<CRequest> request) {
    Guard g(m_mutex);
    Node* parent = nullptr;
    if (parentId != 0 && !(parent = findNode(parentId))) return nullptr;
    auto node = std::make_unique<Node>();
    node->request = std::move(request);
    node->parent = parent;
    CRequest* raw = node->request.get();
    (parent ? parent->children : m_roots).push_back(std::move(node));
    return raw;
}

CRequest* CRequestsContainer::insertAfter(int32_t id, std::unique_ptr<CRequest> request) {
    Guard g(m_mutex);
    if (id == 0) return addChild(0, std::move(request));
    Node* after = findNode(id);
    if (!after) return nullptr;
    auto node = std::make_unique<Node>();
    node->request = std::move(request);
    CRequest* raw = node->request.get();
    if (!after->children.empty()) {
        node->parent = after;
        after->children.insert(after->children.begin(), std::move(node));
        return raw;
    }
    // Go up until some ancestor (or the node itself) has a next sibling: the
    // new node goes right before that sibling, which follows in flattened order.
    for (Node* n = after; n; n = n->parent) {
        NodeList& list = siblingsOf(m_roots, *n);
        const size_t index = indexIn(list, *n);
        if (index + 1 < list.size()) {
            node->parent = n->parent;
            list.insert(list.begin() + std::ptrdiff_t(index + 1), std::move(node));
            return raw;
        }
    }
    m_roots.push_back(std::move(node));
    return raw;
}

bool CRequestsContainer::holdsLastRecorded(const Node& node) const {
    if (!m_lastRecorded) return false;
    bool found = node.request.get() == m_lastRecorded;
    if (!found) {
        walk(node.children, [&](const Node& n) {
            found = n.request.get() == m_lastRecorded;
            return !found;
        });
    }
    return found;
}

bool CRequestsContainer::remove(int32_t id) {
    Guard g(m_mutex);
    Node* node = findNode(id);
    if (!node) return false;
    if (holdsLastRecorded(*node)) m_lastRecorded = nullptr;
    NodeList& list = siblingsOf(m_roots, *node);
    const auto at = list.begin() + std::ptrdiff_t(indexIn(list, *node));
    NodeList gone;
    gone.push_back(std::move(*at));
    list.erase(at);
    destroy(gone);
    return true;
}

int32_t CRequestsContainer::count() const {
    Guard g(m_mutex);
    int32_t n = 0;
    walk(m_roots, [&](const Node&) { return ++n, true; });
    return n;
}

std::vector<CRequest*> CRequestsContainer::flattened() const {
    Guard g(m_mutex);
    std::vector<CRequest*> out;
    walk(m_roots, [&](const Node& n) { return out.push_back(n.request.get()), true; });
    return out;
}

bool CRequestsContainer::swapRequests(int32_t firstId, int32_t secondId) {
    Guard g(m_mutex);
    Node* first = findNode(firstId);
    Node* second = findNode(secondId);
    if (!first || !second) return false;
    std::swap(first->request, second->request);
    return true;
}

void CRequestsContainer::setUseDelayAll(bool use) {
    Guard g(m_mutex);
    walk(m_roots, [&](const Node& n) { return n.request->setUseDelay(use), true; });
}

int32_t CRequestsContainer::getInsertAfterId() const {
    Guard g(m_mutex);
    return m_insertAfterId;
}

void CRequestsContainer::setInsertAfterId(int32_t id) {
    Guard g(m_mutex);
    m_insertAfterId = id;
}

int32_t CRequestsContainer::getParentId() const {
    Guard g(m_mutex);
    return m_parentId;
}

void CRequestsContainer::setParentId(int32_t id) {
    Guard g(m_mutex);
    m_parentId = id;
}

const CRequest* CRequestsContainer::lastRecorded() const {
    Guard g(m_mutex);
    return m_lastRecorded;
}

void CRequestsContainer::addRecorded(const RecordedNavigation& nav) {
    Guard g(m_mutex);
    auto request = std::make_unique<CRequest>();
    request->setDelayFrom(nav.pauseSeconds);
    request->setDelayTo(nav.pauseSeconds);
    request->setMethod(nav.method);
    request->setSecure(nav.secure);
    request->setContentType(nav.contentType);
    // The pause the user took before this request is the delay after the last one.
    if (m_lastRecorded) {
        m_lastRecorded->setDelayFrom(nav.pauseSeconds);
        m_lastRecorded->setDelayTo(nav.pauseSeconds);
        request->setDelayFrom(0);
        request->setDelayTo(0);
    }
    request->setUrl(nav.url);
    // A multipart part carries its value as it is: no URL-encoding.
    const bool multipart = nav.contentType == "multipart/form-data";
    for (const auto& [name, value] : nav.pairs) {
        const bool header = isHeaderPseudoParameter(name);
        auto param = std::make_unique<CReqParam>();
        param->setNameAndEncode(name, !header && !multipart);
        // Stored as decoded, commas included, so that encoding it again when
        // the script is written gives back what the browser sent.
        auto text = std::make_unique<CReqParamFunction>();
        text->makeLiteral(header ? value : urlDecode(value));
        // A multipart form's file: the engine sends the file of that name as
        // the part's body (an empty one when there is no such file), which
        // also makes the request multipart again.
        if (!header &&
            std::find(nav.fileFields.begin(), nav.fileFields.end(), name) != nav.fileFields.end()) {
            const std::string file = urlDecode(value);
            text->setKind(CReqParamFunction::kFile);
            text->setText(file);
        }
        param->insert(-1, std::move(text));
        request->insertParam(-1, std::move(param));
    }
    CRequest* placed = m_insertAfterId != 0 ? insertAfter(m_insertAfterId, std::move(request))
                                            : addChild(m_parentId, std::move(request));
    // Only a request that is in the tree may be remembered: one that could not be
    // placed is already destroyed.
    if (placed) m_lastRecorded = placed;
}

bool CRequestsContainer::getRecordedChecks() const {
    Guard g(m_mutex);
    return m_recordedChecks;
}

void CRequestsContainer::setRecordedChecks(bool on) {
    Guard g(m_mutex);
    m_recordedChecks = on;
}

int32_t CRequestsContainer::outcomeCount() const {
    Guard g(m_mutex);
    int32_t n = 0;
    walk(m_roots, [&](const Node& node) {
        if (node.request->getOutcome()) ++n;
        return true;
    });
    return n;
}

bool CRequestsContainer::generateRequestPart(std::string& out) const {
    Guard g(m_mutex);
    // A title tells a page apart only when no other recorded page with the
    // same title ended at another place.
    std::map<std::string, std::set<std::string>> placesOfTitle;
    if (m_recordedChecks)
        walk(m_roots, [&](const Node& n) {
            if (const auto& o = n.request->getOutcome())
                placesOfTitle[o->title].insert(
                    o->location.empty() ? "/" + urlPath(n.request->getUri()) : o->location);
            return true;
        });
    bool ok = true;
    walk(m_roots, [&](const Node& n) {
        const auto& o = n.request->getOutcome();
        if (!m_recordedChecks || !o) return ok = n.request->writeSection(out);
        return ok = n.request->writeSection(out,
                                            checkLines(*o, placesOfTitle[o->title].size() == 1));
    });
    return ok;
}

void CRequestsContainer::write(VtsWriter& out) const {
    Guard g(m_mutex);
    out.writeSchema();
    // Depth first, each request record followed by the count of its children:
    // the same bytes as writing every node with its child list in place.
    out.writeInt(static_cast<int32_t>(m_roots.size()));
    walk(m_roots, [&](const Node& n) {
        writeRequestRecord(out, *n.request);
        out.writeInt(static_cast<int32_t>(n.children.size()));
        return true;
    });
}

void CRequestsContainer::read(VtsReader& in) {
    Guard g(m_mutex);
    if (!in.beginRecord()) return;
    deleteAll();
    CRequest::resetIdCounter();
    readNodes(in);
}

void CRequestsContainer::readNodes(VtsReader& in) {
    // Without recursion: a file may nest its tree as deep as its size allows.
    int32_t count = 0;
    if (!in.readCount(count, kMinNodeBytes)) return;
    std::vector<std::pair<Node*, int32_t>> open{{nullptr, count}};
    while (!open.empty() && in.ok()) {
        auto& [parent, left] = open.back();
        if (left == 0) {
            open.pop_back();
            continue;
        }
        --left;
        auto node = std::make_unique<Node>();
        node->request = std::make_unique<CRequest>();
        node->parent = parent;
        readRequestRecord(in, *node->request);
        Node* raw = node.get();
        (parent ? parent->children : m_roots).push_back(std::move(node));
        if (!in.readCount(count, kMinNodeBytes)) return;
        open.emplace_back(raw, count);
    }
}

}  // namespace velk::scenario
