#pragma once
#include <QIcon>

// The program's icon, drawn at start (no image file to ship).
QIcon ProgramIcon();
