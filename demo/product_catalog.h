#pragma once
// The fixed list of products the demo shop sells, ids 1..20.  Immutable after
// construction; safe for concurrent reads.
#include <string>
#include <string_view>
#include <vector>

namespace velk::demo {

struct Product {
    int id;
    std::string name;
    int priceCents;
    std::string description;
};

class ProductCatalog {
public:
    ProductCatalog();

    const std::vector<Product>& all() const { return m_products; }
    // nullptr for an unknown id.
    const Product* find(int id) const;
    // Products whose name or description contains term, ignoring ASCII case.
    std::vector<const Product*> search(std::string_view term) const;

    // "12.50 €"
    static std::string formatPrice(int cents);

private:
    std::vector<Product> m_products;
};

}  // namespace velk::demo
