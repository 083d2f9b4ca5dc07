// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPixmap>

// The 80 x 26 logo picture, drawn here rather than shipped as a file.
QPixmap logoPixmap();
