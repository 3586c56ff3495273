#pragma once

#include <QString>

namespace orvella::platform {

// The maker's optional configuration, $XDG_CONFIG_HOME/Quenlix/Zentra.conf,
// with the keys "AppPath", "SupportEMail", "SupportURL", "OtherProductsURL".
QString makerConfigPath();
// The value of name, or an empty string when the file or key is missing.
// found tells whether the key was there.
QString readMakerValue(const QString& name, bool* found = nullptr);

} // namespace orvella::platform
