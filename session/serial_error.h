// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// A failed port operation: a number and words the operator can act on.
// Numbers are the operating system's error numbers where it reported the
// failure; an empty error (number 0) means success.
struct SerialError {
    int number = 0;
    QString description;

    explicit operator bool() const { return number != 0; }
};
