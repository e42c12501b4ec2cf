// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, size x size pixels (32 in the About box): a pair of
// scales over a folder.
QPixmap AboutIcon(int size = 32);
