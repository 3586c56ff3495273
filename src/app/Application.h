#pragma once

namespace orvella {

// The whole program: command line, single instance, start-up, event loop.
int runApplication(int argc, char** argv);

} // namespace orvella
