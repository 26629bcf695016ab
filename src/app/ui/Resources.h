#pragma once

#include <QIcon>

namespace velmora {

// The program's icon, from the resources compiled into velmora_ui. A static
// library's resources reach the program only when initialised by name, so
// everything that shows a picture goes through here.
QIcon programIcon();

}  // namespace velmora
