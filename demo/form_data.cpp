#include "form_data.h"

#include "text_util.h"

namespace velk::demo {

namespace {

// Calls add(name, value) for each piece of text split at sep.
template <typename Add>
void splitPairs(std::string_view text, char sep, Add add) {
    while (!text.empty()) {
        const size_t end = text.find(sep);
        const std::string_view piece = text.substr(0, end);
        if (!piece.empty()) {
            const size_t eq = piece.find('=');
            if (eq == std::string_view::npos)
                add(piece, std::string_view{});
            else
                add(piece.substr(0, eq), piece.substr(eq + 1));
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

FormData FormData::parse(std::string_view encoded) {
    FormData form;
    splitPairs(encoded, '&', [&](std::string_view name, std::string_view value) {
        form.m_fields.emplace_back(decodeFormComponent(name), decodeFormComponent(value));
    });
    return form;
}

FormData FormData::parseCookies(std::string_view header) {
    FormData form;
    splitPairs(header, ';', [&](std::string_view name, std::string_view value) {
        if (!trim(name).empty()) form.m_fields.emplace_back(trim(name), trim(value));
    });
    return form;
}

std::string_view FormData::get(std::string_view name) const {
    for (const auto& [key, value] : m_fields)
        if (key == name) return value;
    return {};
}

bool FormData::has(std::string_view name) const {
    for (const auto& field : m_fields)
        if (field.first == name) return true;
    return false;
}

}  // namespace velk::demo
