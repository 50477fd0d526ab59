#pragma once
// CRequestsContainer: the requests of a scenario as an ordered tree.  The
// flattened order (a node, then its children's subtrees, then its next sibling)
// is the order of the request sections in the script and in the file.
//
// Thread-safe: one recursive lock guards the tree, the insertion positions and
// the last recorded request, and every operation takes it.  Callers that walk
// the tree themselves, or keep node or request pointers across calls, hold
// lock()/unlock() (or a std::lock_guard on the container) around the whole walk.
// Lock order: the scenario's lock first, then this one.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/scenario/recorded_request_sink.h"
#include "app/scenario/request.h"

namespace velk::scenario {

class VtsReader;
class VtsWriter;

class CRequestsContainer : public RecordedRequestSink {
public:
    struct Node {
        std::unique_ptr<CRequest> request;
        std::vector<std::unique_ptr<Node>> children;
        Node* parent = nullptr;  // null for the root list
    };
    using NodeList = std::vector<std::unique_ptr<Node>>;

    CRequestsContainer() = default;
    ~CRequestsContainer() override;
    CRequestsContainer(const CRequestsContainer&) = delete;
    CRequestsContainer& operator=(const CRequestsContainer&) = delete;

    void lock() const { m_mutex.lock(); }
    void unlock() const { m_mutex.unlock(); }

    // Every request gone, both insertion positions 0, no last recorded request.
    void deleteAll();
    void reset() { deleteAll(); }

    // The top level of the tree; valid while the lock is held.
    const NodeList& roots() const { return m_roots; }
    // First node in flattened order whose request has the id, or null.
    Node* findNode(int32_t id);
    // Appends as the last child of the node with parentId (0: the root list).
    // Returns the request, or null (and destroys it) when no node has that id.
    CRequest* addChild(int32_t parentId, std::unique_ptr<CRequest> request);
    // Places the request right after the node with id in flattened order (id 0:
    // at the end of the root list).  Null (request destroyed) when id is unknown.
    CRequest* insertAfter(int32_t id, std::unique_ptr<CRequest> request);
    // Destroys the node with id and its whole subtree; false when id is unknown.
    bool remove(int32_t id);
    // Nodes in the whole tree.
    int32_t count() const;
    // The requests in flattened order; valid while the lock is held.
    std::vector<CRequest*> flattened() const;
    // Exchanges the requests of the two nodes; the tree's shape stays, so each
    // node's children stay where they were.  False when either id is unknown.
    bool swapRequests(int32_t firstId, int32_t secondId);
    // Every request's use-delay switch set to use (the scenario's "Use delays").
    void setUseDelayAll(bool use);

    int32_t getInsertAfterId() const;
    void setInsertAfterId(int32_t id);
    int32_t getParentId() const;
    void setParentId(int32_t id);
    // The request addRecorded placed last, or null.
    const CRequest* lastRecorded() const;

    // Makes a request of a captured navigation and places it at the insertion
    // position; the pause before it becomes the delay of the one recorded before.
    void addRecorded(const RecordedNavigation& navigation) override;

    // Whether the script checks each replayed request against what the server
    // gave while recording (requests without a recorded outcome are not checked).
    bool getRecordedChecks() const;
    void setRecordedChecks(bool on);
    // Requests that have a recorded outcome.
    int32_t outcomeCount() const;

    // Appends every request's script section in flattened order; false, with the
    // text as far as it got, when one cannot be written.
    bool generateRequestPart(std::string& out) const;

    void write(VtsWriter& out) const;
    // Replaces the tree with the one read; request ids start again at 1.
    void read(VtsReader& in);

private:
    void readNodes(VtsReader& in);
    bool holdsLastRecorded(const Node& node) const;

    mutable std::recursive_mutex m_mutex;
    NodeList m_roots;                    // guarded by m_mutex
    int32_t m_insertAfterId = 0;         // guarded by m_mutex
    int32_t m_parentId = 0;              // guarded by m_mutex
    CRequest* m_lastRecorded = nullptr;  // guarded by m_mutex
    bool m_recordedChecks = false;       // guarded by m_mutex
};

}  // namespace velk::scenario
