#pragma once

namespace orvella::platform {

// Whether the system says it can reach the network. Without a way to ask (no
// network backend) the answer is yes: a check then simply runs and reports
// its own failure.
bool networkReachable();

// Test hook: forces the answer (nullptr: ask the system).
void setNetworkReachableOverride(const bool* value);

} // namespace orvella::platform
