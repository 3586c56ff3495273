#pragma once

#include "core/net/IMailTransport.h"

namespace orvella {

// POP3 runs on the transport every mail protocol shares.
using IPop3Transport = IMailTransport;

} // namespace orvella
