#include "net/socket_library.h"

namespace velk::net {

int startSocketLibrary() {
    return 0;
}
int stopSocketLibrary() {
    return 0;
}

}  // namespace velk::net
