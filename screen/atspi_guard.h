#pragma once

namespace screen {

// Puts a guard in front of Qt's AT-SPI bridge on the accessibility bus, as
// soon as the bridge is up. Qt 6.4's bridge reads the arguments of a call
// without checking that they are there: a client asking an object for all
// its properties at once (org.freedesktop.DBus.Properties.GetAll, which has
// one argument where the bridge reads two), or calling a method with too few
// arguments or a table with a cell outside it, ended the program. The guard
// refuses such calls with a D-Bus error and passes every other call on. It
// also answers the row and column of a table's child itself, which the
// bridge gives wrongly for header cells. Safe to call more than once and
// without an accessibility bus.
void GuardAccessibilityBus();

}  // namespace screen
