#pragma once

#include <QPixmap>

// The program's 32 x 32 icon: a pair of scales over a folder.
QPixmap AboutIcon();
