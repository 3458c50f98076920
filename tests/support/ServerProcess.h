#pragma once
// Starting and stopping the server processes of integration tests: temporary folders, free
// ports, spawning with stdout in a pipe, and finding a server's children to stop them.

#include <cstdint>
#include <string>
#include <vector>

namespace pelmar::test {

// A new folder /tmp/pelmar-server-XXXXXX (empty when none could be made).
std::string MakeTempDir();
// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreePort();
// Whether a connection to the port on the loopback address is taken.
bool Accepts(uint16_t port, bool v6);
// Starts `args` with stdout into a pipe (returned in `out`) and stdin joined to stderr; the
// process's id, or -1.
int Spawn(const std::vector<std::string>& args, int& out);
// The same with stdout to /dev/null.
int Spawn(const std::vector<std::string>& args);
// The process and every process below it.
std::vector<int> ProcessTree(int root);
// The first line `fd` gives within `timeoutMs` (without its line end); empty when none came.
std::string ReadLine(int fd, int timeoutMs);
// What a shell command prints on stdout, its last line end taken off.
std::string CommandOutput(const std::string& command);

}  // namespace pelmar::test
