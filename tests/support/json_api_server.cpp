#include "support/json_api_server.h"

#include <cstdlib>

#include "support/responder.h"

namespace velk::test {
namespace {

// The number after "name": in a flat JSON text, or fallback.
int numberAfter(const std::string& json, const std::string& name, int fallback) {
    const size_t at = json.find("\"" + name + "\":");
    if (at == std::string::npos) return fallback;
    return std::atoi(json.c_str() + at + name.size() + 3);
}

const char* const kJson = "Content-Type: application/json\r\n";

}  // namespace

JsonApiServer::JsonApiServer() {
    m_http.setHandler([this](const ReceivedRequest& r, Responder& out) { serve(r, out); });
}

int JsonApiServer::ordersLeft() const {
    std::lock_guard lock(m_mutex);
    return int(m_orders.size());
}

void JsonApiServer::serve(const ReceivedRequest& r, Responder& out) {
    if (r.target == "/api/login") {
        if (r.method != "POST" || r.body.find("\"password\":\"secret\"") == std::string::npos) {
            ++m_refusedLogins;
            out.respond(401, R"({"error":"bad credentials"})", kJson);
            return;
        }
        std::string token;
        {
            std::lock_guard lock(m_mutex);
            token = "t" + std::to_string(m_tokens.size() + 1) + ".x-Y_z";
            m_tokens.insert(token);
        }
        ++m_validLogins;
        out.respond(200, R"({"token":")" + token + R"(","expires":3600})", kJson);
        return;
    }
    if (!r.target.starts_with("/api/orders")) {
        out.respond(404, R"({"error":"no such resource"})", kJson);
        return;
    }
    const std::string auth = r.header("Authorization");
    std::unique_lock lock(m_mutex);
    if (!auth.starts_with("Bearer ") || m_tokens.count(auth.substr(7)) == 0) {
        lock.unlock();
        ++m_unauthorizedCalls;
        out.respond(401, R"({"error":"token required"})", kJson);
        return;
    }
    ++m_authorizedCalls;
    if (r.target == "/api/orders" && r.method == "GET") {
        std::string items;
        for (const auto& [id, json] : m_orders) items += (items.empty() ? "" : ",") + json;
        lock.unlock();
        ++m_listed;
        out.respond(200, R"({"items":[)" + items + "]}", kJson);
        return;
    }
    if (r.target == "/api/orders" && r.method == "POST") {
        const int id = m_nextId++;
        const std::string json = R"({"id":)" + std::to_string(id) + R"(,"qty":)" +
                                 std::to_string(numberAfter(r.body, "qty", 1)) + "}";
        m_orders[id] = json;
        lock.unlock();
        ++m_created;
        out.respond(201, json,
                    std::string(kJson) + "Location: /api/orders/" + std::to_string(id) + "\r\n");
        return;
    }
    const int id = std::atoi(r.target.c_str() + std::string("/api/orders/").size());
    auto order = m_orders.find(id);
    if (order == m_orders.end()) {
        lock.unlock();
        out.respond(404, R"({"error":"no such order"})", kJson);
        return;
    }
    if (r.method == "PUT" && r.body.find("\"qty\":") != std::string::npos) {
        order->second = R"({"id":)" + std::to_string(id) + R"(,"qty":)" +
                        std::to_string(numberAfter(r.body, "qty", 0)) + "}";
        const std::string json = order->second;
        lock.unlock();
        ++m_updated;
        out.respond(200, json, kJson);
        return;
    }
    if (r.method == "DELETE") {
        m_orders.erase(order);
        lock.unlock();
        ++m_deleted;
        out.respond(204, "");
        return;
    }
    lock.unlock();
    out.respond(405, R"({"error":"method not allowed"})", kJson);
}

}  // namespace velk::test
