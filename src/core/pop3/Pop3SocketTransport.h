#pragma once

#include "core/net/MailSocketTransport.h"

namespace orvella {

using Pop3SocketTransport = MailSocketTransport;

} // namespace orvella
