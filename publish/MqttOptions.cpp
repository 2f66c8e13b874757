// Wiping a password where it lies.
#include "publish/MqttOptions.h"

#include <QByteArray>
#include <algorithm>

namespace publish {

// Through the shared buffer on purpose: every implicitly shared copy of the secret is cleared with it.
// Static data (a literal) is not writable and holds no secret.
void wipe(QString &text)
{
    if (text.data_ptr().isMutable())
        std::fill_n(const_cast<QChar *>(text.constData()), text.size(), QChar());
}

void wipe(QByteArray &bytes)
{
    if (bytes.data_ptr().isMutable())
        std::fill_n(const_cast<char *>(bytes.constData()), bytes.size(), '\0');
}

} // namespace publish
