#pragma once
// Process-wide start and stop of the network layer (InitKS / CleanupKS).
// POSIX sockets need no start-up; these keep the exported contract.

namespace velk::net {

// Always 0, as the export promises.
int startSocketLibrary();
// 0 on success, like the platform shutdown it stands for.
int stopSocketLibrary();

}  // namespace velk::net
