#include "core/settings/Program.h"

namespace orvella {

ProgramValues& Program()
{
    static ProgramValues values;
    return values;
}

} // namespace orvella
