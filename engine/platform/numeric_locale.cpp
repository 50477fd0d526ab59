#include "platform/numeric_locale.h"

#include <locale.h>

namespace velk::platform {
namespace {

// Built once: newlocale() reads the environment and locale files.
locale_t userNumericLocale() {
    static const locale_t loc = [] {
        locale_t base = newlocale(LC_ALL_MASK, "C", locale_t(0));
        locale_t user = base ? newlocale(LC_NUMERIC_MASK, "", base) : locale_t(0);
        return user ? user : base;
    }();
    return loc;
}

}  // namespace

ScopedUserNumericLocale::ScopedUserNumericLocale() {
    if (locale_t loc = userNumericLocale()) m_previous = uselocale(loc);
}

ScopedUserNumericLocale::~ScopedUserNumericLocale() {
    if (m_previous) uselocale(static_cast<locale_t>(m_previous));
}

}  // namespace velk::platform
