// Reading every parameter group of the open controller into the program-wide
// records: the main window's read-out and the extra-mode switch call it, and its
// result says whether the Parameters page can work with the controller.
#pragma once

class QWidget;

namespace vcx {

struct Controller;

// Fills the group records from c.dev.device through the parameter function
// table (general record first; then custom, virtual button, drive IC, misc,
// abnormal scan, normal scan, power saving, coordinate, anti-noise, water, base,
// palm, finger, panel and host interface by the general record's group mask),
// copies the coordinate record into the calibration working copy, sets
// c.dev.paraVersion, the virtual-key CRC word and the constant block. A major
// version the program cannot read is said in a box on `owner` and reading goes
// on. True when the general record and every group read; false at once on an
// Ostra-series controller or a failed general read (paraVersion stays 0).
bool ReadAllParameters(Controller& c, QWidget* owner = nullptr);

} // namespace vcx
