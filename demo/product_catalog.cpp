#include "product_catalog.h"

#include "text_util.h"

namespace velk::demo {

ProductCatalog::ProductCatalog() {
    struct Seed {
        const char* name;
        int priceCents;
        const char* description;
    };
    static constexpr Seed kSeeds[] = {
        {"Espresso cup", 850, "A small porcelain cup for strong coffee."},
        {"Teapot", 2990, "Holds a litre of tea; stoneware."},
        {"Coffee grinder", 4900, "Hand-cranked ceramic burr grinder."},
        {"Water bottle", 1999, "Steel bottle that keeps drinks cold."},
        {"Notebook", 699, "A5, dotted pages, lies flat."},
        {"Fountain pen", 3450, "Medium nib, refillable converter."},
        {"Desk lamp", 5900, "Warm LED light with a steady arm."},
        {"Headphones", 8900, "Closed-back, for quiet focus."},
        {"Keyboard", 7450, "Mechanical, tactile switches."},
        {"Mouse pad", 1250, "Large cloth pad, stitched edges."},
        {"Backpack", 6900, "Water-resistant, laptop pocket."},
        {"Umbrella", 2400, "Folds small, opens wide."},
        {"Wool socks", 1490, "Three pairs, warm and soft."},
        {"Rain jacket", 11900, "Light shell for wet days."},
        {"Plant pot", 1790, "Terracotta with a saucer."},
        {"Houseplant", 2200, "An easy-going pothos."},
        {"Board game", 3900, "Two to four players, one hour."},
        {"Puzzle", 1899, "1000 pieces of a mountain lake."},
        {"Candle", 990, "Beeswax, burns for 30 hours."},
        {"Picture frame", 1590, "Oak frame for A4 prints."},
    };
    int id = 1;
    for (const Seed& seed : kSeeds)
        m_products.push_back(Product{id++, seed.name, seed.priceCents, seed.description});
}

const Product* ProductCatalog::find(int id) const {
    if (id < 1 || id > static_cast<int>(m_products.size())) return nullptr;
    return &m_products[static_cast<size_t>(id - 1)];
}

std::vector<const Product*> ProductCatalog::search(std::string_view term) const {
    std::vector<const Product*> hits;
    const std::string needle = toLower(trim(term));
    for (const Product& product : m_products) {
        if (toLower(product.name).find(needle) != std::string::npos ||
            toLower(product.description).find(needle) != std::string::npos)
            hits.push_back(&product);
    }
    return hits;
}

std::string ProductCatalog::formatPrice(int cents) {
    std::string out = std::to_string(cents / 100) + ".";
    const int rest = cents % 100;
    if (rest < 10) out += '0';
    out += std::to_string(rest);
    out += " \u20ac";
    return out;
}

}  // namespace velk::demo
