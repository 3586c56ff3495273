#pragma once

#include "support/ScriptedTransport.h"

namespace orvella::test {

using Pop3ScriptedTransport = ScriptedTransport;

} // namespace orvella::test
