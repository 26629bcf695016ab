#include "Resources.h"

// Q_INIT_RESOURCE must not stand inside a namespace.
static void initVelmoraResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {

QIcon programIcon() {
    static const bool initialised = (initVelmoraResources(), true);
    (void)initialised;
    return QIcon(QStringLiteral(":/velmora/velmora.png"));
}

}  // namespace velmora
