#pragma once

#include <QProcessEnvironment>
#include <QStringList>

// A normal build asks the public map services. Tests reach none of them: every
// test process, and every program a test starts, has each service's variable
// set to nothing, and a test that needs a service points it at a loopback
// server of its own.
namespace MapServiceEnvironment {

// LUMETTA_TILEURL and the variables of the other services.
QStringList variables();
void switchOff();
void switchOff(QProcessEnvironment& environment);

} // namespace MapServiceEnvironment
